// RegistryPath: registry values named by one full path text, such as
// "HKEY_CURRENT_USER\Software\Corvane\Velmora\Locale", and
// InstallRegistryRoot, which picks the hive of the product key.
//
// A full path is the root name (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
// HKEY_LOCAL_MACHINE, HKEY_USERS or HKEY_CURRENT_CONFIG, any case), "\", the
// key path, "\", the value name. The text after the root's "\" is limited to
// 1023 characters, the key path to 1023 and the value name to 511; longer
// parts fail instead of being cut, so a value is never read from or written
// to a key it was not named by. Nothing here logs: every failure is false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora {

// True if the key opens for reading and holds the value (any kind).
[[nodiscard]] bool RegistryValueExists(const std::string& path);

// A text value is copied unchanged; a 32-bit number value is written as
// unsigned decimal. `buffer_bytes` is the caller's buffer size including the
// terminator: a longer result fails.
[[nodiscard]] bool ReadRegistryText(const std::string& path, std::string* text,
                                    std::size_t buffer_bytes);
// The wide form, used for the "Locale" value: a buffer of 128 bytes, that is
// 64 UTF-16 units including the terminator.
[[nodiscard]] bool ReadRegistryTextWide(const std::u16string& path, std::u16string* text);
// The value must be a 32-bit number.
[[nodiscard]] bool ReadRegistryNumber(const std::string& path, std::uint32_t* number);
// Create the key and any missing keys above it, then store the value.
[[nodiscard]] bool WriteRegistryText(const std::string& path, const std::string& text);
[[nodiscard]] bool WriteRegistryNumber(const std::string& path, std::uint32_t number);

// Picks one of the two full forms of the same value: the current-user form if
// "HKEY_CURRENT_USER\SOFTWARE\Corvane\Velmora\InstallDir" exists, else the
// machine form if "HKEY_LOCAL_MACHINE\SOFTWARE\Corvane\Velmora\InstallDir"
// exists, else the current-user form. Evaluated anew at every call.
const std::string& InstallRegistryRoot(const std::string& current_user_path,
                                       const std::string& local_machine_path);
const std::u16string& InstallRegistryRoot(const std::u16string& current_user_path,
                                          const std::u16string& local_machine_path);

// The full path of a value under the product key in the chosen hive, for
// example ProductValuePath("Manifest\\env").
std::string ProductValuePath(const std::string& value_under_product_key);

}  // namespace velmora
