// The three-generation folder swap of a launcher self-update, as the
// bootstrap program calls it.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// The self-patch step of a later generation ("-selfpatch:<install folder>").
// Returns true when it succeeded.
bool PerformSelfPatch(const std::u16string& install_folder, std::int32_t string_id_base);

// The hand-over after Run returned 2: starts the temporary copy. Returns true
// when the copy was started.
bool StartSelfUpdateHandOver(std::int32_t string_id_base);

}  // namespace velmora
