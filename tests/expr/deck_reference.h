// The deck of TKvRandom as plainly as it can be written: a list of the
// integers left, from which the drawn one is erased. Quadratic, and kept
// only as the reference the product's deck is compared with.
#pragma once

#include <cstdint>
#include <numeric>
#include <vector>

namespace nova::expr::test {

inline std::vector<std::int32_t> plain_deck_permutation(std::uint32_t increment, std::int32_t n) {
  std::vector<std::int32_t> deck(static_cast<std::size_t>(n));
  std::iota(deck.begin(), deck.end(), 0);
  std::vector<std::int32_t> out;
  std::uint32_t state = 0;
  while (!deck.empty()) {
    state = state * 5u + increment;
    const std::size_t index = state % deck.size();
    out.push_back(deck[index]);
    deck.erase(deck.begin() + static_cast<std::ptrdiff_t>(index));
  }
  return out;
}

}  // namespace nova::expr::test
