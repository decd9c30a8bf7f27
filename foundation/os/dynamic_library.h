// Loading shared libraries at run time.
#pragma once

#include <filesystem>
#include <string>

namespace velmora::os {

using LibraryHandle = void*;

// Loads a library by file name or path. Windows: LoadLibraryW (the standard
// search, the program's own folder first). POSIX: dlopen; a bare file name is
// looked for beside the executable first, as on Windows.
LibraryHandle LoadDynamicLibrary(const std::filesystem::path& name_or_path);
// Resolves an export by name (nullptr when missing).
void* GetLibrarySymbol(LibraryHandle library, const char* name);
// Resolves an export by ordinal. Windows only; POSIX resolves `fallback_name`.
void* GetLibrarySymbolByOrdinal(LibraryHandle library, unsigned ordinal,
                                const char* fallback_name);
void FreeDynamicLibrary(LibraryHandle library);
// The platform file name of a shared library: "Vostrel" gives "Vostrel.dll"
// on Windows and "libVostrel.so" on POSIX.
std::filesystem::path SharedLibraryFileName(const std::string& base_name);
// The last loader error as text, for logs.
std::string GetLastLibraryError();

}  // namespace velmora::os
