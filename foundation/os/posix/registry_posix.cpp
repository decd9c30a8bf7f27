// The file-backed registry store. Each hive is one text file of records
//   <key path> TAB <value name> TAB <T|N> TAB <escaped value> LF
// guarded by a lock file beside it. Readers take a shared lock, writers an
// exclusive one and replace the file by rename, so a reader never sees half a
// write and a crash mid-write leaves the old file in place.
#include "foundation/os/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/os/environment.h"
#include "foundation/text/utf.h"

namespace velmora::os {
namespace {

namespace fs = std::filesystem;

const char* HiveFileName(RegistryHive hive) {
  switch (hive) {
    case RegistryHive::kClassesRoot: return "HKEY_CLASSES_ROOT.reg";
    case RegistryHive::kCurrentUser: return "HKEY_CURRENT_USER.reg";
    case RegistryHive::kLocalMachine: return "HKEY_LOCAL_MACHINE.reg";
    case RegistryHive::kUsers: return "HKEY_USERS.reg";
    case RegistryHive::kCurrentConfig: return "HKEY_CURRENT_CONFIG.reg";
  }
  return "unknown.reg";
}

fs::path HiveFolder(RegistryHive hive) {
  if (auto dir = GetEnvironmentValue("VELMORA_REGISTRY_DIR"); dir && !dir->empty()) return *dir;
  if (hive == RegistryHive::kCurrentUser) {
    if (auto config = GetEnvironmentValue("XDG_CONFIG_HOME"); config && !config->empty())
      return fs::path(*config) / "VelmoraRegistry";
    if (auto home = GetEnvironmentValue("HOME"); home && !home->empty())
      return fs::path(*home) / ".config" / "VelmoraRegistry";
  }
  return "/var/lib/velmora/registry";
}

struct Record {
  std::string key;
  std::string name;
  RegistryValueKind kind;
  std::string text;
  std::uint32_t number = 0;
};

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[++i];
      out.push_back(next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next);
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const auto tab = line.find('\t', start);
    parts.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return parts;
}

std::vector<Record> ParseHive(const fs::path& file) {
  std::vector<Record> records;
  std::ifstream in(file, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const auto parts = SplitTabs(line);
    if (parts.size() != 4) continue;  // a damaged line is skipped, not fatal
    Record record{Unescape(parts[0]), Unescape(parts[1]), RegistryValueKind::kOther, {}, 0};
    if (parts[2] == "T") {
      record.kind = RegistryValueKind::kText;
      record.text = Unescape(parts[3]);
    } else if (parts[2] == "N") {
      record.kind = RegistryValueKind::kNumber;
      record.number = static_cast<std::uint32_t>(std::strtoul(parts[3].c_str(), nullptr, 10));
    } else {
      continue;
    }
    records.push_back(std::move(record));
  }
  return records;
}

// Holds the hive's lock file for the lifetime of the object.
class HiveLock {
 public:
  HiveLock(const fs::path& folder, RegistryHive hive, bool exclusive) {
    std::error_code ec;
    if (exclusive) fs::create_directories(folder, ec);
    const fs::path lock_path = folder / (std::string(HiveFileName(hive)) + ".lock");
    fd_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0 && !exclusive) fd_ = ::open(lock_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0 && ::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~HiveLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool SameKey(const Record& record, const std::string& key, const std::string& name) {
  return EqualsIgnoreAsciiCase(record.key, key) && EqualsIgnoreAsciiCase(record.name, name);
}

bool StoreValue(RegistryHive hive, const std::string& key, const std::string& name,
                const Record* value /* null removes */) {
  const fs::path folder = HiveFolder(hive);
  HiveLock lock(folder, hive, /*exclusive=*/true);
  if (!lock.ok()) return false;
  const fs::path file = folder / HiveFileName(hive);
  std::vector<Record> records = ParseHive(file);
  bool replaced = false;
  for (auto it = records.begin(); it != records.end();) {
    if (SameKey(*it, key, name)) {
      if (value && !replaced) {
        *it = *value;
        replaced = true;
        ++it;
      } else {
        it = records.erase(it);
      }
    } else {
      ++it;
    }
  }
  if (value && !replaced) records.push_back(*value);

  const fs::path temp = folder / (std::string(HiveFileName(hive)) + ".tmp");
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    for (const auto& r : records) {
      out << Escape(r.key) << '\t' << Escape(r.name) << '\t'
          << (r.kind == RegistryValueKind::kText ? "T" : "N") << '\t'
          << (r.kind == RegistryValueKind::kText ? Escape(r.text) : std::to_string(r.number))
          << '\n';
    }
    out.flush();
    if (!out) return false;
  }
  std::error_code ec;
  fs::rename(temp, file, ec);
  return !ec;
}

bool ValidNames(const std::string& key, const std::string& name) {
  // The store uses tabs and line feeds as separators; they are escaped, but a
  // NUL would cut the name, so refuse it like the system registry would.
  return key.find('\0') == std::string::npos && name.find('\0') == std::string::npos;
}

}  // namespace

bool ReadRegistryValue(RegistryHive hive, const std::string& key_path,
                       const std::string& value_name, RegistryValue* value) {
  if (!ValidNames(key_path, value_name)) return false;
  const fs::path folder = HiveFolder(hive);
  const fs::path file = folder / HiveFileName(hive);
  std::error_code ec;
  if (!fs::exists(file, ec)) return false;
  HiveLock lock(folder, hive, /*exclusive=*/false);
  for (const auto& record : ParseHive(file)) {
    if (!SameKey(record, key_path, value_name)) continue;
    if (value) {
      value->kind = record.kind;
      value->text = record.text;
      value->number = record.number;
    }
    return true;
  }
  return false;
}

bool WriteRegistryText(RegistryHive hive, const std::string& key_path,
                       const std::string& value_name, const std::string& text) {
  if (!ValidNames(key_path, value_name)) return false;
  Record record{key_path, value_name, RegistryValueKind::kText, text, 0};
  return StoreValue(hive, key_path, value_name, &record);
}

bool WriteRegistryNumber(RegistryHive hive, const std::string& key_path,
                         const std::string& value_name, std::uint32_t number) {
  if (!ValidNames(key_path, value_name)) return false;
  Record record{key_path, value_name, RegistryValueKind::kNumber, {}, number};
  return StoreValue(hive, key_path, value_name, &record);
}

bool DeleteRegistryValue(RegistryHive hive, const std::string& key_path,
                         const std::string& value_name) {
  if (!ValidNames(key_path, value_name)) return false;
  if (!ReadRegistryValue(hive, key_path, value_name, nullptr)) return true;
  return StoreValue(hive, key_path, value_name, nullptr);
}

}  // namespace velmora::os
