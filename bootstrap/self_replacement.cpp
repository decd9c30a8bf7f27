#include "bootstrap/self_replacement.h"

#include "bootstrap/bootstrap.h"

namespace velmora {

// The folder swap is not part of this build yet. Both steps report the
// self-update failure message and fail, so that a staged update is never
// taken for done and the exit code tells the caller.
bool PerformSelfPatch(const std::u16string&, std::int32_t string_id_base) {
  ShowBootstrapMessage(string_id_base, 6);
  return false;
}

bool StartSelfUpdateHandOver(std::int32_t string_id_base) {
  ShowBootstrapMessage(string_id_base, 6);
  return false;
}

}  // namespace velmora
