// The record versions the history fuzzer's first byte picks from: one of
// each layout (column entries, row entries, snapshots, the manager record).
#pragma once

#include <cstdint>

namespace nova::fuzz {

inline constexpr std::int32_t kHistoryVersions[] = {107, 113, 124, 134, 140};

}  // namespace nova::fuzz
