// Windows virtual-key codes in the names the browser's key events carry.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::orvwebkit {

struct KeyNames {
  std::string key;   // the DOM key value ("Enter", "a", "ArrowLeft"); empty when unknown
  std::string code;  // the DOM code value ("Enter", "KeyA"); empty when unknown
  int location = 0;  // 0 standard, 1 left, 3 numeric keypad
};

// `shift` picks the shifted key value for letters.
KeyNames NamesForVirtualKey(std::uint32_t virtual_key, bool shift);

}  // namespace velmora::orvwebkit
