#include "orvwebkit/hostkit/standalone_host.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <thread>

namespace velmora::orvwebkit::hostkit {

using namespace Orv::WebKit;

namespace {

struct BlockHeader {
  void* raw;
  std::size_t size;
};

std::filesystem::path PathFromUtf8(const char* text) {
  const std::string narrow = text ? text : "";
  return std::filesystem::path(std::u8string(narrow.begin(), narrow.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

struct PlainFile final : FileObject {
  std::fstream stream;
  std::filesystem::path path;
};

PlainFile* AsPlain(FileObject* file) { return static_cast<PlainFile*>(file); }

bool CopyToBuffer(const std::string& text, char* buffer, std::uint32_t size) {
  if (text.size() + 1 > size) return false;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------

void* CountingAllocator::AllocateAligned(std::size_t size, std::size_t alignment,
                                         std::size_t alignment_offset, std::uint32_t, const char*) {
  if (alignment < alignof(BlockHeader)) alignment = alignof(BlockHeader);
  void* raw = std::malloc(size + alignment + alignment_offset + sizeof(BlockHeader));
  if (!raw) return nullptr;
  std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw) + sizeof(BlockHeader);
  std::uintptr_t block = ((start + alignment_offset + alignment - 1) & ~(alignment - 1)) -
                         alignment_offset;
  if (block < start) block += alignment;
  auto* header = reinterpret_cast<BlockHeader*>(block) - 1;
  header->raw = raw;
  header->size = size;
  ++blocks_;
  ++allocations_;
  return reinterpret_cast<void*>(block);
}

void* CountingAllocator::Allocate(std::size_t size, std::uint32_t flags, const char* name) {
  return AllocateAligned(size, 16, 0, flags, name);
}

void CountingAllocator::Free(void* block, std::size_t) {
  if (!block) return;
  --blocks_;
  std::free((static_cast<BlockHeader*>(block) - 1)->raw);
}

void* CountingAllocator::Reallocate(void* block, std::size_t new_size, std::uint32_t flags) {
  if (!block) return Allocate(new_size, flags, nullptr);
  void* fresh = Allocate(new_size, flags, nullptr);
  if (!fresh) return nullptr;
  const std::size_t old_size = (static_cast<BlockHeader*>(block) - 1)->size;
  std::memcpy(fresh, block, old_size < new_size ? old_size : new_size);
  Free(block, old_size);
  return fresh;
}

// ---------------------------------------------------------------------------

FileObject* PlainFileSystem::CreateFileObject() { return new PlainFile; }

void PlainFileSystem::DestroyFileObject(FileObject* file) { delete AsPlain(file); }

bool PlainFileSystem::Open(FileObject* file, const char* path, std::uint32_t access) {
  if (!file || !path) return false;
  PlainFile* plain = AsPlain(file);
  plain->path = PathFromUtf8(path);
  std::ios::openmode mode = std::ios::binary | std::ios::in;
  if (access & kAccessWrite) {
    mode = std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc;
  } else {
    std::error_code error;
    if (!std::filesystem::is_regular_file(plain->path, error)) return false;
  }
  plain->stream.open(plain->path, mode);
  return plain->stream.is_open();
}

FileObject* PlainFileSystem::OpenTemporaryFile(const char* prefix, char* out_path) {
  const std::filesystem::path stem = PathFromUtf8((std::string(prefix ? prefix : "") + "OrvTemp").c_str());
  std::filesystem::path folder = temporary_folder_;
  if (folder.empty()) folder = std::filesystem::temp_directory_path();
  std::int64_t number = static_cast<std::int64_t>(std::time(nullptr));
  for (int attempt = 0; attempt < 64; ++attempt, --number) {
    std::filesystem::path name = stem;
    name += std::to_string(number) + ".tmp";
    const std::filesystem::path path = stem.is_absolute() ? name : folder / name;
    std::error_code error;
    if (std::filesystem::exists(path, error)) continue;
    const std::string text = Utf8FromPath(path);
    if (text.size() + 1 > 256) return nullptr;
    FileObject* file = CreateFileObject();
    if (Open(file, text.c_str(), kAccessRead | kAccessWrite)) {
      std::memcpy(out_path, text.c_str(), text.size() + 1);
      return file;
    }
    DestroyFileObject(file);
  }
  return nullptr;
}

void PlainFileSystem::Close(FileObject* file) {
  if (file) AsPlain(file)->stream.close();
}

std::int32_t PlainFileSystem::Read(FileObject* file, void* buffer, std::uint32_t size) {
  if (!file) return -1;
  auto& stream = AsPlain(file)->stream;
  if (!stream.is_open()) return -1;
  stream.read(static_cast<char*>(buffer), size);
  const auto got = stream.gcount();
  if (stream.bad()) return -1;
  stream.clear();
  return static_cast<std::int32_t>(got);
}

bool PlainFileSystem::Write(FileObject* file, const void* buffer, std::uint64_t size) {
  if (!file) return false;
  auto& stream = AsPlain(file)->stream;
  stream.write(static_cast<const char*>(buffer), static_cast<std::streamsize>(size));
  return stream.good();
}

bool PlainFileSystem::GetFileSize(const char* path, std::uint64_t* size) {
  std::error_code error;
  const auto bytes = std::filesystem::file_size(PathFromUtf8(path), error);
  if (error) return false;
  *size = bytes;
  return true;
}

std::uint64_t PlainFileSystem::GetFileSize(FileObject* file) {
  std::error_code error;
  const auto bytes = std::filesystem::file_size(AsPlain(file)->path, error);
  return error ? 0 : bytes;
}

std::int64_t PlainFileSystem::GetPosition(FileObject* file) {
  return static_cast<std::int64_t>(AsPlain(file)->stream.tellg());
}

bool PlainFileSystem::FileExists(const char* path) {
  std::error_code error;
  const auto status = std::filesystem::status(PathFromUtf8(path), error);
  return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

bool PlainFileSystem::FolderExists(const char* path) {
  std::error_code error;
  return std::filesystem::is_directory(PathFromUtf8(path), error);
}

bool PlainFileSystem::RemoveFile(const char* path) {
  std::error_code error;
  return std::filesystem::remove(PathFromUtf8(path), error) && !error;
}

// Removes a folder tree entry by entry and gives up at the first entry that
// cannot go. (The library's remove_all retries such an entry for ever when a
// Windows build sees links a POSIX browser left in its profile.)
bool RemoveTree(const std::filesystem::path& folder) {
  std::error_code error;
  std::vector<std::filesystem::path> entries;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    entries.push_back(it->path());
  }
  if (error) return false;
  for (const auto& entry : entries) {
    const bool is_folder = std::filesystem::is_directory(
        std::filesystem::symlink_status(entry, error));
    if (is_folder ? !RemoveTree(entry) : !std::filesystem::remove(entry, error)) return false;
  }
  return std::filesystem::remove(folder, error);
}

bool PlainFileSystem::RemoveFolder(const char* path) { return RemoveTree(PathFromUtf8(path)); }

bool PlainFileSystem::GetModificationTime(const char* path, std::uint64_t* seconds) {
  std::error_code error;
  const auto time = std::filesystem::last_write_time(PathFromUtf8(path), error);
  if (error) return false;
  const auto system = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
      time - std::filesystem::file_time_type::clock::now() + std::chrono::system_clock::now());
  const auto value = std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
  if (value <= 0) return false;
  *seconds = static_cast<std::uint64_t>(value);
  return true;
}

bool PlainFileSystem::MakeFolder(const char* path) {
  std::error_code error;
  std::filesystem::create_directories(PathFromUtf8(path), error);
  if (error) return false;
  std::lock_guard lock(mutex_);
  made_folders_.push_back(path);
  return true;
}

bool PlainFileSystem::GetDocumentsFolder(char* buffer, std::uint32_t size) {
  std::error_code error;
  std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  if (error) return false;
  return CopyToBuffer(Utf8FromPath(folder / ""), buffer, size);
}

bool PlainFileSystem::GetApplicationDataFolder(char*, std::uint32_t) { return false; }

std::vector<std::string> PlainFileSystem::made_folders() const {
  std::lock_guard lock(mutex_);
  return made_folders_;
}

// ---------------------------------------------------------------------------

void RecordingClient::OnLoadState(const LoadStateRecord& record) {
  load_states.push_back({record.state, record.progress, record.url ? record.url : ""});
  if (on_load_state) on_load_state(record);
}

void RecordingClient::OnTitleChanged(const TitleRecord& record) { titles.push_back(record.title); }

void RecordingClient::OnConsoleMessage(const ConsoleMessageRecord& record) {
  console.push_back({record.level, record.text});
}

void RecordingClient::OnViewUpdate(const ViewUpdateRecord& record) {
  update_kinds.push_back(record.kind);
  dirty_lists.emplace_back(record.rects, record.rects + record.count);
}

void RecordingClient::OnScriptDialog(ScriptDialogRecord& record) {
  dialogs.push_back(record.message);
  if (record.kind == kDialogPrompt) record.answer = prompt_answer.c_str();
}

void RecordingClient::OnScriptError(const ScriptErrorRecord& record) {
  script_errors.push_back(record.message);
}

void RecordingClient::OnNewWindowRequest(const NewWindowRecord& record) {
  new_windows.push_back(record.url);
}

void RecordingClient::OnEngineGone(const EngineGoneRecord& record) {
  engine_gone.push_back(record.reason);
}

void RecordingClient::Clear() {
  load_states.clear();
  dirty_lists.clear();
  update_kinds.clear();
  console.clear();
  titles.clear();
  dialogs.clear();
  script_errors.clear();
  new_windows.clear();
  engine_gone.clear();
}

std::vector<std::int32_t> RecordingClient::FinalLoadStates() const {
  std::vector<std::int32_t> states;
  for (const auto& entry : load_states) {
    if (entry.state == kLoadLoaded || entry.state == kLoadFailed) states.push_back(entry.state);
  }
  return states;
}

// ---------------------------------------------------------------------------

HostCallbacks StandardCallbacks() {
  HostCallbacks callbacks{};
  callbacks.current_time = [] {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
  };
  callbacks.current_thread_value = [] {
    static std::atomic<std::uintptr_t> next{1};
    thread_local const std::uintptr_t value = next++;
    return value;
  };
  callbacks.atomic_increment = [](volatile std::int32_t* counter) {
    return __atomic_add_fetch(counter, 1, __ATOMIC_SEQ_CST);
  };
  callbacks.atomic_decrement = [](volatile std::int32_t* counter) {
    return __atomic_sub_fetch(counter, 1, __ATOMIC_SEQ_CST);
  };
  callbacks.random_bytes = [](void* buffer, std::uint32_t size) {
    static std::mutex mutex;
    static std::random_device device;
    std::lock_guard lock(mutex);
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    for (std::uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(device());
    return true;
  };
  return callbacks;
}

LibraryLoader::~LibraryLoader() { Unload(); }

StandaloneHost::StandaloneHost() = default;

StandaloneHost::~StandaloneHost() { Stop(); }

bool StandaloneHost::Start(const std::filesystem::path& library) {
  const std::filesystem::path path = library.empty() ? LibraryFileName() : library;
  if (!loader_.Load(path)) {
    error_ = "cannot load " + path.string() + ": " + loader_.error();
    return false;
  }
  instance_ = loader_.factory_by_ordinal()();
  if (!instance_) {
    error_ = "the factory gave no instance";
    return false;
  }
  for (auto* cache : {&glyphs8_, &glyphs32_}) {
    cache->SetOption(Orv::Text::GlyphCache_Memory::kOptionTextureSize, 1024);
    cache->SetOption(Orv::Text::GlyphCache_Memory::kOptionDepth, cache->TexelDepth());
    cache->Init(2, 1);
  }
  InitRecord init{&allocator_, &file_system_, &glyphs8_, &fonts_, &client_, &glyphs32_, nullptr};
  if (!instance_->Initialize(StandardCallbacks(), init)) {
    error_ = "Initialize failed";
    return false;
  }
  initialized_ = true;
  Settings* settings = instance_->GetSettings();
  settings->user_agent = "Velmora_UserAgent";
  settings->accept_language = "en-US, en;q=0.5";
  settings->max_call_message_bytes = 262144;
  CookieSettings cookies{4096, 32768, 256, "appData:\\webCookies"};
  CacheSettings caches{67108864, 0, 2097152};
  ScriptSettings scripts{268435456, 2048, 24, 1024, 0};
  if (!instance_->ApplySettings(*settings, cookies, caches, scripts)) {
    error_ = "ApplySettings failed";
    return false;
  }
  ViewRecord record{nullptr, 0, 0, 800, 600, 0xFFFFFFFFu, 512, 1, 1, 1};
  view_ = instance_->CreateView(record);
  if (!view_) {
    error_ = "CreateView failed";
    return false;
  }
  arguments_ = instance_->CreateScriptValueArray(view_, 20);
  return true;
}

void StandaloneHost::Stop() {
  if (instance_) {
    if (arguments_) instance_->ReleaseScriptValueArray(arguments_);
    arguments_ = nullptr;
    if (view_) {
      view_->Shutdown();
      instance_->DestroyView(view_);
      view_ = nullptr;
    }
    if (initialized_) instance_->Shutdown();
    initialized_ = false;
    instance_ = nullptr;
  }
  loader_.Unload();
  glyphs8_.Shutdown();
  glyphs32_.Shutdown();
}

bool StandaloneHost::PumpUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (view_) view_->Tick();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void StandaloneHost::Pump(std::chrono::milliseconds duration) {
  PumpUntil([] { return false; }, duration);
}

std::int32_t StandaloneHost::LoadAndWait(const std::string& url, std::chrono::milliseconds timeout) {
  const std::size_t before = client_.FinalLoadStates().size();
  view_->LoadUrl(url.c_str());
  std::int32_t state = 0;
  PumpUntil(
      [&] {
        const auto states = client_.FinalLoadStates();
        if (states.size() > before) state = states[before];
        return state != 0;
      },
      timeout);
  return state;
}

std::string StandaloneHost::FileUrl(const std::filesystem::path& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text = Utf8FromPath(std::filesystem::absolute(path));
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  std::string url = "file://";
  if (text.empty() || text[0] != '/') url += '/';
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
        std::strchr("$-_.+!*(),/", c)) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return url;
}

std::vector<std::uint8_t> StandaloneHost::CopySurface() {
  std::vector<std::uint8_t> copy;
  std::uint8_t* pixels = nullptr;
  std::int32_t stride = 0;
  const Rect all{0, 0, view_->Width(), view_->Height()};
  if (!view_->LockSurface(all, &pixels, &stride)) return copy;
  copy.resize(static_cast<std::size_t>(all.width) * all.height * 4);
  for (std::int32_t y = 0; y < all.height; ++y) {
    std::memcpy(copy.data() + static_cast<std::size_t>(y) * all.width * 4,
                pixels + static_cast<std::ptrdiff_t>(y) * stride,
                static_cast<std::size_t>(all.width) * 4);
  }
  view_->UnlockSurface();
  return copy;
}

std::uint32_t StandaloneHost::PixelAt(std::int32_t x, std::int32_t y) {
  std::uint8_t* pixels = nullptr;
  std::int32_t stride = 0;
  if (!view_->LockSurface(Rect{x, y, 1, 1}, &pixels, &stride)) return 0xFFFFFFFFu;
  const std::uint8_t* pixel = pixels + static_cast<std::ptrdiff_t>(y) * stride + x * 4;
  const std::uint32_t value = (std::uint32_t{pixel[2]} << 16) | (pixel[1] << 8) | pixel[0];
  view_->UnlockSurface();
  return value;
}

}  // namespace velmora::orvwebkit::hostkit
