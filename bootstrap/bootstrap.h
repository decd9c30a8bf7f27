// The bootstrap program: picks the interface language, acts on the hand-over
// options of a self-update, loads the core library and runs it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// The hand-over values read from the command line.
struct BootstrapOptions {
  std::uint32_t handle = 0;  // process to wait on; 0 when absent
  bool has_delete_path = false;
  std::u16string delete_path;
  bool self_patch = false;
  std::u16string self_patch_folder;
};

// Examines every element, the program name included. Each is tested for
// "-handle:", "-selfpatch:" and "-del:" in that order (case-sensitive); the
// first prefix that matches decides, and a later element overrides an earlier
// one of the same kind. A handle is taken only if its text reads as one
// hexadecimal number that fits 32 bits.
BootstrapOptions ParseBootstrapOptions(const std::vector<std::u16string>& arguments);

// Reads a "%X" value: optional blanks, an optional 0x, then hex digits up to
// the first other character. False when no digit reads or the value does not
// fit 32 bits.
bool ParseHexHandle(const std::u16string& text, std::uint32_t* value);

// Deletes the file the previous generation left behind: at most 5 attempts
// 250 ms apart, stopping when the path is gone or is a folder; a file that
// stays is registered for deletion at restart.
void DeleteHandOverFile(const std::u16string& path);

// Shows message n of the bootstrap's string table (caption: text 1) as an
// error box without owner.
void ShowBootstrapMessage(std::int32_t string_id_base, int n);

// The whole program: returns the process exit code (0 success, 1 failure).
int BootstrapMain(void* instance, char* command_line, int show_command);

}  // namespace velmora
