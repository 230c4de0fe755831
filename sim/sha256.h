#pragma once
// SHA-256 of a byte string (by OpenSSL's libcrypto), as lower-case hexadecimal (the text
// sha256sum prints), so that the simulator's confirmation of a received image can be compared
// with the file sent.
#include <cstdint>
#include <span>
#include <string>

namespace sim {

std::string sha256_hex(std::span<const std::uint8_t> data);

} // namespace sim
