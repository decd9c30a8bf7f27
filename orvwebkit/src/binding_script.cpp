#include "orvwebkit/src/binding_script.h"

#include "orvwebkit/src/script_text.h"
#include "orvwebkit/src/unicode.h"

namespace velmora::orvwebkit {
namespace {

std::string JsonText(const std::string& text) {
  std::string out;
  AppendJsonString(Utf8ToUtf16(text), &out);
  return out;
}

// Members are asked for once per document and remembered; property values
// are fetched on every read, since the host may change them at any time.
constexpr char kScriptBody[] = R"JS(
  var kinds = Object.create(null);
  var methods = Object.create(null);
  function send(op, member, body) {
    var request = new XMLHttpRequest();
    try {
      request.open('POST', base + op + '/' + encodeURIComponent(member), false);
      request.setRequestHeader('Content-Type', 'text/plain;charset=UTF-8');
      request.send(body);
    } catch (e) {
      return undefined;
    }
    if (request.status !== 200 || request.responseText === '') return undefined;
    try {
      return JSON.parse(request.responseText);
    } catch (e) {
      return undefined;
    }
  }
  function argument(value) {
    return value === undefined || value === null ? null : String(value);
  }
  function kind(member) {
    if (!(member in kinds)) {
      var answer = send('member', member, '');
      kinds[member] = typeof answer === 'number' ? answer : 0;
    }
    return kinds[member];
  }
  function method(member) {
    if (!methods[member]) {
      methods[member] = function () {
        var list = [];
        for (var i = 0; i < arguments.length; i++) list.push(argument(arguments[i]));
        return send('call', member, JSON.stringify(list));
      };
    }
    return methods[member];
  }
  function own(target, member) {
    return Object.prototype.hasOwnProperty.call(target, member);
  }
  var proxy = new Proxy({}, {
    get: function (target, member, receiver) {
      if (typeof member !== 'string' || own(target, member)) {
        return Reflect.get(target, member, receiver);
      }
      var k = kind(member);
      if (k === 1) return method(member);
      if (k === 2) return send('get', member, '');
      return Reflect.get(target, member, receiver);
    },
    set: function (target, member, value, receiver) {
      if (typeof member === 'string' && !own(target, member) && kind(member) === 2) {
        send('set', member, JSON.stringify([argument(value)]));
        return true;
      }
      return Reflect.set(target, member, value, receiver);
    },
    has: function (target, member) {
      return (typeof member === 'string' && kind(member) !== 0) || member in target;
    },
    ownKeys: function (target) {
      var keys = Reflect.ownKeys(target);
      var listed = send('keys', '', '');
      if (Array.isArray(listed)) {
        for (var i = 0; i < listed.length; i++) {
          if (typeof listed[i] === 'string' && keys.indexOf(listed[i]) < 0) keys.push(listed[i]);
        }
      }
      return keys;
    },
    getOwnPropertyDescriptor: function (target, member) {
      var found = Reflect.getOwnPropertyDescriptor(target, member);
      if (found || typeof member !== 'string') return found;
      var k = kind(member);
      if (k === 0) return undefined;
      return {
        value: k === 1 ? method(member) : send('get', member, ''),
        writable: k === 2,
        enumerable: true,
        configurable: true
      };
    }
  });
  Object.defineProperty(window, name, {
    value: proxy, configurable: true, enumerable: false, writable: true
  });
)JS";

}  // namespace

std::string BindingBase(const std::string& view_token, const std::string& name) {
  return std::string(kBindingOrigin) + view_token + "/" + name + "/";
}

std::string BuildBindingScript(const std::string& name, const std::string& base) {
  std::string script = "(function () {\n  'use strict';\n  var name = " + JsonText(name) +
                       ";\n  var base = " + JsonText(base) + ";";
  script += kScriptBody;
  script += "})();\n";
  return script;
}

std::string BuildTitleWatchScript(const std::string& reporter) {
  return "(function () {\n  var report = window[" + JsonText(reporter) + "];\n" + R"JS(
  if (typeof report !== 'function') return;
  var last = null;
  function check() {
    var title = document.title;
    if (title !== last) {
      last = title;
      report(title);
    }
  }
  // Only structure and text changes can change the title; style changes,
  // which animations make all the time, are not watched.
  new MutationObserver(check).observe(document, {subtree: true, childList: true,
                                                 characterData: true});
  check();
})();
)JS";
}

std::string BuildUnbindScript(const std::string& name) {
  return "(function () { try { delete window[" + JsonText(name) + "]; } catch (e) {} })();\n";
}

}  // namespace velmora::orvwebkit
