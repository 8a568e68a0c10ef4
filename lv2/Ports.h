// The LV2 face of the plug-in: its URIs and its ports. Hosts store port
// symbols and URIs in their sessions, and the editor's glue addresses ports by
// index, so none of these may change once published.
//
// Ports 0 to 25 are the parameters of the same index (symbol = parameter
// name), which are also the editor's control tags; 26 and 27 carry the two
// meters' gain reductions as the editor's meter tags 26 and 27 show them.
#pragma once

#include <cstdint>

#include "params/Parameters.h"

namespace kvblv2 {

constexpr char kPluginUri[] = "https://kvb-audio.example/plugins/kvb";
constexpr char kUiUri[] = "https://kvb-audio.example/plugins/kvb#ui";
constexpr char kPluginBinary[] = "KVB.so";
constexpr char kUiBinary[] = "KVB_ui.so";

constexpr std::uint32_t kNumParamPorts = kNumNamedParams;  // 0 to 25
constexpr std::uint32_t kMeter1Port = 26;
constexpr std::uint32_t kMeter2Port = 27;
constexpr std::uint32_t kLatencyPort = 28;
constexpr std::uint32_t kInLeftPort = 29;
constexpr std::uint32_t kInRightPort = 30;
constexpr std::uint32_t kOutLeftPort = 31;
constexpr std::uint32_t kOutRightPort = 32;
constexpr std::uint32_t kNumPorts = 33;

constexpr bool isParamPort(std::uint32_t port) { return port < kNumParamPorts; }

// A control value as the glue hands it to the effect: the ports' range is 0
// to 1, so a value beyond it is read as the nearer end and one that is not a
// number as 0 (which is how the processing reads it, too).
inline float portValue(float v) {
    if (!(v >= 0.0f)) return 0.0f;
    return v > 1.0f ? 1.0f : v;
}

}  // namespace kvblv2
