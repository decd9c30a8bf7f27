#include "common/registry_path.h"

#include <string_view>

#include "foundation/os/registry.h"
#include "foundation/text/utf.h"

namespace velmora {
namespace {

constexpr std::size_t kMaxRemainder = 1023;
constexpr std::size_t kMaxKeyPath = 1023;
constexpr std::size_t kMaxValueName = 511;

struct SplitPath {
  os::RegistryHive hive;
  std::string key;
  std::string name;
};

bool SplitFullPath(const std::string& path, SplitPath* split) {
  const auto first = path.find('\\');
  if (first == std::string::npos) return false;
  const std::string_view root(path.data(), first);
  static const struct {
    const char* name;
    os::RegistryHive hive;
  } kRoots[] = {
      {"HKEY_CLASSES_ROOT", os::RegistryHive::kClassesRoot},
      {"HKEY_CURRENT_USER", os::RegistryHive::kCurrentUser},
      {"HKEY_LOCAL_MACHINE", os::RegistryHive::kLocalMachine},
      {"HKEY_USERS", os::RegistryHive::kUsers},
      {"HKEY_CURRENT_CONFIG", os::RegistryHive::kCurrentConfig},
  };
  bool found = false;
  for (const auto& r : kRoots) {
    if (EqualsIgnoreAsciiCase(root, r.name)) {
      split->hive = r.hive;
      found = true;
      break;
    }
  }
  if (!found) return false;
  const std::string remainder = path.substr(first + 1);
  // Longer parts fail rather than being cut: a cut name would address a
  // different value than the caller named.
  if (remainder.size() > kMaxRemainder) return false;
  const auto last = remainder.rfind('\\');
  if (last == std::string::npos) return false;
  split->key = remainder.substr(0, last);
  split->name = remainder.substr(last + 1);
  return split->key.size() <= kMaxKeyPath && split->name.size() <= kMaxValueName;
}

bool ReadValue(const std::string& path, os::RegistryValue* value) {
  SplitPath split;
  if (!SplitFullPath(path, &split)) return false;
  return os::ReadRegistryValue(split.hive, split.key, split.name, value);
}

constexpr const char* kCurrentUserInstallDir = "HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Velmora\\InstallDir";
constexpr const char* kLocalMachineInstallDir = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Velmora\\InstallDir";

// 0: current user, 1: local machine.
int ChooseHive() {
  if (RegistryValueExists(kCurrentUserInstallDir)) return 0;
  if (RegistryValueExists(kLocalMachineInstallDir)) return 1;
  return 0;
}

}  // namespace

bool RegistryValueExists(const std::string& path) {
  os::RegistryValue value;
  return ReadValue(path, &value);
}

bool ReadRegistryText(const std::string& path, std::string* text, std::size_t buffer_bytes) {
  os::RegistryValue value;
  if (!ReadValue(path, &value)) return false;
  std::string result;
  if (value.kind == os::RegistryValueKind::kText)
    result = value.text;
  else if (value.kind == os::RegistryValueKind::kNumber)
    result = std::to_string(value.number);
  else
    return false;
  if (result.size() + 1 > buffer_bytes) return false;
  *text = result;
  return true;
}

bool ReadRegistryTextWide(const std::u16string& path, std::u16string* text) {
  constexpr std::size_t kBufferUnits = 128 / sizeof(char16_t);
  os::RegistryValue value;
  if (!ReadValue(Utf16ToUtf8(path), &value)) return false;
  std::u16string result;
  if (value.kind == os::RegistryValueKind::kText)
    result = Utf8ToUtf16(value.text);
  else if (value.kind == os::RegistryValueKind::kNumber)
    result = Utf8ToUtf16(std::to_string(value.number));
  else
    return false;
  if (result.size() + 1 > kBufferUnits) return false;
  *text = result;
  return true;
}

bool ReadRegistryNumber(const std::string& path, std::uint32_t* number) {
  os::RegistryValue value;
  if (!ReadValue(path, &value) || value.kind != os::RegistryValueKind::kNumber) return false;
  *number = value.number;
  return true;
}

bool WriteRegistryText(const std::string& path, const std::string& text) {
  SplitPath split;
  if (!SplitFullPath(path, &split)) return false;
  return os::WriteRegistryText(split.hive, split.key, split.name, text);
}

bool WriteRegistryNumber(const std::string& path, std::uint32_t number) {
  SplitPath split;
  if (!SplitFullPath(path, &split)) return false;
  return os::WriteRegistryNumber(split.hive, split.key, split.name, number);
}

const std::string& InstallRegistryRoot(const std::string& current_user_path,
                                       const std::string& local_machine_path) {
  return ChooseHive() == 1 ? local_machine_path : current_user_path;
}

const std::u16string& InstallRegistryRoot(const std::u16string& current_user_path,
                                          const std::u16string& local_machine_path) {
  return ChooseHive() == 1 ? local_machine_path : current_user_path;
}

std::string ProductValuePath(const std::string& value_under_product_key) {
  const std::string current_user =
      "HKEY_CURRENT_USER\\Software\\Corvane\\Velmora\\" + value_under_product_key;
  const std::string local_machine =
      "HKEY_LOCAL_MACHINE\\Software\\Corvane\\Velmora\\" + value_under_product_key;
  return InstallRegistryRoot(current_user, local_machine);
}

}  // namespace velmora
