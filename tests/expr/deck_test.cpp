// TKvRandom's deck against the plain reference, draw for draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/error.h"
#include "deck_reference.h"
#include "expr/random.h"

namespace nova::expr {
namespace {

std::vector<std::int32_t> deck_permutation(std::uint32_t increment, std::int32_t n) {
  TKvRandom r(increment);
  r.reset_deck(n);
  std::vector<std::int32_t> out;
  for (std::int32_t i = 0; i < n; ++i) out.push_back(r.draw());
  return out;
}

// 100 increments: the edge values, then random ones of every size.
std::vector<std::uint32_t> increments() {
  std::vector<std::uint32_t> v = {
      0u, 1u,    2u, 0xFFFFFFFFu /* -1 */, 0x80000000u /* -2^31 */, 0x7FFFFFFFu, static_cast<std::uint32_t>(-123456789),
      5u, 12341u};
  std::mt19937 rng(15);
  while (v.size() < 100) v.push_back(static_cast<std::uint32_t>(rng()) >> (rng() % 32));
  return v;
}

TEST(KvRandomDeck, EqualsThePlainDeckForEverySmallSizeAndSomeLargeOnes) {
  const auto incs = increments();
  std::vector<std::int32_t> sizes;
  for (std::int32_t n = 0; n <= 64; ++n) sizes.push_back(n);
  sizes.insert(sizes.end(), {256, 1000, 2000});
  for (std::int32_t n : sizes) {
    for (std::uint32_t inc : incs) {
      ASSERT_EQ(deck_permutation(inc, n), test::plain_deck_permutation(inc, n)) << "n " << n << " increment " << inc;
    }
  }
}

TEST(KvRandomDeck, KnownOrdersAndItsStateBetweenDraws) {
  // Key 2 over three items: states 2, 12, 62 pick indices 2, 0, 0.
  EXPECT_EQ(deck_permutation(2, 3), (std::vector<std::int32_t>{2, 0, 1}));
  EXPECT_EQ(deck_permutation(0, 5), (std::vector<std::int32_t>{0, 1, 2, 3, 4}));
  // Draws and next() share one state; a reset keeps it.
  TKvRandom r(7);
  EXPECT_EQ(r.next(), 7);
  r.reset_deck(10);
  const std::int32_t first = r.draw();  // state 42: index 2
  EXPECT_EQ(first, 2);
  EXPECT_EQ(r.state(), 42u);
  r.reset_deck(4);
  EXPECT_EQ(r.draw(), static_cast<std::int32_t>((42u * 5 + 7) % 4));
  // A reset in the middle starts a whole new deck.
  r.reset_deck(3);
  std::vector<std::int32_t> seen;
  for (int i = 0; i < 3; ++i) seen.push_back(r.draw());
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::int32_t>{0, 1, 2}));
  EXPECT_THROW(r.draw(), core::Error);
  r.reset_deck(-5);
  EXPECT_THROW(r.draw(), core::Error);
}

}  // namespace
}  // namespace nova::expr
