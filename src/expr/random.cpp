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
  m_deck.clear();
  if (n <= 0) return;
  m_deck.reserve(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) m_deck.push_back(i);
}

std::int32_t TKvRandom::draw() {
  if (m_deck.empty()) core::throw_error("TKvRandom: draw from an empty deck");
  m_state = m_state * 5u + m_increment;
  std::size_t index = m_state % m_deck.size();
  std::int32_t v = m_deck[index];
  m_deck.erase(m_deck.begin() + static_cast<std::ptrdiff_t>(index));
  return v;
}

}  // namespace nova::expr
