// The core library's localized texts: text n is the string resource
// base + n, where the base is the interface language's StringIdBase.
#pragma once

#include <string>

namespace velmora {

// Fills `text` with text n (at most 1023 units) and returns true, or returns
// false when the language has no such text (only base 100, English, ships).
// The base and the module are found once per process, on first use.
[[nodiscard]] bool LoadLocalizedText(int n, std::u16string* text);

// The base in use (for logs and tests).
int LocalizedTextBase();

// Forgets the cached base so that the next call computes it again (tests).
void ResetLocalizedTextForTesting();

}  // namespace velmora
