// Registry values, reached by hive, key path and value name.
//
// Windows: the system registry, in the view the process gets by default.
// POSIX: a file-backed store with one file per hive. Key paths and value names
// are compared without regard to case; writes are atomic (temporary file and
// rename) and serialised across processes with a file lock. The current-user
// hive lives under $XDG_CONFIG_HOME/VelmoraRegistry (default
// ~/.config/VelmoraRegistry), the other hives under /var/lib/velmora/registry.
// The environment variable VELMORA_REGISTRY_DIR moves the whole store: every
// hive is then one file in that folder (tests and side-by-side installs).
#pragma once

#include <cstdint>
#include <string>

namespace velmora::os {

enum class RegistryHive { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kCurrentConfig };

enum class RegistryValueKind { kText, kNumber, kOther };

struct RegistryValue {
  RegistryValueKind kind = RegistryValueKind::kOther;
  std::string text;      // UTF-8, for kText
  std::uint32_t number = 0;  // for kNumber
};

// Reads one value. `key_path` uses "\" between keys. Returns false when the
// key or the value does not exist or cannot be read. Values of other kinds
// than text and 32-bit number are returned with kind kOther.
[[nodiscard]] bool ReadRegistryValue(RegistryHive hive, const std::string& key_path,
                                     const std::string& value_name, RegistryValue* value);

// Creates the key and every missing key above it, then stores the value.
[[nodiscard]] bool WriteRegistryText(RegistryHive hive, const std::string& key_path,
                                     const std::string& value_name, const std::string& text);
[[nodiscard]] bool WriteRegistryNumber(RegistryHive hive, const std::string& key_path,
                                       const std::string& value_name, std::uint32_t number);

// Removes one value; true when it is gone afterwards (also when it never was).
[[nodiscard]] bool DeleteRegistryValue(RegistryHive hive, const std::string& key_path,
                                       const std::string& value_name);

}  // namespace velmora::os
