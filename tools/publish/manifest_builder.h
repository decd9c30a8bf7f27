// Writes the manifest of a build folder in the form the launcher reads.
#pragma once

#include <filesystem>
#include <string>

namespace velmora::publish {

struct ImageDescription {
  std::string name, type, created, build;  // at most 31 bytes each, no '"'
};

// Lists every file under `folder` that the launcher's comparison would look
// at (the folders support, patches, server, userdata and launcherupdate are
// not entered, ".log" files and links to folders are left out), hashes each,
// and
// writes the manifest to `output`: Version "1.00", one File per file sorted
// by name, names relative to `folder` with "\", the version resource of
// ".dll" and ".exe" files, "0x" and 32 lower-case digits, the size (its low
// 32 bits) and Count "0".
//
// Fails, writing nothing, when a name could not be read back by the launcher
// (too long, unsafe, or sharing its name hash with another file), a file
// cannot be read, or `output` lies inside `folder`. Messages go to standard
// error; a progress bar is drawn there for large folders on a terminal.
// Returns the process exit code: 0 on success, 2 on failure.
int BuildManifest(const std::filesystem::path& folder, const ImageDescription& image,
                  const std::filesystem::path& output);

}  // namespace velmora::publish
