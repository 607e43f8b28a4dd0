// The input of the text layout fuzzer and of the engine records fuzzer's
// page: an engine's settings record (version 111), then a tagged text and a
// name/value list ("name=value" lines), each ended by a 0 byte, then the
// elapsed times of reveal steps and the points of hover and hit tests, two
// bytes each. The seed generators write it with the engine's own settings
// writer; the fuzzers read it back and keep every setting within the caps
// that bound its work.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "text/kvword.h"

namespace nova::fuzz {

struct LayoutInput {
  text::KvWordSettings settings;
  std::string text;
  std::vector<std::pair<std::string, std::string>> names;
  std::vector<std::uint16_t> tail;  // elapsed times and points
};

// Reads an input; nullopt when its settings record does not read.
std::optional<LayoutInput> read_layout_input(std::span<const std::uint8_t> data);
// Writes one, the settings through the engine's writer.
std::vector<std::uint8_t> write_layout_input(const LayoutInput& input);

// The settings limited to what keeps a run small: the text rectangle to
// 1024 × 1024, sizes to 96, waits' speed and times as they are.
text::KvWordSettings within_caps(text::KvWordSettings s);

}  // namespace nova::fuzz
