#include "orvwebkit/src/key_map.h"

#include <gtest/gtest.h>

namespace velmora::orvwebkit {
namespace {

TEST(KeyMapTest, VirtualKeysGetTheBrowsersNames) {
  const struct {
    std::uint32_t virtual_key;
    bool shift;
    const char* key;
    const char* code;
    int location;
  } cases[] = {
      {'A', false, "a", "KeyA", 0},         {'Z', true, "Z", "KeyZ", 0},
      {'7', false, "7", "Digit7", 0},       {0x0D, false, "Enter", "Enter", 0},
      {0x08, false, "Backspace", "Backspace", 0}, {0x25, false, "ArrowLeft", "ArrowLeft", 0},
      {0x10, true, "Shift", "ShiftLeft", 1},  {0x63, false, "3", "Numpad3", 3},
      {0x74, false, "F5", "F5", 0},         {0x87, false, "F24", "F24", 0},
      {0xBE, false, ".", "Period", 0},      {0x2E, false, "Delete", "Delete", 0},
  };
  for (const auto& c : cases) {
    const KeyNames names = NamesForVirtualKey(c.virtual_key, c.shift);
    EXPECT_EQ(names.key, c.key) << c.virtual_key;
    EXPECT_EQ(names.code, c.code) << c.virtual_key;
    EXPECT_EQ(names.location, c.location) << c.virtual_key;
  }
}

TEST(KeyMapTest, UnknownKeysHaveNoNames) {
  for (std::uint32_t unknown : {0x00u, 0x07u, 0xFFu, 0x1234u}) {
    const KeyNames names = NamesForVirtualKey(unknown, false);
    EXPECT_TRUE(names.key.empty()) << unknown;
    EXPECT_TRUE(names.code.empty()) << unknown;
  }
}

}  // namespace
}  // namespace velmora::orvwebkit
