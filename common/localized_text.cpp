#include "common/localized_text.h"

#include "common/locale_table.h"
#include "foundation/os/string_resource.h"

namespace velmora {
namespace {

constexpr int kBufferUnits = 1024;
int g_base = 0;  // 0: not computed yet; set on the main thread at start-up

}  // namespace

int LocalizedTextBase() {
  if (g_base == 0) g_base = ComputeStringIdBase();
  return g_base;
}

bool LoadLocalizedText(int n, std::u16string* text) {
  // The address of this function names the module whose resources are read.
  const void* self = reinterpret_cast<const void*>(&LoadLocalizedText);
  return os::LoadStringResource(self, static_cast<std::uint32_t>(LocalizedTextBase() + n), text,
                                kBufferUnits);
}

void ResetLocalizedTextForTesting() { g_base = 0; }

}  // namespace velmora
