#include "components/name_index.h"

#include <algorithm>
#include <cassert>
#include <iterator>

namespace nova::components {

void NameIndex::add(const std::string& name, const Entry& entry) {
  auto [it, fresh] = m_names.try_emplace(name, Bearers{entry, nullptr});
  if (fresh) {
    if (const auto n = auto_number(name)) take_number(*n);
    return;
  }
  Bearers& b = it->second;
  if (!b.more) b.more = std::make_unique<std::vector<Entry>>();
  Entry e = entry;
  if (e.sequence < b.first.sequence) std::swap(e, b.first);
  const auto at = std::upper_bound(b.more->begin(), b.more->end(), std::uint64_t{e.sequence},
                                   [](std::uint64_t s, const Entry& x) { return s < x.sequence; });
  b.more->insert(at, e);
}

void NameIndex::remove(const std::string& name, const TNovaObject* object) {
  const auto it = m_names.find(name);
  if (it == m_names.end()) return;
  Bearers& b = it->second;
  if (b.first.object != object) {
    if (b.more) std::erase_if(*b.more, [&](const Entry& e) { return e.object == object; });
    return;
  }
  if (b.more && !b.more->empty()) {
    b.first = b.more->front();
    b.more->erase(b.more->begin());
    return;
  }
  m_names.erase(it);
  if (const auto n = auto_number(name)) free_number(*n);
}

TNovaObject* NameIndex::find(std::string_view name, bool controls_only) const {
  return first_where(name, [&](const Entry& e) { return !e.pending && (!controls_only || e.control); });
}

TNovaObject* NameIndex::find_other(std::string_view name, const TNovaObject* self) const {
  return first_where(name, [&](const Entry& e) { return e.object != self; });
}

void NameIndex::clear() {
  m_names.clear();
  m_numbers.clear();
}

std::optional<std::uint64_t> NameIndex::auto_number(std::string_view name) {
  constexpr std::string_view kStem = "object";
  if (!name.starts_with(kStem)) return std::nullopt;
  const std::string_view digits = name.substr(kStem.size());
  if (digits.empty() || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
  std::uint64_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto d = static_cast<std::uint64_t>(c - '0');
    if (n > (UINT64_MAX - d) / 10) return std::nullopt;
    n = n * 10 + d;
  }
  // The runs end one past their last number, so the last 64-bit number is
  // left out; no list can hold that many components.
  if (n == UINT64_MAX) return std::nullopt;
  return n;
}

std::uint64_t NameIndex::free_auto_number() const {
  if (m_numbers.empty() || m_numbers.begin()->first != 0) return 0;
  return m_numbers.begin()->second;
}

void NameIndex::take_number(std::uint64_t n) {
  // The run that ends at n grows, and merges with one that starts at n + 1.
  auto next = m_numbers.upper_bound(n);
  if (next != m_numbers.begin()) {
    auto prev = std::prev(next);
    if (prev->second > n) return;  // already inside
    if (prev->second == n) {
      prev->second = n + 1;
      if (next != m_numbers.end() && next->first == n + 1) {
        prev->second = next->second;
        m_numbers.erase(next);
      }
      return;
    }
  }
  if (next != m_numbers.end() && next->first == n + 1) {
    // Re-key the following run to start at n, keeping its node.
    auto node = m_numbers.extract(next);
    node.key() = n;
    m_numbers.insert(std::move(node));
    return;
  }
  m_numbers.emplace(n, n + 1);
}

void NameIndex::free_number(std::uint64_t n) {
  auto next = m_numbers.upper_bound(n);
  assert(next != m_numbers.begin() && "a freed number was taken");
  auto run = std::prev(next);
  const std::uint64_t first = run->first, end = run->second;
  assert(n < end && "a freed number was taken");
  if (first == n && end == n + 1) {
    m_numbers.erase(run);
  } else if (first == n) {
    auto node = m_numbers.extract(run);
    node.key() = n + 1;
    m_numbers.insert(std::move(node));
  } else if (end == n + 1) {
    run->second = n;
  } else {
    run->second = n;
    m_numbers.emplace(n + 1, end);
  }
}

}  // namespace nova::components
