#include "expr/random.h"

#include "core/error.h"

namespace nova::expr {

std::uint32_t StandardRandom::seed_from_time(int hour, int minute, int second, int millisecond) {
  return static_cast<std::uint32_t>(((hour * 60 + minute) * 60 + second) * 1000 + millisecond);
}

std::int32_t StandardRandom::next(std::int32_t n) {
  m_seed = m_seed * 134775813u + 1u;
  std::uint64_t product = static_cast<std::uint64_t>(m_seed) * static_cast<std::uint32_t>(n);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(product >> 32));
}

std::int32_t TKvRandom::next() {
  m_state = m_state * 5u + m_increment;
  return static_cast<std::int32_t>(m_state);
}

void TKvRandom::reset_deck(std::int32_t n) {
  m_size = n > 0 ? n : 0;
  m_left = m_size;
  // Every integer is present: node i (1-based) covers i & -i integers. The
  // tree is built in place in O(n).
  m_tree.assign(static_cast<std::size_t>(m_size) + 1, 0);
  for (std::int32_t i = 1; i <= m_size; ++i) {
    m_tree[static_cast<std::size_t>(i)] += 1;
    const std::int32_t parent = i + (i & -i);
    if (parent <= m_size) m_tree[static_cast<std::size_t>(parent)] += m_tree[static_cast<std::size_t>(i)];
  }
  m_top_step = 1;
  while (m_top_step <= m_size / 2) m_top_step *= 2;
}

std::int32_t TKvRandom::draw() {
  if (m_left <= 0) core::throw_error("TKvRandom: draw from an empty deck");
  m_state = m_state * 5u + m_increment;
  // The index-th (0-based) integer still in the deck.
  auto index = static_cast<std::int32_t>(m_state % static_cast<std::uint32_t>(m_left));
  std::int32_t at = 0;
  for (std::int32_t step = m_top_step; step > 0; step /= 2) {
    const std::int32_t next = at + step;
    if (next <= m_size && m_tree[static_cast<std::size_t>(next)] <= index) {
      at = next;
      index -= m_tree[static_cast<std::size_t>(next)];
    }
  }
  // `at` integers lie before the one drawn; it is integer `at` (node at + 1).
  for (std::int32_t i = at + 1; i <= m_size; i += i & -i) --m_tree[static_cast<std::size_t>(i)];
  --m_left;
  return at;
}

}  // namespace nova::expr
