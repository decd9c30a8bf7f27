// The page side of a bound object: a script that defines window[name] as an
// object whose members are answered by the host through synchronous
// requests to an address the library intercepts.
#pragma once

#include <string>

namespace velmora::orvwebkit {

// The reserved host name of those requests (".invalid" never resolves, so a
// request that escaped interception could not reach anyone).
inline constexpr char kBindingOrigin[] = "https://client.invalid/";

// Requests go to `base` + operation + "/" + member, where `base` is
// kBindingOrigin + a view token + "/" + the percent-encoded name + "/".
// Operations: "member" answers 1 (method), 2 (property) or 0; "call" takes a
// JSON array of texts and nulls; "get" and "set" read and write a property;
// "keys" lists the members. An empty answer means undefined; any other is a
// JSON value.
std::string BindingBase(const std::string& view_token, const std::string& name);
std::string BuildBindingScript(const std::string& name, const std::string& base);
std::string BuildUnbindScript(const std::string& name);

// A script for every document that reports the document's title through
// `reporter`, a function the browser gives the page (its calls arrive as
// events, without waiting), whenever the title changes.
std::string BuildTitleWatchScript(const std::string& reporter);

}  // namespace velmora::orvwebkit
