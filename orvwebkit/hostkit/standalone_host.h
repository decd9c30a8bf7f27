// A small host for the OrvWebKit library, for its tests, its picture tool
// and its benchmark: a heap allocator, a file system on the C++ library, a
// client that records what the view reports, and the loading of the library
// by ordinal as the launcher does it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "orvwebkit/orvwebkit.h"

namespace velmora::orvwebkit::hostkit {

// Loads the library and takes its factory by ordinal (Windows) or by name.
class LibraryLoader {
 public:
  LibraryLoader() = default;
  ~LibraryLoader();
  LibraryLoader(const LibraryLoader&) = delete;
  LibraryLoader& operator=(const LibraryLoader&) = delete;
  bool Load(const std::filesystem::path& path);
  void Unload();
  CreateOrvWebKitInstanceFunction factory_by_ordinal() const { return by_ordinal_; }
  CreateOrvWebKitInstanceFunction factory_by_name() const { return by_name_; }
  const std::string& error() const { return error_; }

 private:
  void* handle_ = nullptr;
  CreateOrvWebKitInstanceFunction by_ordinal_ = nullptr;
  CreateOrvWebKitInstanceFunction by_name_ = nullptr;
  std::string error_;
};

// The library beside the running program (where the build puts it).
std::filesystem::path LibraryFileName();

// Allocator on the C++ heap that counts what is outstanding.
class CountingAllocator final : public Orv::WebKit::Allocator {
 public:
  void* Allocate(std::size_t size, std::uint32_t flags, const char* name) override;
  void* AllocateAligned(std::size_t size, std::size_t alignment, std::size_t alignment_offset,
                        std::uint32_t flags, const char* name) override;
  void Free(void* block, std::size_t size) override;
  void* Reallocate(void* block, std::size_t new_size, std::uint32_t flags) override;
  bool IsThreadSafe() override { return thread_safe_; }

  void set_thread_safe(bool value) { thread_safe_ = value; }
  std::int64_t outstanding_blocks() const { return blocks_; }
  std::int64_t total_allocations() const { return allocations_; }

 private:
  std::atomic<std::int64_t> blocks_{0};
  std::atomic<std::int64_t> allocations_{0};
  bool thread_safe_ = true;
};

// File system on std::filesystem and std::fstream, UTF-8 paths.
class PlainFileSystem final : public Orv::WebKit::FileSystem {
 public:
  Orv::WebKit::FileObject* CreateFileObject() override;
  void DestroyFileObject(Orv::WebKit::FileObject* file) override;
  bool Open(Orv::WebKit::FileObject* file, const char* path, std::uint32_t access) override;
  Orv::WebKit::FileObject* OpenTemporaryFile(const char* prefix, char* out_path) override;
  void Close(Orv::WebKit::FileObject* file) override;
  std::int32_t Read(Orv::WebKit::FileObject* file, void* buffer, std::uint32_t size) override;
  bool Write(Orv::WebKit::FileObject* file, const void* buffer, std::uint64_t size) override;
  bool GetFileSize(const char* path, std::uint64_t* size) override;
  std::uint64_t GetFileSize(Orv::WebKit::FileObject* file) override;
  std::int64_t GetPosition(Orv::WebKit::FileObject* file) override;
  bool FileExists(const char* path) override;
  bool FolderExists(const char* path) override;
  bool RemoveFile(const char* path) override;
  bool RemoveFolder(const char* path) override;
  bool GetModificationTime(const char* path, std::uint64_t* seconds) override;
  bool MakeFolder(const char* path) override;
  bool GetDocumentsFolder(char* buffer, std::uint32_t size) override;
  bool GetApplicationDataFolder(char* buffer, std::uint32_t size) override;

  // Where temporary files go; by default the system's temporary folder.
  void set_temporary_folder(const std::filesystem::path& folder) { temporary_folder_ = folder; }
  // Every folder MakeFolder created, in order (tests find the profile here).
  std::vector<std::string> made_folders() const;

 private:
  std::filesystem::path temporary_folder_;
  mutable std::mutex mutex_;
  std::vector<std::string> made_folders_;
};

// Records every notification, for the caller to inspect after a tick.
class RecordingClient final : public Orv::WebKit::OrvWebKitClient {
 public:
  struct LoadState {
    std::int32_t state;
    double progress;
    std::string url;
  };
  struct Console {
    std::int32_t level;
    std::u16string text;
  };

  void OnLoadState(const Orv::WebKit::LoadStateRecord& record) override;
  void OnTitleChanged(const Orv::WebKit::TitleRecord& record) override;
  void OnConsoleMessage(const Orv::WebKit::ConsoleMessageRecord& record) override;
  void OnViewUpdate(const Orv::WebKit::ViewUpdateRecord& record) override;
  void OnScriptDialog(Orv::WebKit::ScriptDialogRecord& record) override;
  void OnScriptError(const Orv::WebKit::ScriptErrorRecord& record) override;
  void OnNewWindowRequest(const Orv::WebKit::NewWindowRecord& record) override;
  void OnEngineGone(const Orv::WebKit::EngineGoneRecord& record) override;

  void Clear();
  // The final load states (5 and 6) in order.
  std::vector<std::int32_t> FinalLoadStates() const;

  std::vector<LoadState> load_states;
  std::vector<std::vector<Orv::WebKit::Rect>> dirty_lists;
  std::vector<std::int32_t> update_kinds;
  std::vector<Console> console;
  std::vector<std::u16string> titles;
  std::vector<std::u16string> dialogs;
  std::vector<std::u16string> script_errors;
  std::vector<std::string> new_windows;
  std::vector<std::string> engine_gone;
  // Called inside OnLoadState, after recording (tests act from there).
  std::function<void(const Orv::WebKit::LoadStateRecord&)> on_load_state;
  // The answer given to prompt dialogs.
  std::u16string prompt_answer = u"answer";
};

// The host's five callbacks on the C++ library.
Orv::WebKit::HostCallbacks StandardCallbacks();

// One loaded library, an initialised instance and its view, as a host sets
// them up: the settings and view record the launcher uses, and a
// 20-argument store.
class StandaloneHost {
 public:
  StandaloneHost();
  ~StandaloneHost();
  StandaloneHost(const StandaloneHost&) = delete;
  StandaloneHost& operator=(const StandaloneHost&) = delete;

  // Loads the library from `library` (default: beside this program),
  // initialises an instance and creates an 800 x 600 view.
  bool Start(const std::filesystem::path& library = {});
  // Reverse order of Start; harmless when repeated.
  void Stop();

  // Ticks every 10 ms, as the launcher's main loop does, until `done` or the
  // time is up. Returns whether `done` became true.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  void Pump(std::chrono::milliseconds duration);
  // Loads and waits for the final load state; returns it (0 on time-out).
  std::int32_t LoadAndWait(const std::string& url,
                           std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // A file: URL for a local path.
  static std::string FileUrl(const std::filesystem::path& path);
  // Copies the surface (rows top to bottom, 32-bit B, G, R, A).
  std::vector<std::uint8_t> CopySurface();
  // The pixel at x, y as 0xRRGGBB.
  std::uint32_t PixelAt(std::int32_t x, std::int32_t y);

  CountingAllocator& allocator() { return allocator_; }
  PlainFileSystem& file_system() { return file_system_; }
  RecordingClient& client() { return client_; }
  LibraryLoader& loader() { return loader_; }
  Orv::WebKit::Instance* instance() { return instance_; }
  Orv::WebKit::View* view() { return view_; }
  const std::string& error() const { return error_; }

 private:
  CountingAllocator allocator_;
  PlainFileSystem file_system_;
  RecordingClient client_;
  Orv::Text::GlyphCache_Memory glyphs8_{8};
  Orv::Text::GlyphCache_Memory glyphs32_{32};
  Orv::Text::FontServer fonts_;
  LibraryLoader loader_;
  Orv::WebKit::Instance* instance_ = nullptr;
  Orv::WebKit::View* view_ = nullptr;
  Orv::WebKit::ScriptValueArray* arguments_ = nullptr;
  bool initialized_ = false;
  std::string error_;
};

}  // namespace velmora::orvwebkit::hostkit
