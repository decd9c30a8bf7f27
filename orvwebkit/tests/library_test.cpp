// The library as a host sees it, rendering with the real browser: one browser
// start is shared by the tests that can share it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "orvwebkit/hostkit/standalone_host.h"
#include "orvwebkit/platform/platform.h"
#include "orvwebkit/src/browser.h"
#include "foundation/os/process.h"
#include "testing/test_support.h"

namespace velmora::orvwebkit {
namespace {

using namespace std::chrono_literals;
using namespace Orv::WebKit;
using hostkit::StandaloneHost;

constexpr auto kWait = 20s;

std::string Utf8(std::u16string_view text) {
  std::string out;
  for (char16_t unit : text) out += unit < 0x80 ? static_cast<char>(unit) : '?';
  return out;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// A bound object the pages call. It records every call with its arguments
// and the thread it came on.
class TestObject final : public IJSBoundObject {
 public:
  struct Call {
    std::string name;
    std::vector<std::optional<std::u16string>> arguments;
  };

  bool HasMethod(const char* name) override {
    for (const char* known : {"getLocaleId", "echo", "report", "nothing", "colour"}) {
      if (EqualsIgnoringCase(name, known)) return true;
    }
    return false;
  }

  bool Invoke(const char* name, const ScriptValue* const* arguments, std::int32_t count,
              ScriptValue* result) override {
    threads.insert(std::this_thread::get_id());
    Call call{name, {}};
    for (std::int32_t i = 0; i < count; ++i) {
      std::int32_t length = -1;
      const char16_t* text = arguments[i]->GetText(&length);
      if (arguments[i]->HasText()) {
        call.arguments.emplace_back(std::u16string(text, static_cast<std::size_t>(length)));
      } else {
        EXPECT_EQ(length, 0);
        call.arguments.emplace_back(std::nullopt);
      }
    }
    calls.push_back(call);
    const std::string method = name;
    if (EqualsIgnoringCase(method, "getLocaleId")) {
      result->SetText(u"en-US", -1);
    } else if (method == "colour") {
      result->SetText(u"#00ff00", -1);
    } else if (method == "echo") {
      std::u16string joined;
      for (const auto& argument : call.arguments) {
        if (!joined.empty()) joined += u'|';
        joined += argument ? *argument : u"<none>";
      }
      result->SetText(joined.data(), static_cast<std::int32_t>(joined.size()));
    }
    return true;
  }

  bool HasProperty(const char* name) override { return std::string(name) == "version"; }
  void GetProperty(const char*, ScriptValue* value) override { value->SetText(version.data(), -1); }
  void SetProperty(const char*, const ScriptValue* value) override {
    std::int32_t length = 0;
    const char16_t* text = value->GetText(&length);
    version.assign(text, static_cast<std::size_t>(length));
  }
  const char* GetObjectName() override { return "test object"; }

  // The texts the pages passed to report(), in order.
  std::vector<std::string> Reports() const {
    std::vector<std::string> reports;
    for (const auto& call : calls) {
      if (call.name == "report" && !call.arguments.empty() && call.arguments[0]) {
        reports.push_back(Utf8(*call.arguments[0]));
      }
    }
    return reports;
  }

  std::vector<Call> calls;
  std::set<std::thread::id> threads;
  std::u16string version = u"1.0";
};

// Pages of the tests, written once into a temporary folder.
class Pages {
 public:
  Pages() {
    Write("plain.html", R"HTML(<!doctype html><html><body style="margin:0;background:#204080">
<div id="block" style="position:absolute;left:300px;top:200px;width:100px;height:50px;background:#ffffff"></div>
</body></html>)HTML");
    Write("click.html", R"HTML(<!doctype html><html><body style="margin:0;background:#ffffff">
<button id="go" style="position:absolute;left:100px;top:100px;width:200px;height:80px"
  onclick="var c = Client.colour(); document.getElementById('shown').style.background = c;
           Client.report('clicked ' + Client.getLocaleId() + ' ' + c);">Go</button>
<div id="shown" style="position:absolute;left:400px;top:300px;width:100px;height:100px;background:#000000"></div>
</body></html>)HTML");
    Write("input.html", R"HTML(<!doctype html><html><body style="margin:0">
<input id="field" autofocus style="position:absolute;left:50px;top:50px;width:300px"
  oninput="Client.report('value ' + this.value)">
<script>addEventListener('keydown', function (e) { Client.report('keydown ' + e.key); });</script>
</body></html>)HTML");
    Write("calls.html", R"HTML(<!doctype html><html><body><script>
  function show(v) { return v === undefined ? 'undefined' : typeof v + ':' + v; }
  Client.report('echo ' + Client.echo('a', 42, null, undefined, '\u00e9\ud83d\ude00'));
  Client.report('nothing ' + show(Client.nothing()));
  Client.report('case ' + Client.GETLOCALEID());
  Client.report('unknown ' + typeof Client.unknownMethod + ' ' + ('unknownMethod' in Client));
  Client.report('known ' + typeof Client.echo + ' ' + ('echo' in Client));
  Client.report('version ' + Client.version);
  Client.version = '2.5';
  Client.report('version ' + Client.version);
  Client.report('agent ' + navigator.userAgent + ' ' + navigator.language);
  document.title = 'Calls done';
</script></body></html>)HTML");
    Write("dialog.html", R"HTML(<!doctype html><html><body><script>
  console.warn('about to ask');
  alert('hello there');
  Client.report('prompt ' + prompt('name?', 'nobody'));
  Client.report('opened ' + window.open('about:blank#popup'));
  Client.report('after dialogs');
</script></body></html>)HTML");
    Write("tall.html", R"HTML(<!doctype html><html><body style="margin:0">
<div style="height:5000px;background:linear-gradient(#fff,#000)"></div>
<script>addEventListener('scroll', function () { Client.report('scrolled ' + (scrollY > 0)); });</script>
</body></html>)HTML");
    Write("reloading.html", R"HTML(<!doctype html><html><body><script>
  var count = Number(sessionStorage.getItem('count') || 0) + 1;
  sessionStorage.setItem('count', count);
  Client.report('load ' + count);
  if (count == 1) {
    addEventListener('load', function () { setTimeout(function () { location.reload(); }, 0); });
  }
</script></body></html>)HTML");
  }

  std::string Url(const std::string& name) const {
    return StandaloneHost::FileUrl(temp_.path() / name);
  }

 private:
  void Write(const std::string& name, const std::string& text) {
    velmora::testing::WriteFileBytes(temp_.path() / name, text);
  }
  velmora::testing::ScopedTempDir temp_;
};

bool Contains(const Rect& rect, int x, int y) {
  return x >= rect.x && y >= rect.y && x < rect.x + rect.width && y < rect.y + rect.height;
}

class LibraryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    pages_ = new Pages;
    host_ = new StandaloneHost;
    object_ = new TestObject;
    ASSERT_TRUE(host_->Start()) << host_->error();
    ASSERT_TRUE(host_->view()->Bind("Client", object_));
  }

  static void TearDownTestSuite() {
    delete host_;  // stops the browser
    delete object_;
    delete pages_;
    host_ = nullptr;
  }

  // Every test starts from a blank white page, so that what it loads is a
  // change whatever ran before it.
  void SetUp() override {
    ASSERT_TRUE(host_ && host_->view()) << "the shared host did not start";
    ASSERT_EQ(host_->LoadAndWait("about:blank"), kLoadLoaded);
    ASSERT_TRUE(host_->PumpUntil(
        [&] { return host_->PixelAt(10, 10) == 0xFFFFFF && host_->PixelAt(350, 225) == 0xFFFFFF; },
        kWait));
    host_->Pump(100ms);
    host_->client().Clear();
    object_->calls.clear();
  }

  // Waits until the page reported `text`.
  bool WaitForReport(const std::string& text) {
    return host_->PumpUntil(
        [&] {
          const auto reports = object_->Reports();
          return std::find(reports.begin(), reports.end(), text) != reports.end();
        },
        kWait);
  }

  // Waits until a dirty rectangle list holds (x, y) and the surface there
  // has `rgb`; returns whether both happened.
  bool WaitForPixel(int x, int y, std::uint32_t rgb) {
    return host_->PumpUntil(
        [&] {
          bool reported = false;
          for (const auto& list : host_->client().dirty_lists) {
            for (const auto& rect : list) reported = reported || Contains(rect, x, y);
          }
          return reported && host_->PixelAt(x, y) == rgb;
        },
        kWait);
  }

  static Pages* pages_;
  static StandaloneHost* host_;
  static TestObject* object_;
};

Pages* LibraryTest::pages_ = nullptr;
StandaloneHost* LibraryTest::host_ = nullptr;
TestObject* LibraryTest::object_ = nullptr;

TEST_F(LibraryTest, APageLoadsAndItsPixelsReachTheSurface) {
  ASSERT_EQ(host_->LoadAndWait(pages_->Url("plain.html")), kLoadLoaded);
  ASSERT_TRUE(WaitForPixel(10, 10, 0x204080));
  EXPECT_EQ(host_->PixelAt(350, 225), 0xFFFFFFu);
  for (std::int32_t kind : host_->client().update_kinds) EXPECT_EQ(kind, kViewUpdateDirtyRects);
  for (const auto& list : host_->client().dirty_lists) {
    ASSERT_FALSE(list.empty());
    for (const auto& rect : list) {
      EXPECT_GE(rect.x, 0);
      EXPECT_GE(rect.y, 0);
      EXPECT_GT(rect.width, 0);
      EXPECT_GT(rect.height, 0);
      EXPECT_LE(rect.x + rect.width, 800);
      EXPECT_LE(rect.y + rect.height, 600);
    }
  }
}

TEST_F(LibraryTest, AMissingPageReportsFailureAndTheNextLoadWorks) {
  ASSERT_EQ(host_->LoadAndWait(pages_->Url("no-such-page.html")), kLoadFailed);
  // The browser's own error page must not be reported as loaded.
  host_->Pump(500ms);
  EXPECT_EQ(host_->client().FinalLoadStates(), std::vector<std::int32_t>{kLoadFailed});
  EXPECT_EQ(host_->LoadAndWait(pages_->Url("plain.html")), kLoadLoaded);
}

TEST_F(LibraryTest, AScriptChangeShowsInsideTheReportedDirtyRectangle) {
  ASSERT_EQ(host_->LoadAndWait(pages_->Url("plain.html")), kLoadLoaded);
  ASSERT_TRUE(WaitForPixel(10, 10, 0x204080));
  ASSERT_EQ(host_->PixelAt(350, 225), 0xFFFFFFu);
  host_->Pump(200ms);
  host_->client().Clear();
  ASSERT_TRUE(host_->view()->ExecuteScript(
      "document.getElementById('block').style.background = '#ff0000';"));
  ASSERT_TRUE(WaitForPixel(350, 225, 0xFF0000));
  // Only the block changed, so nothing far from it was reported.
  for (const auto& list : host_->client().dirty_lists) {
    for (const auto& rect : list) {
      EXPECT_FALSE(Contains(rect, 10, 10));
      EXPECT_FALSE(Contains(rect, 790, 590));
    }
  }
  EXPECT_EQ(host_->PixelAt(10, 10), 0x204080u);
  ASSERT_TRUE(host_->view()->ExecuteScriptWide(
      u"document.getElementById('block').style.background = '#0000\u0066\u0066';"));
  EXPECT_TRUE(WaitForPixel(350, 225, 0x0000FF));
}

TEST_F(LibraryTest, EveryPixelAScriptChangesLiesInAReportedRectangle) {
  ASSERT_EQ(host_->LoadAndWait(pages_->Url("plain.html")), kLoadLoaded);
  ASSERT_TRUE(WaitForPixel(10, 10, 0x204080));
  host_->Pump(300ms);
  const std::vector<std::uint8_t> before = host_->CopySurface();
  host_->client().Clear();
  // Text in two places far apart: two changed areas, neither touching the
  // other's rows.
  ASSERT_TRUE(host_->view()->ExecuteScript(
      "var a = document.createElement('div'); a.textContent = 'Patching 42%';"
      "a.style.cssText = 'position:absolute;left:30px;top:40px;color:#fff;font:20px sans-serif';"
      "document.body.appendChild(a);"
      "var b = a.cloneNode(true); b.textContent = 'Ready'; b.style.top = '520px';"
      "b.style.left = '600px'; document.body.appendChild(b);"));
  ASSERT_TRUE(host_->PumpUntil([&] { return !host_->client().dirty_lists.empty(); }, kWait));
  host_->Pump(500ms);  // any later frame of the same change
  const std::vector<std::uint8_t> after = host_->CopySurface();
  std::vector<Rect> reported;
  for (const auto& list : host_->client().dirty_lists) {
    reported.insert(reported.end(), list.begin(), list.end());
  }
  int changed = 0;
  for (int y = 0; y < 600; ++y) {
    for (int x = 0; x < 800; ++x) {
      const std::size_t at = (static_cast<std::size_t>(y) * 800 + x) * 4;
      if (std::memcmp(&before[at], &after[at], 4) == 0) continue;
      ++changed;
      const bool covered = std::any_of(reported.begin(), reported.end(),
                                       [&](const Rect& r) { return Contains(r, x, y); });
      ASSERT_TRUE(covered) << "pixel " << x << "," << y << " changed outside every rectangle";
    }
  }
  EXPECT_GT(changed, 50);
  // The two texts are reported apart, not as one rectangle over the view.
  for (const auto& rect : reported) EXPECT_LT(rect.width * rect.height, 800 * 600 / 4);
}

TEST_F(LibraryTest, AClickCallsABoundMethodSynchronouslyAndThePageShowsTheAnswer) {
  ASSERT_EQ(host_->LoadAndWait(pages_->Url("click.html")), kLoadLoaded);
  ASSERT_TRUE(WaitForPixel(450, 350, 0x000000));
  View* view = host_->view();
  view->InjectMouseMove(MouseMoveEvent{200, 140, 0});
  view->InjectMouseButton(MouseButtonEvent{kMouseLeft, 200, 140, 0, 1, true});
  view->InjectMouseButton(MouseButtonEvent{kMouseLeft, 200, 140, 0, 1, false});
  ASSERT_TRUE(WaitForReport("clicked en-US #00ff00"));
  EXPECT_TRUE(WaitForPixel(450, 350, 0x00FF00));
  // Every call reached the host on this thread.
  EXPECT_EQ(object_->threads, std::set<std::thread::id>{std::this_thread::get_id()});
}

TEST_F(LibraryTest, BoundCallsCarryTextsAndAnswerTextOrUndefined) {
  ASSERT_EQ(host_->LoadAndWait(pages_->Url("calls.html")), kLoadLoaded);
  ASSERT_TRUE(WaitForReport("agent Velmora_UserAgent en-US"));
  const auto reports = object_->Reports();
  const std::vector<std::string> expected = {
      "echo a|42|<none>|<none>|???",  // this test's reader shows each non-ASCII unit as '?'
      "nothing undefined",
      "case en-US",
      "unknown undefined false",
      "known function true",
      "version 1.0",
      "version 2.5",
      "agent Velmora_UserAgent en-US",
  };
  EXPECT_EQ(reports, expected);
  // The exact UTF-16 units arrived, the surrogate pair included.
  const auto echo = std::find_if(object_->calls.begin(), object_->calls.end(),
                                 [](const auto& call) { return call.name == "echo"; });
  ASSERT_NE(echo, object_->calls.end());
  ASSERT_EQ(echo->arguments.size(), 5u);
  EXPECT_EQ(echo->arguments[4], std::u16string(u"\u00e9\U0001F600"));
  EXPECT_FALSE(echo->arguments[2].has_value());
  EXPECT_EQ(object_->version, u"2.5");
  EXPECT_TRUE(host_->PumpUntil(
      [&] {
        const auto& titles = host_->client().titles;
        return !titles.empty() && titles.back() == u"Calls done";
      },
      kWait));
}

TEST_F(LibraryTest, KeyPressesReachAnInputField) {
  ASSERT_EQ(host_->LoadAndWait(pages_->Url("input.html")), kLoadLoaded);
  View* view = host_->view();
  view->InjectMouseButton(MouseButtonEvent{kMouseLeft, 100, 60, 0, 1, true});
  view->InjectMouseButton(MouseButtonEvent{kMouseLeft, 100, 60, 0, 1, false});
  for (char16_t c : std::u16string(u"hi")) view->InjectKey(KeyEvent{c, true, true, -1});
  ASSERT_TRUE(WaitForReport("value hi"));
  view->InjectKey(KeyEvent{0x08, false, true, -1});  // Backspace
  view->InjectKey(KeyEvent{0x08, false, false, -1});
  ASSERT_TRUE(WaitForReport("value h"));
  EXPECT_TRUE(WaitForReport("keydown Backspace"));
  // Shift held through the key events themselves gives capitals.
  view->InjectKey(KeyEvent{0x10, false, true, -1});
  view->InjectKey(KeyEvent{'Q', false, true, -1});
  view->InjectKey(KeyEvent{u'Q', true, true, -1});
  view->InjectKey(KeyEvent{'Q', false, false, -1});
  view->InjectKey(KeyEvent{0x10, false, false, -1});
  EXPECT_TRUE(WaitForReport("keydown Q"));
  EXPECT_TRUE(WaitForReport("value hQ"));
}

TEST_F(LibraryTest, ReloadsFromTheHostAndFromThePageBothReportLoaded) {
  ASSERT_EQ(host_->LoadAndWait(pages_->Url("reloading.html")), kLoadLoaded);
  ASSERT_TRUE(WaitForReport("load 2"));  // the page reloaded itself, the binding survived
  ASSERT_TRUE(host_->PumpUntil(
      [&] { return host_->client().FinalLoadStates().size() >= 2; }, kWait));
  EXPECT_EQ(host_->client().FinalLoadStates(), (std::vector<std::int32_t>{kLoadLoaded, kLoadLoaded}));
  EXPECT_EQ(host_->LoadAndWait(pages_->Url("reloading.html")), kLoadLoaded);
  EXPECT_TRUE(WaitForReport("load 3"));
}

TEST_F(LibraryTest, DialogsConsoleAndNewWindowsReachTheClientWithoutHangingThePage) {
  ASSERT_EQ(host_->LoadAndWait(pages_->Url("dialog.html")), kLoadLoaded);
  ASSERT_TRUE(WaitForReport("after dialogs"));
  EXPECT_TRUE(WaitForReport("prompt answer"));
  const auto& dialogs = host_->client().dialogs;
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0], u"hello there");
  EXPECT_EQ(dialogs[1], u"name?");
  const auto& console = host_->client().console;
  ASSERT_FALSE(console.empty());
  EXPECT_EQ(console[0].level, kConsoleWarning);
  EXPECT_EQ(console[0].text, u"about to ask");
  // A page the page opens is reported, not kept running unseen.
  EXPECT_EQ(host_->client().new_windows, std::vector<std::string>{"about:blank#popup"});
}

TEST_F(LibraryTest, OnlyTheThreadThatInitialisedTheLibraryIsCalledBack) {
  ASSERT_TRUE(host_->view()->LoadUrl(pages_->Url("plain.html").c_str()));
  std::this_thread::sleep_for(1s);  // the load and its pixels are waiting now
  std::thread other([&] {
    for (int i = 0; i < 20; ++i) {
      host_->view()->Tick();
      std::this_thread::sleep_for(10ms);
    }
  });
  other.join();
  EXPECT_TRUE(host_->client().load_states.empty());
  EXPECT_TRUE(host_->client().dirty_lists.empty());
  ASSERT_TRUE(host_->PumpUntil([&] { return !host_->client().FinalLoadStates().empty(); }, kWait));
  EXPECT_EQ(host_->client().FinalLoadStates(), std::vector<std::int32_t>{kLoadLoaded});
  EXPECT_FALSE(host_->client().dirty_lists.empty());
}

TEST_F(LibraryTest, TheWheelScrollsThePage) {
  ASSERT_EQ(host_->LoadAndWait(pages_->Url("tall.html")), kLoadLoaded);
  host_->Pump(300ms);
  host_->view()->InjectMouseMove(MouseMoveEvent{400, 300, 0});
  // One notch towards the user, as the launcher computes it with 3 lines.
  host_->view()->InjectMouseWheel(MouseWheelEvent{-120, -1.0f, 400, 300, 0});
  EXPECT_TRUE(WaitForReport("scrolled true"));
}

TEST_F(LibraryTest, TheSurfaceLockChecksItsRectangleAndHoldsThePixels) {
  View* view = host_->view();
  std::uint8_t* pixels = nullptr;
  std::int32_t stride = 0;
  for (const Rect& bad : {Rect{-1, 0, 10, 10}, Rect{0, 0, 801, 1}, Rect{790, 590, 11, 5},
                          Rect{5, 5, 0, 5}, Rect{0, 600, 1, 1}}) {
    EXPECT_FALSE(view->LockSurface(bad, &pixels, &stride));
  }
  ASSERT_EQ(host_->LoadAndWait(pages_->Url("plain.html")), kLoadLoaded);
  ASSERT_TRUE(WaitForPixel(10, 10, 0x204080));
  ASSERT_EQ(host_->PixelAt(350, 225), 0xFFFFFFu);
  ASSERT_TRUE(view->LockSurface(Rect{0, 0, 800, 600}, &pixels, &stride));
  EXPECT_EQ(stride, 3200);
  EXPECT_FALSE(view->LockSurface(Rect{0, 0, 1, 1}, &pixels, &stride));  // already locked
  host_->client().Clear();
  view->ExecuteScript("document.getElementById('block').style.background = '#00ff00';");
  host_->Pump(1s);
  // While locked nothing is copied or reported.
  EXPECT_TRUE(host_->client().dirty_lists.empty());
  const std::uint8_t* block = pixels + 225 * stride + 350 * 4;
  EXPECT_EQ(block[1], 0xFF);
  EXPECT_EQ(block[0], 0xFF);  // still white
  view->UnlockSurface();
  EXPECT_TRUE(WaitForPixel(350, 225, 0x00FF00));
}

// Tests that need an instance of their own.

// The processes whose command line mentions `text`, from the system's
// process folder (also readable from a Windows build under the compatibility
// layer); nothing when there is none to read. `main_only` leaves out the
// browser's helper processes (their command lines name a process type).
std::optional<std::vector<std::string>> ProcessesMentioning(const std::string& text,
                                                            bool main_only = false) {
  for (const char* root : {"/proc", "Z:/proc"}) {
    std::error_code error;
    if (!std::filesystem::is_directory(std::filesystem::path(root) / "self", error)) continue;
    std::vector<std::string> found;
    for (std::filesystem::directory_iterator it(root, error), end; !error && it != end;
         it.increment(error)) {
      const std::string name = it->path().filename().string();
      if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit)) continue;
      std::ifstream in(it->path() / "cmdline", std::ios::binary);
      const std::string command((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
      if (command.find(text) == std::string::npos) continue;
      if (main_only && command.find("--type=") != std::string::npos) continue;
      found.push_back(name);
    }
    return found;
  }
  return std::nullopt;
}

// The command line of process `id` from the same process folder, its
// arguments separated by NUL characters.
std::string CommandLineOf(const std::string& id) {
  for (const char* root : {"/proc", "Z:/proc"}) {
    std::ifstream in(std::filesystem::path(root) / id / "cmdline", std::ios::binary);
    if (in) return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return {};
}

std::optional<int> CountProcessesMentioning(const std::string& text) {
  const auto found = ProcessesMentioning(text);
  if (!found) return std::nullopt;
  return static_cast<int>(found->size());
}

std::string ProfileFolder(StandaloneHost& host) {
  for (const auto& folder : host.file_system().made_folders()) {
    if (folder.size() > 8 && folder.compare(folder.size() - 8, 8, "-profile") == 0) return folder;
  }
  return {};
}

TEST(LibraryLifetimeTest, ShutdownEndsTheBrowserRemovesItsProfileAndReturnsItsMemory) {
  velmora::testing::ScopedTempDir temp;
  StandaloneHost host;
  host.file_system().set_temporary_folder(temp.path());
  ASSERT_TRUE(host.Start()) << host.error();
  EXPECT_EQ(host.loader().factory_by_ordinal(), host.loader().factory_by_name());
  const std::string profile = ProfileFolder(host);
  ASSERT_FALSE(profile.empty());
  EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::u8path(profile)));
  const std::string leaf = std::filesystem::u8path(profile).filename().string();
  const auto running = CountProcessesMentioning(leaf);
  EXPECT_GT(host.allocator().total_allocations(), 0);
  EXPECT_GT(host.allocator().outstanding_blocks(), 0);  // the surface at least

  host.Stop();
  host.Stop();  // harmless when repeated
  EXPECT_EQ(host.allocator().outstanding_blocks(), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(profile)));
  EXPECT_TRUE(std::filesystem::is_empty(temp.path())) << "the reserving file is left";
  if (!running) GTEST_SKIP() << "no process folder to look into";
  EXPECT_GT(*running, 0) << "the browser was not seen running";
  // Children may take a moment after the browser's own end.
  bool gone = false;
  for (int i = 0; i < 50 && !gone; ++i) {
    gone = CountProcessesMentioning(leaf) == 0;
    if (!gone) std::this_thread::sleep_for(100ms);
  }
  EXPECT_TRUE(gone) << "browser processes outlived the instance";
}

// Threads of the host, counted.
class CountingThreads final : public ThreadSystem {
 public:
  void* StartThread(void (*entry)(void*), void* argument, const char*) override {
    ++started;
    return new std::thread(entry, argument);
  }
  void JoinThread(void* thread) override {
    ++joined;
    auto* running = static_cast<std::thread*>(thread);
    running->join();
    delete running;
  }
  int started = 0;
  int joined = 0;
};

TEST(LibraryLifetimeTest, AnInstanceCanBeShutDownAndInitialisedAgain) {
  hostkit::LibraryLoader loader;
  ASSERT_TRUE(loader.Load(hostkit::LibraryFileName())) << loader.error();
  Instance* instance = loader.factory_by_name()();
  ASSERT_NE(instance, nullptr);
  hostkit::CountingAllocator allocator;
  hostkit::PlainFileSystem files;
  hostkit::RecordingClient client;
  CountingThreads threads;
  const InitRecord init{&allocator, &files, nullptr, nullptr, &client, nullptr, &threads};
  EXPECT_EQ(instance->GetSettings(), nullptr);
  EXPECT_EQ(instance->CreateView(ViewRecord{nullptr, 0, 0, 800, 600, 0xFFFFFFFF, 512, 1, 1, 1}),
            nullptr);
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(instance->Initialize(hostkit::StandardCallbacks(), init)) << round;
    EXPECT_FALSE(instance->Initialize(hostkit::StandardCallbacks(), init));
    EXPECT_EQ(instance->CreateView(ViewRecord{nullptr, 0, 0, 0, 600, 0xFFFFFFFF, 512, 1, 1, 1}),
              nullptr);
    View* view =
        instance->CreateView(ViewRecord{nullptr, 0, 0, 320, 200, 0xFF00FF00, 4, 1, 1, 1});
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->Width(), 320);
    // Left for Shutdown to close, as a careless host might.
    instance->Shutdown();
    instance->Shutdown();
    // The library's thread came from the host and was joined.
    EXPECT_EQ(threads.started, round + 1);
    EXPECT_EQ(threads.joined, round + 1);
  }
  EXPECT_EQ(allocator.outstanding_blocks(), 0);
}

TEST(LibraryFailureTest, NoBrowserMeansInitialiseFailsAndLeavesNothingBehind) {
  velmora::testing::ScopedTempDir temp;
  velmora::testing::ScopedEnvironment environment;
  environment.Set(kBrowserVariable, (temp.path() / "no-browser-here").string());
  StandaloneHost host;
  host.file_system().set_temporary_folder(temp.path());
  EXPECT_FALSE(host.Start());
  EXPECT_EQ(host.error(), "Initialize failed");
  host.Stop();
  EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
  const auto missing = hostkit::StandardCallbacks();
  hostkit::CountingAllocator allocator;
  hostkit::PlainFileSystem files;
  hostkit::RecordingClient client;
  hostkit::LibraryLoader loader;
  ASSERT_TRUE(loader.Load(hostkit::LibraryFileName()));
  Instance* instance = loader.factory_by_ordinal()();
  auto callbacks = missing;
  callbacks.random_bytes = nullptr;  // needed for the connection's keys
  EXPECT_FALSE(instance->Initialize(callbacks, InitRecord{&allocator, &files, nullptr, nullptr,
                                                          &client, nullptr, nullptr}));
  EXPECT_FALSE(instance->Initialize(missing, InitRecord{nullptr, &files, nullptr, nullptr,
                                                        &client, nullptr, nullptr}));
}

TEST(LibraryFailureTest, TheBrowsersDeathIsAFailureCodeNotAHang) {
  StandaloneHost host;
  ASSERT_TRUE(host.Start()) << host.error();
  const std::string leaf = std::filesystem::u8path(ProfileFolder(host)).filename().string();
  const auto browser = ProcessesMentioning(leaf, /*main_only=*/true);
  if (!browser) GTEST_SKIP() << "no process folder to find the browser in";
  ASSERT_EQ(browser->size(), 1u);
  // The profile as the browser names it (a host-system path when a Windows
  // build drives a POSIX browser), for the clean-up below.
  std::string browser_profile;
  {
    const std::string command = CommandLineOf(browser->front());
    const std::string key = std::string("--user-data-dir=");
    const std::size_t at = command.find(key);
    if (at != std::string::npos) {
      browser_profile = command.substr(at + key.size(), command.find('\0', at) - at - key.size());
    }
  }
  // Killed from outside, as a crash would end it. A Windows build under the
  // compatibility layer starts the host system's kill program the same way.
  os::ChildProcess kill;
  ASSERT_TRUE(kill.Start("/bin/kill", {"-KILL", browser->front()}));
  kill.Wait(3s);
  ASSERT_TRUE(host.PumpUntil(
      [&] {
        const auto states = host.client().FinalLoadStates();
        return std::find(states.begin(), states.end(), kLoadFailed) != states.end();
      },
      kWait));
  EXPECT_FALSE(host.client().engine_gone.empty());
  // Later loads fail at once instead of waiting for a browser that is gone.
  host.client().Clear();
  EXPECT_FALSE(host.view()->LoadUrl("file:///anything.html"));
  host.Pump(50ms);
  EXPECT_EQ(host.client().FinalLoadStates(), std::vector<std::int32_t>{kLoadFailed});
  EXPECT_FALSE(host.view()->ExecuteScript("1"));
  const std::string profile = ProfileFolder(host);
  host.Stop();  // ends quickly: nothing is waited for

  // A killed browser leaves links in its profile that a Windows build under
  // the compatibility layer can neither see nor delete, so the profile stays
  // there. The test removes what it made, with the host system's own tools,
  // after checking that the folder is one of the library's profiles.
  if (std::filesystem::exists(std::filesystem::u8path(profile)) &&
      browser_profile.find("OrvWebKit-OrvTemp") != std::string::npos &&
      browser_profile.size() > 8 &&
      browser_profile.compare(browser_profile.size() - 8, 8, "-profile") == 0) {
    os::ChildProcess clean;
    ASSERT_TRUE(clean.Start(
        "/bin/sh", {"-c",
                    "s=$(readlink -- \"$1/SingletonSocket\"); d=${s%/SingletonSocket}; "
                    "case \"$d\" in */org.chromium.Chromium.*|*/.org.chromium.Chromium.*) "
                    "rm -rf -- \"$d\";; esac; rm -rf -- \"$1\"",
                    "sh", browser_profile}));
    clean.Wait(3s);
    for (int i = 0; i < 30 && std::filesystem::exists(std::filesystem::u8path(profile)); ++i) {
      std::this_thread::sleep_for(100ms);
    }
  }
}

TEST(LibraryFailureTest, ARendererCrashIsAFailureCode) {
  StandaloneHost host;
  ASSERT_TRUE(host.Start()) << host.error();
  host.view()->LoadUrl("chrome://crash");
  ASSERT_TRUE(host.PumpUntil(
      [&] {
        const auto states = host.client().FinalLoadStates();
        return std::find(states.begin(), states.end(), kLoadFailed) != states.end();
      },
      kWait));
  host.Stop();
}

}  // namespace
}  // namespace velmora::orvwebkit
