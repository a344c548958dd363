#pragma once
// Command ids of the menu bar, shared by the frame and the view.

#include <cstdint>

namespace kovracam {

inline constexpr std::uint32_t ID_OPTION_PREVIEW = 32771;
inline constexpr std::uint32_t ID_DEVICE_FIRST = 32772;
inline constexpr std::uint32_t ID_DEVICE_LAST = 32788;
inline constexpr std::uint32_t ID_OPTION_FILTER_PROPERTIES = 32789;
inline constexpr std::uint32_t ID_OPTION_PIN_PROPERTIES = 32790;
inline constexpr std::uint32_t ID_FREQUENCY_50HZ = 32791;
inline constexpr std::uint32_t ID_FREQUENCY_60HZ = 32792;
inline constexpr std::uint32_t ID_CAPTURE_START = 32793;
inline constexpr std::uint32_t ID_CAPTURE_STOP = 32794;
inline constexpr std::uint32_t ID_CAPTURE_SNAPSHOT = 32795;
inline constexpr std::uint32_t ID_APP_ABOUT = 57664;
inline constexpr std::uint32_t ID_APP_EXIT = 57665;

}  // namespace kovracam
