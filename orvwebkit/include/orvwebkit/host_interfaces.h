// The objects a host hands to the OrvWebKit library: its allocator, its file
// system, the client that receives the view's notifications, and the native
// objects bound into pages.
//
// The library calls these through their virtual tables, so the order of the
// virtual functions below is part of the interface: never reorder, insert or
// remove one. Both sides must be built with the same compiler. Operations with
// a body are the defaults a host may keep.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Orv::WebKit {

// ---------------------------------------------------------------------------
// Memory. The library takes the memory it owns (pixel surfaces, message
// buffers) from here. Calls come from the UI thread, and from the library's
// own threads only when IsThreadSafe() answers true.
class Allocator {
 public:
  // slot 0
  virtual ~Allocator() {}
  // slot 1: `size` bytes (0 is a valid request), or null. `flags` and `name`
  // only describe the request (for statistics and leak reports).
  virtual void* Allocate(std::size_t size, std::uint32_t flags, const char* name) = 0;
  // slot 2: a block whose address plus `alignment_offset` is a multiple of
  // `alignment` (a power of two), or null.
  virtual void* AllocateAligned(std::size_t size, std::size_t alignment,
                                std::size_t alignment_offset, std::uint32_t flags,
                                const char* name) = 0;
  // slot 3: returns a block of slot 1 or 2; `size` is the size asked for.
  virtual void Free(void* block, std::size_t size) = 0;
  // slot 4: a block of slot 1 grown or shrunk, contents kept up to the smaller
  // size; null on failure, and the old block then stays valid.
  virtual void* Reallocate(void* block, std::size_t new_size, std::uint32_t flags) = 0;
  // slot 5: a hint that caches may be given back to the system.
  virtual void Trim() {}
  // slot 6: whether the library may call this allocator from its own threads.
  virtual bool IsThreadSafe() { return false; }
  // slot 7: the granularity of the reserve operations below.
  virtual std::uint32_t PageSize() { return 4096; }
  // slot 8: address space for later use. `reserved` is not interpreted.
  virtual void* ReserveUncommitted(std::size_t size, std::uint32_t reserved, bool executable) {
    (void)size, (void)reserved, (void)executable;
    return nullptr;
  }
  // slot 9: address space that can be used at once.
  virtual void* ReserveAndCommit(std::size_t size, std::uint32_t reserved, bool executable) {
    (void)size, (void)reserved, (void)executable;
    return nullptr;
  }
  // slot 10: returns a block of slot 8 or 9.
  virtual void Release(void* block, std::size_t size) { (void)block, (void)size; }
  // slot 11: usable memory aligned to `alignment`; writes the block and its
  // size (0 on failure) to the out parameters and also returns the block.
  virtual void* ReserveAndCommitAligned(std::size_t size, std::size_t alignment, void** out_block,
                                        std::size_t* out_size, std::uint32_t reserved,
                                        bool executable) {
    (void)size, (void)alignment, (void)reserved, (void)executable;
    if (out_block) *out_block = nullptr;
    if (out_size) *out_size = 0;
    return nullptr;
  }
  // slot 12: returns a block of slot 11.
  virtual void ReleaseAligned(void* block, std::size_t size, std::size_t alignment) {
    (void)block, (void)size, (void)alignment;
  }
  // slot 13: names a region for memory reports.
  virtual void NameRegion(void* block, std::size_t size, std::uint32_t kind, const char* name) {
    (void)block, (void)size, (void)kind, (void)name;
  }
  // slot 14: a hint that the pages of a region are not needed for now.
  virtual void Decommit(void* block, std::size_t size) { (void)block, (void)size; }
};

// ---------------------------------------------------------------------------
// Files. Paths are UTF-8 texts in the host's native form. A file object is
// created by slot 1 and destroyed by slot 2 of the same file system.
class FileObject {
 public:
  virtual ~FileObject() {}
};

class FileSystem {
 public:
  // Access bits of Open.
  static constexpr std::uint32_t kAccessRead = 1;
  static constexpr std::uint32_t kAccessWrite = 2;  // created anew or truncated

  // slot 0
  virtual ~FileSystem() {}
  // slot 1: a new, closed file object (null when out of memory).
  virtual FileObject* CreateFileObject() = 0;
  // slot 2: nothing for null.
  virtual void DestroyFileObject(FileObject* file) = 0;
  // slot 3: without kAccessWrite the file must exist.
  virtual bool Open(FileObject* file, const char* path, std::uint32_t access) = 0;
  // slot 4: creates a new file named prefix + "OrvTemp" + number + ".tmp" in
  // the temporary folder (or beside an absolute prefix), open for reading and
  // writing, and writes its path (at most 256 bytes with the terminator) to
  // `out_path`. Null on failure.
  virtual FileObject* OpenTemporaryFile(const char* prefix, char* out_path) = 0;
  // slot 5
  virtual void Close(FileObject* file) = 0;
  // slot 6: bytes read, 0 at the end, negative on failure.
  virtual std::int32_t Read(FileObject* file, void* buffer, std::uint32_t size) = 0;
  // slot 7
  virtual bool Write(FileObject* file, const void* buffer, std::uint64_t size) = 0;
  // slot 8: false when the file is not found.
  virtual bool GetFileSize(const char* path, std::uint64_t* size) = 0;
  // slot 9
  virtual std::uint64_t GetFileSize(FileObject* file) = 0;
  // slot 10
  virtual std::int64_t GetPosition(FileObject* file) = 0;
  // slot 11: true for an existing path that is not a folder.
  virtual bool FileExists(const char* path) = 0;
  // slot 12
  virtual bool FolderExists(const char* path) = 0;
  // slot 13
  virtual bool RemoveFile(const char* path) = 0;
  // slot 14: the folder with everything in it.
  virtual bool RemoveFolder(const char* path) = 0;
  // slot 15: seconds since 1970; false when unknown.
  virtual bool GetModificationTime(const char* path, std::uint64_t* seconds) = 0;
  // slot 16: with any missing parents; creates nothing when it fails.
  virtual bool MakeFolder(const char* path) = 0;
  // slot 17: the user's documents folder with a trailing separator.
  virtual bool GetDocumentsFolder(char* buffer, std::uint32_t size) = 0;
  // slot 18: a per-user folder for application data, with a trailing
  // separator; false when the host keeps none (the library then uses the
  // temporary folder).
  virtual bool GetApplicationDataFolder(char* buffer, std::uint32_t size) = 0;
};

// ---------------------------------------------------------------------------
// Notifications of a view. Every notification takes one record that is valid
// during the call only. The library calls the client on the UI thread, inside
// View::Tick, never from another thread.
class View;

// Codes of LoadStateRecord::state.
enum LoadState : std::int32_t {
  kLoadProgress = 4,  // a load goes on; `progress` in 0..1
  kLoadLoaded = 5,    // the document and its resources have loaded
  kLoadFailed = 6,    // it could not be loaded, the page crashed or the engine died
};

struct LoadStateRecord {
  View* view;
  std::int32_t state;  // LoadState
  double progress;     // 0..1
  const char* url;     // UTF-8 address of the document, may be empty
};

struct NavigationRecord {
  View* view;
  const char* url;  // UTF-8
};

struct TitleRecord {
  View* view;
  const char16_t* title;  // UTF-16, terminated
};

enum ConsoleLevel : std::int32_t {
  kConsoleLog = 0,
  kConsoleWarning = 1,
  kConsoleError = 2,
  kConsoleDebug = 3,
};

struct ConsoleMessageRecord {
  View* view;
  std::int32_t level;     // ConsoleLevel
  const char16_t* text;   // UTF-16, terminated
  const char* source;     // UTF-8 address of the script, may be empty
  std::int32_t line;      // 1-based, 0 when unknown
};

struct Rect {
  std::int32_t x;
  std::int32_t y;
  std::int32_t width;
  std::int32_t height;
};

// Kinds of ViewUpdateRecord.
enum ViewUpdateKind : std::int32_t {
  kViewUpdateDirtyRects = 2,  // these parts of the surface hold new pixels
};

struct ViewUpdateRecord {
  View* view;
  std::int32_t kind;  // ViewUpdateKind
  std::int32_t count;
  const Rect* rects;  // `count` rectangles inside the surface
};

enum ScriptDialogKind : std::int32_t {
  kDialogAlert = 0,
  kDialogConfirm = 1,
  kDialogPrompt = 2,
  kDialogBeforeUnload = 3,
};

// A page script opened a modal dialog. The page waits until the notification
// returns; the client may change `accept` (initially true) and, for prompts,
// set `answer` to a UTF-16 text that stays valid until the call returns.
struct ScriptDialogRecord {
  View* view;
  std::int32_t kind;  // ScriptDialogKind
  const char16_t* message;
  const char16_t* default_answer;
  bool accept;
  const char16_t* answer;
};

struct ScriptErrorRecord {
  View* view;
  const char16_t* message;  // UTF-16, terminated
  const char* source;       // UTF-8 address of the script, may be empty
  std::int32_t line;        // 1-based, 0 when unknown
  std::int32_t column;      // 1-based, 0 when unknown
};

struct NewWindowRecord {
  View* view;
  const char* url;  // UTF-8; the library never opens a second page itself
};

struct EngineGoneRecord {
  View* view;
  const char* reason;  // UTF-8, for logs
};

// Notifications this engine has no source for keep the same record shape so
// that the virtual table keeps its order.
struct ReservedRecord {
  View* view;
};

class OrvWebKitClient {
 public:
  // slot 0
  virtual ~OrvWebKitClient() {}
  // slot 1: a navigation of the main document has started.
  virtual void OnNavigationStarted(const NavigationRecord& record) { (void)record; }
  // slot 2: load progress, "loaded" (5) and "failed" (6).
  virtual void OnLoadState(const LoadStateRecord& record) { (void)record; }
  // slot 3
  virtual void OnTitleChanged(const TitleRecord& record) { (void)record; }
  // slot 4: a page script wrote to its console.
  virtual void OnConsoleMessage(const ConsoleMessageRecord& record) { (void)record; }
  // slot 5: the main document's address changed (navigation committed).
  virtual void OnUrlChanged(const NavigationRecord& record) { (void)record; }
  // slot 6: the main document's structure is ready (before its resources).
  virtual void OnDocumentReady(const NavigationRecord& record) { (void)record; }
  // slot 7: new pixels in the surface.
  virtual void OnViewUpdate(const ViewUpdateRecord& record) { (void)record; }
  // slot 8: alert, confirm, prompt or leave-page question.
  virtual void OnScriptDialog(ScriptDialogRecord& record) { (void)record; }
  // slot 9: an exception no page script caught.
  virtual void OnScriptError(const ScriptErrorRecord& record) { (void)record; }
  // slot 10: the page asked for a new window (window.open, target=_blank).
  virtual void OnNewWindowRequest(const NewWindowRecord& record) { (void)record; }
  // slot 11: the page's renderer or the whole engine ended unexpectedly; a
  // "failed" load state follows.
  virtual void OnEngineGone(const EngineGoneRecord& record) { (void)record; }
  // slots 12 to 18: not sent by this engine.
  virtual void OnReserved12(const ReservedRecord& record) { (void)record; }
  virtual void OnReserved13(const ReservedRecord& record) { (void)record; }
  virtual void OnReserved14(const ReservedRecord& record) { (void)record; }
  virtual void OnReserved15(const ReservedRecord& record) { (void)record; }
  virtual void OnReserved16(const ReservedRecord& record) { (void)record; }
  virtual void OnReserved17(const ReservedRecord& record) { (void)record; }
  virtual void OnReserved18(const ReservedRecord& record) { (void)record; }
};

// ---------------------------------------------------------------------------
// Script values passed to and from bound objects. Implemented by the library;
// valid only during the call that hands them over.
class ScriptValue {
 public:
  // The value as UTF-16 text and its length in units (not counting the
  // terminator that always follows). Page numbers and booleans arrive in
  // their script text form; null, undefined and a value that was never set
  // read as an empty text. Never null.
  virtual const char16_t* GetText(std::int32_t* length) const = 0;
  // Whether the value holds a text (false for null and undefined).
  virtual bool HasText() const = 0;
  // Makes the value a copy of `length` units of `text` (a negative length:
  // up to the terminator). Returns false when the text is too long for the
  // library's message limit.
  virtual bool SetText(const char16_t* text, std::int32_t length) = 0;
  // Makes the value undefined again.
  virtual void Clear() = 0;

 protected:
  ~ScriptValue() = default;
};

// The argument store of a view, made by Instance::CreateScriptValueArray: the
// arguments of each bound call are placed in it, so its capacity is the most
// arguments a bound method receives.
class ScriptValueArray {
 public:
  virtual std::int32_t Capacity() const = 0;

 protected:
  ~ScriptValueArray() = default;
};

// A native object bound into the page under a name (View::Bind). The page
// sees an object whose methods are the names HasMethod accepts; a call blocks
// the page script until the library has called Invoke on the UI thread during
// a tick, and returns the text set on `result` (undefined when none was set).
class IJSBoundObject {
 public:
  // slot 0
  virtual ~IJSBoundObject() {}
  // slot 1: `name` is UTF-8.
  virtual bool HasMethod(const char* name) { (void)name; return false; }
  // slot 2: `arguments` holds `count` values. Returns whether the call was
  // handled; an unhandled call returns undefined to the page.
  virtual bool Invoke(const char* name, const ScriptValue* const* arguments, std::int32_t count,
                      ScriptValue* result) {
    (void)name, (void)arguments, (void)count, (void)result;
    return false;
  }
  // slot 3: whether the page may read a property of this name.
  virtual bool HasProperty(const char* name) { (void)name; return false; }
  // slot 4: the property's current value.
  virtual void GetProperty(const char* name, ScriptValue* value) { (void)name, (void)value; }
  // slot 5: the page assigned a property of this name.
  virtual void SetProperty(const char* name, const ScriptValue* value) { (void)name, (void)value; }
  // slot 6: whether the page may list the members (slot 7).
  virtual bool CanEnumerate() { return false; }
  // slot 7: the name of member `index` (0, 1, ...) into `name`; false after the
  // last one.
  virtual bool GetMemberName(std::int32_t index, ScriptValue* name) {
    (void)index, (void)name;
    return false;
  }
  // slot 8: a name for diagnostics.
  virtual const char* GetObjectName() { return ""; }
};

}  // namespace Orv::WebKit
