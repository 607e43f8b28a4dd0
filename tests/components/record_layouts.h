// Component records laid byte by byte as streams of each version hold
// them, without the writer: the record tests read them, and the record
// fuzzer's seeds include them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "components/component_types.h"
#include "components/nova_control.h"
#include "core/binary_io.h"

namespace nova::test {

using components::IM_LCLICK;
using components::LT_TIMER;
using components::LT_WAVE;

// The type byte, object part, control part and children of a visual
// component's record as a stream of `version` holds it; the class's own
// fields follow.
inline void lay_control(core::ByteWriter& w, std::int32_t version, std::uint8_t type, std::string_view name,
                        const std::vector<std::vector<std::uint8_t>>& children = {}) {
  const std::int32_t v = version;
  w.u8(type);
  w.str(name);
  w.i32(-9);               // priority
  if (v >= 104) w.i32(4);  // order offset
  if (v >= 120) w.str("tag");
  for (std::int32_t x : {1, 2, 3, 4, 5, 6}) w.i32(x);  // left ... center y
  w.u8(1);                                             // position zoomed
  if (v >= 130) {
    for (std::int32_t x : {7, 8, 9, 10}) w.i32(x);  // motion x, y, plus x, y
  }
  if (v >= 104) {
    for (std::int32_t x : {11, 12, 13, 14}) w.i32(x);  // clip
    w.u8(1);                                           // animation paused
  }
  w.u8(0);  // visible
  w.i32(0x123456);
  for (std::int32_t x : {15, 16, 17, 18}) w.i32(x);  // reserved rectangle
  w.u8(IM_LCLICK);
  w.str("c.cur");
  w.str("move.src");
  if (v >= 102) w.str("in.src");
  for (const char* e : {"out.src", "ld.src", "lu.src", "rd.src", "ru.src", "wd.src", "wu.src"}) w.str(e);
  if (v >= 118) {
    w.u8(1);  // handles keys
    for (const char* e : {"kd.src", "ku.src", "kr.src", "fi.src", "fo.src"}) w.str(e);
  }
  w.i32(static_cast<std::int32_t>(children.size()));
  for (const auto& c : children) w.bytes(std::span<const std::uint8_t>(c));
}

// A wave's record laid byte by byte as a stream of `version` holds it,
// with `children` (already laid records with their type bytes) inside.
struct WaveLayout {
  std::int32_t version;
  std::string name = "w";
  std::vector<std::vector<std::uint8_t>> children;

  std::vector<std::uint8_t> bytes() const {
    core::ByteWriter w;
    lay_control(w, version, LT_WAVE, name, children);
    // The class's fields, after the children.
    w.i32(21);
    w.u8(1);
    w.i32(22);
    w.i32(23);
    w.str("idle.src");
    return w.take();
  }
};

// The wave's fields after the children: delay, paused, amp, wave length and
// "idle.src".
constexpr std::size_t kClassFieldBytes = 4 + 1 + 4 + 4 + 4 + 8;

inline std::vector<std::uint8_t> timer_layout(std::int32_t version, std::string_view name) {
  core::ByteWriter w;
  w.u8(LT_TIMER);
  w.str(name);
  w.i32(2);
  if (version >= 104) w.i32(0);
  if (version >= 120) w.str("");
  w.i32(500);
  w.u8(0);
  w.str("n.src");
  w.u8(1);
  return w.take();
}

// An event entry as a stream of `version` holds it (a one-byte run level
// before 114).
inline std::vector<std::uint8_t> event_layout(std::int32_t version, std::string_view target, std::string_view sender,
                                              std::uint8_t id, std::int32_t level,
                                              const std::vector<std::string>& arguments) {
  core::ByteWriter w;
  w.str(target);
  w.str(sender);
  w.u8(id);
  if (version >= 114) {
    w.i32(level);
  } else {
    w.u8(static_cast<std::uint8_t>(level));
  }
  w.i32(static_cast<std::int32_t>(arguments.size()));
  for (const std::string& a : arguments) w.str(a);
  return w.take();
}

// A base's control record as a stream of `version` holds it: no type byte,
// no class fields, `children` inside.
inline std::vector<std::uint8_t> base_layout(std::int32_t version, std::string_view name,
                                             const std::vector<std::vector<std::uint8_t>>& children,
                                             std::int32_t colour) {
  core::ByteWriter w;
  w.str(name);
  w.i32(0);
  if (version >= 104) w.i32(0);
  if (version >= 120) w.str("");
  for (std::int32_t x : {0, 0, 64, 48, 0, 0}) w.i32(x);
  w.u8(0);
  if (version >= 130) {
    for (int i = 0; i < 4; ++i) w.i32(0);
  }
  if (version >= 104) {
    for (int i = 0; i < 4; ++i) w.i32(0);
    w.u8(0);
  }
  w.u8(1);  // visible
  w.i32(colour);
  for (int i = 0; i < 4; ++i) w.i32(0);
  w.u8(0);
  w.str("");
  for (int i = 0; i < 9; ++i) w.str("");
  if (version >= 118) {
    w.u8(0);
    for (int i = 0; i < 5; ++i) w.str("");
  }
  w.i32(static_cast<std::int32_t>(children.size()));
  for (const auto& c : children) w.bytes(std::span<const std::uint8_t>(c));
  return w.take();
}

// A whole screen record of `version`: base 0 holds a wave "w" (whose
// PR_HANDLEKEY is set from 118 on), a timer "clock" stands at the top
// level, one event of the wave waits, and from 119 the wave has the focus.
inline std::vector<std::uint8_t> screen_layout(std::int32_t version) {
  core::ByteWriter w;
  w.i32(64);
  w.i32(48);
  w.i32(1);
  WaveLayout wave{version};
  w.bytes(std::span<const std::uint8_t>(base_layout(version,
                                                    "\x01"
                                                    "BASE0",
                                                    {wave.bytes()}, 0x112233)));
  w.bytes(std::span<const std::uint8_t>(base_layout(version,
                                                    "\x01"
                                                    "BASE1",
                                                    {}, -1)));
  w.i32(1);
  const auto timer = timer_layout(version, "clock");
  w.bytes(std::span<const std::uint8_t>(timer));
  w.i32(1);
  const auto event = event_layout(version, "p.src", "w", components::PR_ONLBTNDOWN, 1, {"3", "4"});
  w.bytes(std::span<const std::uint8_t>(event));
  if (version >= 119) w.str("w");
  return w.take();
}

}  // namespace nova::test
