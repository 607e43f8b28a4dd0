// The variable blocks: their bytes, and the fast save order and load held
// against their plain forms.
//
// Saves written by earlier builds must load, and a game saved, loaded and
// saved again must give the same file, so the writer's bytes are pinned:
// the golden below was written by the store before its save and load paths
// were made fast, and any change of a single byte is a change of the save
// format.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/binary_io.h"
#include "core/error.h"
#include "expr/param_collection.h"
#include "expr/save_order.h"
#include "expr_test_util.h"
#include "support/test_support.h"

namespace nova::expr {
namespace {

using test::sjis;

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

// --- The save order against its plain form --------------------------------------

struct Node {
  const Node* target = nullptr;
};

TEST(StoreBlocks, TheSaveOrderEqualsThePlainRuleOnRandomAliasGraphs) {
  std::mt19937 rng(24);
  auto target_of = [](const Node* n) { return n->target; };
  for (int round = 0; round < 400; ++round) {
    const int n = 1 + static_cast<int>(rng() % 40);
    std::vector<Node> nodes(static_cast<std::size_t>(n));
    std::vector<Node> outside(3);
    const int bound_share = static_cast<int>(rng() % 4);  // none, few, many, most
    for (Node& node : nodes) {
      if (static_cast<int>(rng() % 4) >= bound_share) continue;
      // Targets inside the block (chains and cycles included) or outside it.
      node.target = rng() % 5 == 0 ? &outside[rng() % outside.size()] : &nodes[rng() % nodes.size()];
    }
    std::vector<const Node*> pending;
    for (const Node& node : nodes) pending.push_back(&node);
    const auto fast = save_order(pending, target_of);
    const auto plain = save_order_reference(pending, target_of);
    ASSERT_EQ(fast, plain) << "round " << round;
    ASSERT_EQ(fast.size(), pending.size());
  }
}

// --- The load against its plain form ---------------------------------------------

// What a store holds, for comparing two stores: every item in creation
// order with its kind, flags and the position of what it is bound to, what
// each name finds, and the blocks it writes.
std::string state_of(const TParamCollection& s, const std::vector<std::string>& names) {
  std::string out;
  const auto items = s.items();
  auto position = [&items](const TParamCollectionItem* item) {
    for (std::size_t i = 0; i < items.size(); ++i)
      if (items[i] == item) return std::to_string(i);
    return std::string(item ? "?" : "-");
  };
  for (const TParamCollectionItem* it : items) {
    out += it->name() + ":" + std::to_string(it->class_code()) + "/" + std::to_string(it->is_status()) + "/" +
           std::to_string(it->frame_id()) + "/" + std::to_string(it->is_local()) + "/" +
           std::to_string(it->reserved());
    if (const TParamVar* ref = it->value().as_reference()) {
      out += ">" + position(ref->bound()) + "[" + std::to_string(ref->element_index()) + "]";
    }
    out += " ";
  }
  out += "\nfinds:";
  for (const std::string& name : names) out += " " + position(s.find(name));
  core::ByteWriter game;
  s.save_game_variables(game);
  core::ByteWriter status;
  s.save_status_variables(status);
  return out + "\ngame " + hex(game.data()) + "\nstatus " + hex(status.data());
}

// A block laid out by hand from a small pool of names, so that names repeat
// (in either case), some are empty, references name variables before and
// after them, themselves or nothing, and the flags take every value.
std::vector<std::uint8_t> random_block(std::mt19937& rng, const std::vector<std::string>& names) {
  core::ByteWriter w;
  const std::int32_t count = static_cast<std::int32_t>(rng() % 24);
  w.i32(count);
  for (std::int32_t i = 0; i < count; ++i) {
    const auto type = static_cast<std::uint8_t>(rng() % 5);
    w.u8(type);
    w.str(names[rng() % names.size()]);
    if (type == PT_NONE) {
      w.i32(0);
      w.str("ref");
      w.str(rng() % 4 == 0 ? std::string() : names[rng() % names.size()]);
      w.u8(static_cast<std::uint8_t>(rng() % 3));
      w.i32(static_cast<std::int32_t>(rng() % 4));
    } else {
      std::unique_ptr<TCustomParam> v = make_value(type);
      if (rng() % 3 == 0) {
        const std::int32_t dims[] = {1 + static_cast<std::int32_t>(rng() % 3), 1 + static_cast<std::int32_t>(rng() % 2)};
        v->set_dims(std::span<const std::int32_t>(dims, 1 + rng() % 2));
      }
      for (std::int32_t e = 0; e < v->count(); ++e) v->set_int_at(e, static_cast<std::int32_t>(rng() % 1000) - 500);
      v->save(w);
    }
    w.u8(static_cast<std::uint8_t>(rng() % 2));
    w.u8(static_cast<std::uint8_t>(rng() % 3));
    w.i32(static_cast<std::int32_t>(rng() % 3) - 1);
    w.u8(static_cast<std::uint8_t>(rng() % 2));
  }
  w.i32(40);
  w.str("c");
  w.str("s");
  w.i32(3);
  w.str("t");
  w.i32(0);
  return w.take();
}

// The same store twice: game and status variables, a status alias bound to
// a game array (which a load must unbind), a local of depth 1.
void fill_before_load(TParamCollection& s) {
  make(s, "old", PT_INT, TVarScope::Global).value().set_int(1);
  TParamCollectionItem& arr = make(s, "Arr", PT_STR, TVarScope::Global);
  const std::int32_t three[] = {3};
  arr.value().set_dims(three);
  make(s, "keep", PT_FLOAT, TVarScope::Status).value().set_float(2.5L);
  TParamCollectionItem& held = make(s, "held", PT_NONE, TVarScope::Status);
  held.value().as_reference()->bind_element(&arr, 2);
  s.set_call_depth(1);
  make(s, "lo", PT_BOOL, TVarScope::Local);
}

TEST(StoreBlocks, TheLoadEqualsThePlainLoadOnRandomBlocksAndRefusesTheSameDamage) {
  const std::vector<std::string> names = {"a", "A", "arr", "Arr", "b", "lo", "keep", "", "held", "old"};
  std::mt19937 rng(140);
  for (int round = 0; round < 300; ++round) {
    const std::vector<std::uint8_t> block = random_block(rng, names);
    TParamCollection fast, plain;
    fill_before_load(fast);
    fill_before_load(plain);
    core::ByteReader fr{std::span<const std::uint8_t>(block)};
    core::ByteReader pr{std::span<const std::uint8_t>(block)};
    fast.load_game_variables(fr, 140);
    plain.load_game_variables_reference(pr, 140);
    ASSERT_EQ(fr.position(), pr.position());
    ASSERT_EQ(state_of(fast, names), state_of(plain, names)) << "round " << round;
    // Loading again over the loaded store reuses its items and must not
    // carry anything over (records flagged as status stay, in both).
    core::ByteReader again{std::span<const std::uint8_t>(block)};
    fast.load_game_variables(again, 140);
    core::ByteReader plain_again{std::span<const std::uint8_t>(block)};
    plain.load_game_variables_reference(plain_again, 140);
    ASSERT_EQ(state_of(fast, names), state_of(plain, names)) << "round " << round << ", loaded twice";
    // The status form: added to what is there, nothing freed.
    core::ByteReader fs{std::span<const std::uint8_t>(block)};
    core::ByteReader ps{std::span<const std::uint8_t>(block)};
    fast.load_status_variables(fs);
    plain.load_status_variables(ps);
    ASSERT_EQ(state_of(fast, names), state_of(plain, names)) << "round " << round << ", status form";

    // Every truncation is refused by both with the same message, and the
    // store stays as it was.
    if (round % 10 != 0) continue;
    const std::string before = state_of(fast, names);
    for (std::size_t cut = 0; cut < block.size(); ++cut) {
      const std::span<const std::uint8_t> part(block.data(), cut);
      std::string fast_error = "(none)", plain_error = "(none)";
      try {
        core::ByteReader r(part);
        fast.load_game_variables(r, 140);
      } catch (const core::Error& e) {
        fast_error = e.message();
      }
      try {
        core::ByteReader r(part);
        plain.load_game_variables_reference(r, 140);
      } catch (const core::Error& e) {
        plain_error = e.message();
      }
      ASSERT_NE(fast_error, "(none)") << "cut at " << cut;
      ASSERT_EQ(fast_error, plain_error) << "cut at " << cut;
      ASSERT_EQ(state_of(fast, names), before) << "cut at " << cut;
    }
  }
}

TEST(StoreBlocks, DamagedValuesAreRefusedAsThePlainLoadRefusesThem) {
  // Each damage at the one place the check pass has to catch it: a bad
  // type, a negative name length, a bad dimension, an element count of 0,
  // a negative string length inside an array, and a reference whose
  // dimension count is negative.
  auto record = [](auto&& value_part) {
    core::ByteWriter w;
    w.i32(2);
    w.u8(PT_INT);
    w.str("good");
    TParamInt(5).save(w);
    w.u8(0), w.u8(0), w.i32(-1), w.u8(0);
    value_part(w);
    for (int i = 0; i < 40; ++i) w.u8(0);
    return w.take();
  };
  const std::vector<std::vector<std::uint8_t>> damaged = {
      record([](core::ByteWriter& w) { w.u8(7); }),
      record([](core::ByteWriter& w) { w.u8(PT_INT), w.i32(-1); }),
      record([](core::ByteWriter& w) { w.u8(PT_INT), w.str("d"), w.i32(1), w.i32(0); }),
      record([](core::ByteWriter& w) { w.u8(PT_INT), w.str("z"), w.i32(0), w.i32(0); }),
      record([](core::ByteWriter& w) { w.u8(PT_STR), w.str("s"), w.i32(0), w.i32(2), w.str("x"), w.i32(-5); }),
      record([](core::ByteWriter& w) { w.u8(PT_NONE), w.str("r"), w.i32(-1); }),
  };
  for (std::size_t i = 0; i < damaged.size(); ++i) {
    TParamCollection fast, plain;
    fill_before_load(fast);
    fill_before_load(plain);
    const std::string before = state_of(fast, {"good", "old"});
    std::string fast_error, plain_error;
    try {
      core::ByteReader r{std::span<const std::uint8_t>(damaged[i])};
      fast.load_game_variables(r, 140);
    } catch (const core::Error& e) {
      fast_error = e.message();
    }
    try {
      core::ByteReader r{std::span<const std::uint8_t>(damaged[i])};
      plain.load_game_variables_reference(r, 140);
    } catch (const core::Error& e) {
      plain_error = e.message();
    }
    EXPECT_FALSE(fast_error.empty()) << "damage " << i;
    EXPECT_EQ(fast_error, plain_error) << "damage " << i;
    EXPECT_EQ(state_of(fast, {"good", "old"}), before) << "damage " << i;
  }
}

}  // namespace
}  // namespace nova::expr
