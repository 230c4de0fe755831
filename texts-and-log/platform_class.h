#pragma once
// The platform class of the running system, as Morlin and VUPPorta tell the Windows families
// apart.
namespace shared {

inline constexpr int kPlatformClassWin9x = 0; // Windows 95, 98, Me
inline constexpr int kPlatformClassNt = 1;    // NT family
inline constexpr int kPlatformClassOther = 2; // any other platform, or the query failed

// 0 for the Windows 9x family, 1 for the NT family, 2 otherwise. Any thread.
int platform_class();

} // namespace shared
