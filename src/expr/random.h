// The two random generators. StandardRandom is behind the Random function
// and every effect that wants chance (particles, fire); TKvRandom is a small
// deterministic generator for repeatable orders (archive directories, the
// layered image format, the dither transition), each user naming its own
// increment.
#pragma once

#include <cstdint>
#include <vector>

namespace nova::expr {

class StandardRandom {
 public:
  explicit StandardRandom(std::uint32_t seed = 0) : m_seed(seed) {}

  // The seed the player starts with: the time of day (UTC) in milliseconds,
  // ((hour × 60 + minute) × 60 + second) × 1000 + millisecond.
  static std::uint32_t seed_from_time(int hour, int minute, int second, int millisecond);

  std::uint32_t seed() const { return m_seed; }
  void set_seed(std::uint32_t seed) { m_seed = seed; }

  // An integer 0 <= r < n for n > 0: the seed advances as
  // seed × 134775813 + 1 (mod 2^32) and r is the high 32 bits of seed × n.
  // Random(0) is 0; a negative n is used as its unsigned 32-bit pattern.
  std::int32_t next(std::int32_t n);

 private:
  std::uint32_t m_seed;
};

class TKvRandom {
 public:
  explicit TKvRandom(std::uint32_t increment) : m_increment(increment) {}

  // state := state × 5 + increment (mod 2^32); answers the new state as a
  // signed 32-bit integer.
  std::int32_t next();

  // The deck becomes 0 ... n-1 in order (empty for n <= 0).
  void reset_deck(std::int32_t n);

  // Advances the state, takes the integer at (state mod the deck's size) out
  // of the deck and answers it. The deck must not be empty: every user resets
  // it to the number of draws it makes, so an empty deck is a fault of the
  // caller and raises core::Error. O(log n): block tables of small blocks
  // draw hundreds of thousands of times from one deck.
  std::int32_t draw();

  std::uint32_t state() const { return m_state; }

 private:
  std::uint32_t m_state = 0;
  std::uint32_t m_increment;
  // The deck as a Fenwick tree over 0 ... n-1: m_tree[i] counts the
  // integers still in the deck within the range that node i covers, so the
  // k-th remaining integer is found by one descent instead of a search
  // through a shrinking list.
  std::vector<std::int32_t> m_tree;
  std::int32_t m_size = 0;
  std::int32_t m_left = 0;
  // The largest power of two not above m_size (where the descent starts).
  std::int32_t m_top_step = 0;
};

}  // namespace nova::expr
