// One fuzzer input for the manifest reader: reads the bytes as a manifest
// (without a filter and with both filters of a patch run), walks them with
// the generic BlockReader operations the telemetry rules use, and checks the
// reader's promises on the way. Shared by the libFuzzer target and by the
// test that replays the corpus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora::patcher {

// Returns an empty text when every promise held, else what was broken.
std::string ExerciseManifestReader(const std::uint8_t* data, std::size_t size);

}  // namespace velmora::patcher
