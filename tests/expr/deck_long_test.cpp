// The deck against the plain reference at a million integers (minutes: the
// reference is quadratic).
#include <gtest/gtest.h>

#include "deck_reference.h"
#include "expr/random.h"

namespace nova::expr {
namespace {

TEST(KvRandomDeckLong, EqualsThePlainDeckAtAMillion) {
  for (std::uint32_t inc : {0x7FFFFFFFu, static_cast<std::uint32_t>(-987654321)}) {
    constexpr std::int32_t n = 1000000;
    TKvRandom r(inc);
    r.reset_deck(n);
    const auto expected = test::plain_deck_permutation(inc, n);
    for (std::int32_t i = 0; i < n; ++i) ASSERT_EQ(r.draw(), expected[static_cast<std::size_t>(i)]) << i;
  }
}

}  // namespace
}  // namespace nova::expr
