// Texts exchanged with page scripts: JSON strings that keep every UTF-16
// unit (a lone surrogate included), and the parts of bound-call addresses.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::orvwebkit {

// Appends `text` as a JSON string literal made of ASCII only: every unit
// outside printable ASCII is written as \uXXXX, so the page's JSON.parse
// gives back exactly these units.
void AppendJsonString(std::u16string_view text, std::string* out);

// One argument of a bound call: a text, or nothing for null and undefined.
using ScriptArgument = std::optional<std::u16string>;

// Reads a JSON array whose elements are strings or null, as the page's
// binding script sends arguments. Nothing for any other document, for
// nesting, or for more than `max_elements` elements.
std::optional<std::vector<ScriptArgument>> ParseArgumentList(std::string_view json,
                                                             std::size_t max_elements);

// Decodes %XX escapes of an address part; nothing for a malformed escape.
std::optional<std::string> PercentDecode(std::string_view text);

// True for a name that page scripts can use as a plain identifier.
bool IsScriptIdentifier(std::string_view name);

}  // namespace velmora::orvwebkit
