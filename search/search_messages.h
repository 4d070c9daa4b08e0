// The notifications the search engine posts to the window.
#pragma once

#include <cstdint>

#include "platform/message_poster.h"

namespace pradex {

// wParam: number of probes the run started; lParam: 0.
inline constexpr std::uint32_t WM_SEARCH_FINISHED = kWmApp + 1;
// wParam: 0; lParam: the answering ProbeRequest*.
inline constexpr std::uint32_t WM_SEARCH_DEVICE_ANSWERED = kWmApp + 2;
// wParam: 0; lParam: the failed ProbeRequest*.
inline constexpr std::uint32_t WM_SEARCH_PROBE_FAILED = kWmApp + 3;
// What a listed device said about itself is in (search/facts_stage.h); also after the run's
// end. wParam: the facts stage's run number; lParam: the device's place among its facts.
inline constexpr std::uint32_t WM_SEARCH_DEVICE_FACTS = kWmApp + 4;

}  // namespace pradex
