#pragma once
// The one rule by which a reader's own control request travels through pcsc-lite. A request is
// defined by its Windows I/O control code (the descriptor request 0x221808, the version
// request 0x312004: device type, access, function, method); pcsc-lite hands a driver
// SCARD_CTL_CODE(function) = 0x42000000 + function, where the function is bits 2 to 13 of the
// Windows code. Valdrun sends both requests in that form; the simulated readers' pcscd driver
// accepts exactly those codes and refuses a raw Windows code (docs/simulation.md).
#include <cstdint>

namespace platform {

inline constexpr std::uint32_t kPcscControlBase = 0x42000000;
inline constexpr std::uint32_t kPcscControlFunctionMask = 0x00FFFFFF;

constexpr std::uint32_t control_function(std::uint32_t windows_code) {
    return (windows_code >> 2) & 0xFFF;
}

constexpr std::uint32_t pcsc_control_code(std::uint32_t windows_code) {
    return kPcscControlBase + control_function(windows_code);
}

static_assert(pcsc_control_code(0x312004) == 0x42000801); // SCARD_CTL_CODE(2049)
static_assert(pcsc_control_code(0x221808) == 0x42000602); // SCARD_CTL_CODE(1538)

} // namespace platform
