#include "foundation/os/registry.h"

#include "foundation/os/common/object_names.h"
#include "foundation/os/environment.h"
#include "foundation/os/win32/win_util.h"

namespace velmora::os {
namespace {

const char* HiveName(RegistryHive hive) {
  switch (hive) {
    case RegistryHive::kClassesRoot: return "HKEY_CLASSES_ROOT";
    case RegistryHive::kCurrentUser: return "HKEY_CURRENT_USER";
    case RegistryHive::kLocalMachine: return "HKEY_LOCAL_MACHINE";
    case RegistryHive::kUsers: return "HKEY_USERS";
    case RegistryHive::kCurrentConfig: return "HKEY_CURRENT_CONFIG";
  }
  return "";
}

HKEY HiveKey(RegistryHive hive) {
  switch (hive) {
    case RegistryHive::kClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryHive::kCurrentUser: return HKEY_CURRENT_USER;
    case RegistryHive::kLocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryHive::kUsers: return HKEY_USERS;
    case RegistryHive::kCurrentConfig: return HKEY_CURRENT_CONFIG;
  }
  return nullptr;
}

// Tests redirect every hive into a throw-away key under the current user,
// named after VELMORA_REGISTRY_DIR, so that they never touch the real
// product key and runs side by side never meet.
void Resolve(RegistryHive hive, const std::string& key_path, HKEY* root, std::wstring* key) {
  if (auto dir = GetEnvironmentValue("VELMORA_REGISTRY_DIR"); dir && !dir->empty()) {
    char prefix[64];
    snprintf(prefix, sizeof prefix, "Software\\VelmoraTestRegistry\\%08X\\",
             internal::HashObjectName(*dir));
    *root = HKEY_CURRENT_USER;
    *key = win::Wide(std::string(prefix) + HiveName(hive) + "\\" + key_path);
    return;
  }
  *root = HiveKey(hive);
  *key = win::Wide(key_path);
}

}  // namespace

bool ReadRegistryValue(RegistryHive hive, const std::string& key_path,
                       const std::string& value_name, RegistryValue* value) {
  HKEY root;
  std::wstring key;
  Resolve(hive, key_path, &root, &key);
  HKEY handle;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return false;
  const std::wstring name = win::Wide(value_name);
  DWORD type = 0, size = 0;
  bool ok = RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
  if (ok && value) {
    value->kind = RegistryValueKind::kOther;
    if (type == REG_SZ) {
      std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
      DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
      ok = RegQueryValueExW(handle, name.c_str(), nullptr, &type,
                            reinterpret_cast<BYTE*>(buffer.data()), &bytes) == ERROR_SUCCESS;
      if (ok) {
        buffer.resize(bytes / sizeof(wchar_t));
        while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
        value->kind = RegistryValueKind::kText;
        value->text = win::Utf8(buffer.c_str());
      }
    } else if (type == REG_DWORD) {
      DWORD number = 0, bytes = sizeof number;
      ok = RegQueryValueExW(handle, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&number),
                            &bytes) == ERROR_SUCCESS;
      if (ok) {
        value->kind = RegistryValueKind::kNumber;
        value->number = number;
      }
    }
  }
  RegCloseKey(handle);
  return ok;
}

namespace {

bool OpenForWriting(RegistryHive hive, const std::string& key_path, HKEY* handle) {
  HKEY root;
  std::wstring key;
  Resolve(hive, key_path, &root, &key);
  return RegCreateKeyExW(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                         nullptr, handle, nullptr) == ERROR_SUCCESS;
}

}  // namespace

bool WriteRegistryText(RegistryHive hive, const std::string& key_path,
                       const std::string& value_name, const std::string& text) {
  HKEY handle;
  if (!OpenForWriting(hive, key_path, &handle)) return false;
  const std::wstring wide = win::Wide(text);
  // The stored size includes the terminating NUL.
  const bool ok = RegSetValueExW(handle, win::Wide(value_name).c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(wide.c_str()),
                                 static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) ==
                  ERROR_SUCCESS;
  RegCloseKey(handle);
  return ok;
}

bool WriteRegistryNumber(RegistryHive hive, const std::string& key_path,
                         const std::string& value_name, std::uint32_t number) {
  HKEY handle;
  if (!OpenForWriting(hive, key_path, &handle)) return false;
  const DWORD value = number;
  const bool ok = RegSetValueExW(handle, win::Wide(value_name).c_str(), 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&value), sizeof value) ==
                  ERROR_SUCCESS;
  RegCloseKey(handle);
  return ok;
}

bool DeleteRegistryValue(RegistryHive hive, const std::string& key_path,
                         const std::string& value_name) {
  HKEY root;
  std::wstring key;
  Resolve(hive, key_path, &root, &key);
  HKEY handle;
  const LONG open = RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE, &handle);
  if (open == ERROR_FILE_NOT_FOUND) return true;
  if (open != ERROR_SUCCESS) return false;
  const LONG result = RegDeleteValueW(handle, win::Wide(value_name).c_str());
  RegCloseKey(handle);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

}  // namespace velmora::os
