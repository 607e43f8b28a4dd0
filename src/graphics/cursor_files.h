// Cursor files: ".cur" (an icon directory whose entries carry hotspots;
// each entry a bitmap of 1, 4, 8, 24 or 32 bits with its AND mask, or a
// PNG picture) and ".ani" (a RIFF "ACON" file: the "anih" header, an
// optional "rate" and "seq " table, and a "fram" list of "icon" chunks,
// each a cursor file of its own). Both are read into frames of 32-bit
// ARGB pixels (0xAARRGGBB) with a hotspot and a display time.
//
// The entry of a directory nearest 32 × 32 (then with the most colours)
// is taken. A pixel the AND mask makes transparent but whose colour is not
// black inverts the screen under it in the original; here it is black, so
// that a monochrome cursor stays visible.
//
// Every size, count, offset and chunk length is checked against the bytes
// there are; pictures are at most kMaxCursorSide pixels a side and an
// animation at most kMaxCursorFrames steps. Damage raises core::Error.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/types.h"

namespace nova::graphics {

inline constexpr int kMaxCursorSide = 256;
inline constexpr int kMaxCursorFrames = 1024;
// A step of an animation without a rate, in 1/60 s.
inline constexpr int kDefaultCursorJiffies = 10;

struct CursorFrame {
  int width = 0;
  int height = 0;
  platform::Point hotspot;
  std::vector<std::uint32_t> argb;  // rows top-down
  // How long the frame shows in an animation, in milliseconds (0 for a
  // still cursor).
  int display_ms = 0;
};

// A ".cur" (or ".ico") file: one frame.
CursorFrame read_cursor_file(std::span<const std::uint8_t> bytes);
// An ".ani" file: its steps in order, each a frame with its time.
std::vector<CursorFrame> read_animated_cursor(std::span<const std::uint8_t> bytes);
// Either, by content ("RIFF" or an icon directory).
std::vector<CursorFrame> read_any_cursor(std::span<const std::uint8_t> bytes);

}  // namespace nova::graphics
