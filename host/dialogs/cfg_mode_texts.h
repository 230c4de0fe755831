#pragma once
// What the progress dialog's two runs (one after another, in lanes) show: the texts' numbers
// in the resource library, the bars' range and the columns of a run in lanes.
namespace morlin::cfg_mode {

inline constexpr int kStrDownloadLabel = 44;
inline constexpr int kStrOverallLabel = 45;
inline constexpr int kStrUpdating = 111;
inline constexpr int kStrUpdateCompleted = 112;
inline constexpr int kStrUpdateFailed = 113;
inline constexpr int kBarRange = 100;
// In lanes every row has, after the file and the device, its bar and its status.
inline constexpr int kColumnBar = 2;
inline constexpr int kColumnStatus = 3;

} // namespace morlin::cfg_mode
