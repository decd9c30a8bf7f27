// Whether a file on disk is the file a manifest describes: its size and its
// MD5 digest must both match. The install comparison calls this for every
// installed file the manifest lists, the download session for every file it
// has just written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "patcher/md5.h"

namespace velmora::patcher {

// Files are hashed in pieces of this size: a large game file takes few reads.
inline constexpr std::size_t kValidationChunkBytes = 8 * 1024 * 1024;

// The hash text of a digest: "0x" and 32 lower-case hexadecimal digits, high
// half of each byte first, bytes in digest order.
std::string FormatDigest(const Md5Digest& digest);

// Checks the file at `path` against `expected_size` (compared with the low 32
// bits of the file's 64-bit size) and then, only when the sizes agree,
// against `expected_hash_text` (compared with the computed hash text without
// regard to ASCII case, so a text without "0x" never matches).
//
// Returns true when the check could be made; `*match` then holds the answer.
// Returns false, leaving `*match` as it was, when an argument is missing or
// empty, the file cannot be opened (missing, held exclusively by another
// process) or a read fails. Every outcome logs its "File Validation: " lines.
//
// The 8 MiB read buffer comes from the heap, so the call suits any thread's
// stack.
[[nodiscard]] bool ValidateFile(std::u16string_view path, std::string_view expected_hash_text,
                                std::uint32_t expected_size, bool* match);

// Reads a whole file in kValidationChunkBytes pieces and gives its digest and
// 64-bit size. `on_bytes` (may be empty) hears of every piece read, for a
// progress display. False (with the OS error in `error`, which may be null)
// when it cannot be opened or read. Logs nothing: for tools.
[[nodiscard]] bool DigestFile(std::u16string_view path, Md5Digest* digest, std::uint64_t* size,
                              std::string* error,
                              const std::function<void(std::size_t)>& on_bytes = {});

}  // namespace velmora::patcher
