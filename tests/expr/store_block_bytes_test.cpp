// The variable blocks byte for byte. Saves written by earlier builds must
// load, and a game saved, loaded and saved again must give the same file,
// so the writer's bytes are pinned here: the golden below was written by
// the store before its save and load paths were made fast, and any change
// of a single byte is a change of the save format.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/binary_io.h"
#include "expr/param_collection.h"
#include "support/test_support.h"

namespace nova::expr {
namespace {

using test::sjis;

TParamCollectionItem& make(TParamCollection& s, std::string_view name, TParamType type, TVarScope scope) {
  bool created = false;
  return s.create(name, type, scope, created);
}

std::string hex(std::span<const std::uint8_t> bytes) {
  std::string out;
  char b[3];
  for (std::uint8_t c : bytes) {
    std::snprintf(b, sizeof b, "%02x", c);
    out += b;
  }
  return out;
}

// A store holding one of everything the game block can hold: each class,
// arrays of two and one dimensions, a Shift-JIS text, locals and
// auto-delete variables of two depths, a status variable (not in the game
// block), an element alias made before its array, a whole-variable
// reference, an unbound one, a pushed block and the system texts.
void fill_every_kind(TParamCollection& s) {
  make(s, "n", PT_INT, TVarScope::Global).value().set_int(-2);
  TParamCollectionItem& early_alias = s.add(PT_NONE, "al");
  TParamCollectionItem& f = make(s, "f", PT_FLOAT, TVarScope::Global);
  const std::int32_t two_three[] = {2, 3};
  f.value().set_dims(two_three);
  f.value().set_float_at(5, 0.375L);
  f.value().set_float_at(0, -1e300L);
  make(s, "flag", PT_BOOL, TVarScope::Global).value().set_flag(true);
  make(s, "text", PT_STR, TVarScope::Global).value().set_str(sjis("漢字とかな"));
  TParamCollectionItem& arr = make(s, "arr", PT_STR, TVarScope::Global);
  const std::int32_t four[] = {4};
  arr.value().set_dims(four);
  arr.value().set_str_at(3, "last");
  early_alias.value().as_reference()->bind_element(&arr, 3);
  s.add(PT_NONE, "whole").value().as_reference()->bind_whole(s.find("n"));
  s.add(PT_NONE, "loose");
  make(s, "keep", PT_INT, TVarScope::Status).value().set_int(7);
  s.set_call_depth(1);
  make(s, "auto1", PT_INT, TVarScope::AutoDelete).value().set_int(11);
  s.set_call_depth(2);
  make(s, "loc2", PT_BOOL, TVarScope::Local).value().set_flag(false);
  s.set_call_depth(0);
  s.set_text_delay(35);
  s.set_cursor_text("cur");
  s.set_selected_string(sjis("選択"));
  s.set_selected_index(2);
  s.set_temp_name("n");
  const std::vector<std::string> pushed = {"n", "text", "missing"};
  s.push(pushed);
}

constexpr const char* kGoldenGameBlock =
    "0a00000003040000006c6f63320000000001000000000000020000000101050000006175746f3100000000010000000b"
    "0000000000010000000000050000006c6f6f736500000000000000000000000000000000000000ffffffff0004030000"
    "00617272010000000400000004000000000000000000000000000000040000006c6173740000ffffffff000404000000"
    "7465787400000000010000000a0000008abf8e9a82c682a982c80000ffffffff000304000000666c6167000000000100"
    "0000010000ffffffff00020100000066020000000200000003000000060000002dddac0340e421bfe3c3000000000000"
    "0000000000000000000000000000000000000000000000000000000000000000000000000000000000c0fd3f0000ffff"
    "ffff000002000000616c00000000000000000300000061727200030000000000ffffffff0001010000006e0000000001"
    "000000feffffff0000ffffffff00000500000077686f6c650000000000000000010000006e00000000000000ffffffff"
    "00230000000300000063757204000000914991f002000000010000006e010000000200000001000000010000006e0000"
    "000001000000feffffff04000000040000007465787400000000010000000a0000008abf8e9a82c682a982c8";

TEST(StoreBlockBytes, TheGameBlockIsTheGoldenAndLoadsBackToItself) {
  TParamCollection s;
  fill_every_kind(s);
  core::ByteWriter w;
  s.save_game_variables(w);
  EXPECT_EQ(hex(w.data()), kGoldenGameBlock);

  TParamCollection t;
  make(t, "gone", PT_INT, TVarScope::Global);
  core::ByteReader r(std::span<const std::uint8_t>(w.data()));
  t.load_game_variables(r, 140);
  EXPECT_TRUE(r.at_end());
  core::ByteWriter again;
  t.save_game_variables(again);
  EXPECT_EQ(hex(again.data()), kGoldenGameBlock);
}

}  // namespace
}  // namespace nova::expr
