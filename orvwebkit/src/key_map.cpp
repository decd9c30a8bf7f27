#include "orvwebkit/src/key_map.h"

namespace velmora::orvwebkit {
namespace {

struct Entry {
  std::uint32_t virtual_key;
  const char* key;
  const char* code;
  int location;
};

constexpr Entry kKeys[] = {
    {0x08, "Backspace", "Backspace", 0},   {0x09, "Tab", "Tab", 0},
    {0x0D, "Enter", "Enter", 0},           {0x10, "Shift", "ShiftLeft", 1},
    {0x11, "Control", "ControlLeft", 1},   {0x12, "Alt", "AltLeft", 1},
    {0x13, "Pause", "Pause", 0},           {0x14, "CapsLock", "CapsLock", 0},
    {0x1B, "Escape", "Escape", 0},         {0x20, " ", "Space", 0},
    {0x21, "PageUp", "PageUp", 0},         {0x22, "PageDown", "PageDown", 0},
    {0x23, "End", "End", 0},               {0x24, "Home", "Home", 0},
    {0x25, "ArrowLeft", "ArrowLeft", 0},   {0x26, "ArrowUp", "ArrowUp", 0},
    {0x27, "ArrowRight", "ArrowRight", 0}, {0x28, "ArrowDown", "ArrowDown", 0},
    {0x2D, "Insert", "Insert", 0},         {0x2E, "Delete", "Delete", 0},
    {0x5B, "Meta", "MetaLeft", 1},         {0x5C, "Meta", "MetaRight", 2},
    {0x5D, "ContextMenu", "ContextMenu", 0},
    {0x6A, "*", "NumpadMultiply", 3},      {0x6B, "+", "NumpadAdd", 3},
    {0x6D, "-", "NumpadSubtract", 3},      {0x6E, ".", "NumpadDecimal", 3},
    {0x6F, "/", "NumpadDivide", 3},        {0x90, "NumLock", "NumLock", 0},
    {0x91, "ScrollLock", "ScrollLock", 0}, {0xBA, ";", "Semicolon", 0},
    {0xBB, "=", "Equal", 0},               {0xBC, ",", "Comma", 0},
    {0xBD, "-", "Minus", 0},               {0xBE, ".", "Period", 0},
    {0xBF, "/", "Slash", 0},               {0xC0, "`", "Backquote", 0},
    {0xDB, "[", "BracketLeft", 0},         {0xDC, "\\", "Backslash", 0},
    {0xDD, "]", "BracketRight", 0},        {0xDE, "'", "Quote", 0},
};

}  // namespace

KeyNames NamesForVirtualKey(std::uint32_t virtual_key, bool shift) {
  KeyNames names;
  if (virtual_key >= 'A' && virtual_key <= 'Z') {
    const char letter = static_cast<char>(virtual_key);
    names.key = std::string(1, shift ? letter : static_cast<char>(letter - 'A' + 'a'));
    names.code = std::string("Key") + letter;
  } else if (virtual_key >= '0' && virtual_key <= '9') {
    names.key = std::string(1, static_cast<char>(virtual_key));
    names.code = std::string("Digit") + static_cast<char>(virtual_key);
  } else if (virtual_key >= 0x60 && virtual_key <= 0x69) {
    names.key = std::string(1, static_cast<char>('0' + virtual_key - 0x60));
    names.code = "Numpad" + names.key;
    names.location = 3;
  } else if (virtual_key >= 0x70 && virtual_key <= 0x87) {
    names.key = "F" + std::to_string(virtual_key - 0x70 + 1);
    names.code = names.key;
  } else {
    for (const Entry& entry : kKeys) {
      if (entry.virtual_key == virtual_key) {
        names.key = entry.key;
        names.code = entry.code;
        names.location = entry.location;
        break;
      }
    }
  }
  return names;
}

}  // namespace velmora::orvwebkit
