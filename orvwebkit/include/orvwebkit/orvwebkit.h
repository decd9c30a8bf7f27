// OrvWebKit: the HTML view library that renders the launcher page.
//
// The library is loaded at run time ("OrvWebKit.dll" on Windows,
// "libOrvWebKit.so" elsewhere). Its export CreateOrvWebKitInstance (ordinal 1
// on Windows, by name everywhere) returns an Instance. A host then calls, in
// this order: Initialize, GetSettings and ApplySettings, the transport
// registrations, CreateView, CreateScriptValueArray and View::Bind; every main
// loop iteration View::Tick and the input and surface operations; and at the
// end, in reverse order, ReleaseScriptValueArray, View::Shutdown, DestroyView,
// the transport unregistrations and Instance::Shutdown.
//
// Every call must come from one thread, the UI thread (the one that called
// Initialize). The library calls the host's client and bound objects only on
// that thread, from inside View::Tick; its own threads touch the host only
// through the allocator (when that says it is thread-safe), the callbacks and
// the thread system.
//
// The pages are rendered by a headless browser that the instance starts and
// ends; see docs/orvwebkit.md for how it is found and driven.
#pragma once

#include <cstdint>

#include "orvwebkit/host_interfaces.h"
#include "orvwebkit/text.h"

namespace Orv::WebKit {

// ---------------------------------------------------------------------------
// Initialisation.

// Services of the host that the library uses from any of its threads.
struct HostCallbacks {
  // Current time in seconds since 1970.
  double (*current_time)();
  // A value that differs between threads that are alive at the same time.
  std::uintptr_t (*current_thread_value)();
  // Atomically add or subtract 1 and return the new value. This engine's
  // counters use the platform's atomics, so these two may be null.
  std::int32_t (*atomic_increment)(volatile std::int32_t* counter);
  std::int32_t (*atomic_decrement)(volatile std::int32_t* counter);
  // Fills `buffer` with cryptographically random bytes; false on failure.
  bool (*random_bytes)(void* buffer, std::uint32_t size);
};

// Starts threads for the library. Optional: without one the library uses
// the platform's threads.
class ThreadSystem {
 public:
  virtual ~ThreadSystem() {}
  // Starts `entry(argument)` on a new thread; null on failure.
  virtual void* StartThread(void (*entry)(void*), void* argument, const char* name) = 0;
  // Waits for the thread to end and forgets the handle.
  virtual void JoinThread(void* thread) = 0;
};

// The text system (font server and glyph caches) is accepted for the host's
// calling order; the headless browser renders text with its own fonts.
struct InitRecord {
  Allocator* allocator;                      // required
  FileSystem* file_system;                   // required
  Orv::Text::GlyphCache_Memory* glyph_cache_8;
  Orv::Text::FontServer* font_server;
  OrvWebKitClient* client;                   // required
  Orv::Text::GlyphCache_Memory* glyph_cache_32;
  ThreadSystem* thread_system;               // optional
};

// ---------------------------------------------------------------------------
// Settings. GetSettings returns the instance's record; the host fills it and
// hands it to ApplySettings with the three groups. Texts are copied during
// ApplySettings.
struct Settings {
  const char* user_agent;       // UTF-8; null or empty keeps the browser's own
  const char* accept_language;  // UTF-8, e.g. "en-US, en;q=0.5"; null or empty: default
  // The largest message of a bound call in bytes (arguments in, result out).
  // Larger calls return undefined to the page. 0 means the default, 262144.
  std::uint32_t max_call_message_bytes;
};

// The headless engine keeps its cookies, caches and script heap inside its
// private profile, which ends with the instance; the three groups are checked
// and kept but do not tune it.
struct CookieSettings {
  std::uint32_t max_cookies;
  std::uint32_t max_cookie_bytes;
  std::uint16_t max_cookies_per_host;
  const char* cookie_folder;  // UTF-8, at most 255 bytes; may be null
};

struct CacheSettings {
  std::uint32_t memory_cache_bytes;
  std::uint32_t min_dead_bytes;
  std::uint32_t max_resource_bytes;
};

struct ScriptSettings {
  std::uint32_t heap_limit_bytes;
  std::uint32_t stack_kib;
  std::uint32_t gc_interval_seconds;
  std::uint32_t max_call_depth;
  std::uint32_t flags;
};

// ---------------------------------------------------------------------------
// Transports: the base of the network transports a host offers for the
// engine's requests. The headless browser behind this library keeps its own
// network stack, so registered transports are kept (they must stay alive
// until unregistered) but never called.
class TransportHandler {
 public:
  virtual ~TransportHandler() {}
};

// ---------------------------------------------------------------------------
// Views.
struct ViewRecord {
  void* native_parent;  // not used: views are always off-screen
  std::int32_t x;       // where the host shows the view; not used by the library
  std::int32_t y;
  std::int32_t width;   // surface size in pixels, 1 to 4096
  std::int32_t height;
  // Colour behind transparent pages, 0xAARRGGBB.
  std::uint32_t background_argb;
  // The most rectangles in one dirty-rectangle list (at least 1); more
  // changed areas are merged.
  std::uint32_t max_dirty_rects;
  std::uint8_t scripts_enabled;  // page scripts run
  std::uint8_t input_enabled;    // injected input reaches the page
  std::uint8_t visible;          // the page is rendered into the surface
};

// Modifier bits of input events.
enum Modifier : std::uint32_t {
  kModifierShift = 1,
  kModifierControl = 2,
  kModifierAlt = 4,
  kModifierMeta = 16,
};

enum MouseButton : std::int32_t {
  kMouseLeft = 0,
  kMouseMiddle = 1,
  kMouseRight = 2,
};

// A field documented as "-1: ..." takes -1 for that default.
struct MouseMoveEvent {
  std::int32_t x;
  std::int32_t y;
  std::uint32_t modifiers;
};

struct MouseButtonEvent {
  std::int32_t button;  // MouseButton
  std::int32_t x;
  std::int32_t y;
  std::uint32_t modifiers;
  std::int32_t click_count;
  bool pressed;
};

struct MouseWheelEvent {
  std::int32_t raw_delta;  // 120 per notch, positive away from the user
  float lines;             // lines to scroll, positive away from the user
  std::int32_t x;
  std::int32_t y;
  std::uint32_t modifiers;
};

struct KeyEvent {
  // A Windows virtual-key code, or with is_character the UTF-16 unit typed.
  std::uint32_t code;
  bool is_character;
  bool pressed;  // characters are always sent pressed
  // -1: from the shift, control and alt keys the view has seen go down.
  std::int32_t modifiers;
};

class View {
 public:
  // Starts loading a UTF-8 address (normally a file: URL). The outcome comes
  // as load states during later ticks: "loaded" (5) or "failed" (6). False
  // when the view cannot load at all (shut down, engine gone).
  virtual bool LoadUrl(const char* url) = 0;
  // Delivers, on this thread, what the engine produced since the last tick:
  // load states, new pixels (copied into the surface and reported as a
  // dirty-rectangle list) and calls of bound objects.
  virtual void Tick() = 0;
  // Runs script text in the page; the result is not used. False when the view
  // has no page to run it in.
  virtual bool ExecuteScript(const char* utf8) = 0;
  virtual bool ExecuteScriptWide(const char16_t* utf16) = 0;
  // Makes `object` known to this and every later page under `name` (a script
  // identifier). Binding a name again replaces the object; null removes it.
  virtual bool Bind(const char* name, IJSBoundObject* object) = 0;

  virtual void InjectMouseMove(const MouseMoveEvent& event) = 0;
  virtual void InjectMouseButton(const MouseButtonEvent& event) = 0;
  virtual void InjectMouseWheel(const MouseWheelEvent& event) = 0;
  virtual void InjectKey(const KeyEvent& event) = 0;

  // Locks the surface for reading `rect`, which must lie inside it. Gives the
  // address of pixel (0, 0) and the distance between rows in bytes: rows top
  // to bottom, 32-bit pixels in the byte order of a Windows DIB (blue, green,
  // red, alpha). The pixels do not change until UnlockSurface. False for an
  // empty or outside rectangle or a surface that is already locked.
  virtual bool LockSurface(const Rect& rect, std::uint8_t** pixels, std::int32_t* stride) = 0;
  virtual void UnlockSurface() = 0;
  virtual std::int32_t Width() const = 0;
  virtual std::int32_t Height() const = 0;

  // Closes the page; later calls do nothing. Harmless when repeated.
  virtual void Shutdown() = 0;

 protected:
  ~View() = default;  // views end through Instance::DestroyView
};

class Instance {
 public:
  // Starts the engine. False when a required object is missing, the browser
  // cannot be found or started, or it does not answer in time; the instance
  // may then be initialised again.
  virtual bool Initialize(const HostCallbacks& callbacks, const InitRecord& init) = 0;
  // The record ApplySettings expects; null before Initialize.
  virtual Settings* GetSettings() = 0;
  virtual bool ApplySettings(const Settings& settings, const CookieSettings& cookies,
                             const CacheSettings& caches, const ScriptSettings& scripts) = 0;

  // A transport for the requests of `scheme` ("http", "https"), one per
  // scheme; registering again replaces it. False before Initialize. (Kept,
  // not called: see Transports above.)
  virtual bool RegisterTransport(const char* scheme, TransportHandler* transport) = 0;
  virtual void UnregisterTransport(const char* scheme) = 0;
  // A transport for raw sockets; the same holds.
  virtual bool RegisterSocketTransport(TransportHandler* transport) = 0;
  virtual void UnregisterSocketTransport() = 0;

  // Null when the record is invalid or the engine cannot give a page.
  virtual View* CreateView(const ViewRecord& record) = 0;
  // Shuts the view down if needed and frees it; nothing for null.
  virtual void DestroyView(View* view) = 0;

  // The argument store for bound calls of `view` (see ScriptValueArray), for
  // `capacity` arguments (1 to 64). It replaces the view's default store of 20.
  virtual ScriptValueArray* CreateScriptValueArray(View* view, std::int32_t capacity) = 0;
  virtual void ReleaseScriptValueArray(ScriptValueArray* array) = 0;

  // Ends every view, the browser and its profile folder. The instance can be
  // initialised again afterwards. Harmless when repeated.
  virtual void Shutdown() = 0;

 protected:
  ~Instance() = default;  // instances live until the library is unloaded
};

}  // namespace Orv::WebKit

// The export. Each call returns a new, uninitialised instance.
extern "C" Orv::WebKit::Instance* CreateOrvWebKitInstance();
using CreateOrvWebKitInstanceFunction = Orv::WebKit::Instance* (*)();
// The ordinal of CreateOrvWebKitInstance in the Windows library.
inline constexpr unsigned kCreateOrvWebKitInstanceOrdinal = 1;
