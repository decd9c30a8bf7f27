// Base64 and SHA-1, as the WebSocket handshake and the protocol's binary
// fields need them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::orvwebkit {

std::string Base64Encode(const void* data, std::size_t size);
// Decodes standard base64 (padding optional, no whitespace) into `out`,
// replacing its contents. False for any other character or a bad length.
bool Base64Decode(std::string_view text, std::vector<std::uint8_t>* out);

std::array<std::uint8_t, 20> Sha1(std::string_view data);

}  // namespace velmora::orvwebkit
