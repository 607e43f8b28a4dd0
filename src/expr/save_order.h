// The order in which a variable block is written (private to the store and
// its tests).
//
// An element alias is written after the variable it refers to, since
// loading binds it by looking that name up. The candidates are visited from
// last to first, pass after pass; a candidate bound to a candidate not yet
// written is put off to the next pass, every other one is written. A
// candidate bound to something outside the block does not wait (it would
// wait forever), and when only candidates waiting on each other are left,
// they are written as they stand.
//
// save_order_reference is that rule as it reads, with a linear search per
// candidate; save_order gives the same order in one hash lookup per
// candidate and in a single reversal when nothing in the block refers to
// anything, which is the common case. Tests hold the two against each other.
#pragma once

#include <algorithm>
#include <unordered_set>
#include <vector>

namespace nova::expr {

// `target_of(item)` answers the item a candidate is bound to, or nullptr.
template <typename Item, typename TargetOf>
std::vector<const Item*> save_order_reference(std::vector<const Item*> pending, TargetOf target_of) {
  std::vector<const Item*> order;
  order.reserve(pending.size());
  while (!pending.empty()) {
    std::vector<const Item*> postponed;
    for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
      const Item* target = target_of(*it);
      const bool waits = target && std::find(pending.begin(), pending.end(), target) != pending.end() &&
                         std::find(order.begin(), order.end(), target) == order.end();
      if (waits) {
        postponed.push_back(*it);
      } else {
        order.push_back(*it);
      }
    }
    if (postponed.size() == pending.size()) {
      order.insert(order.end(), postponed.begin(), postponed.end());
      break;
    }
    std::reverse(postponed.begin(), postponed.end());
    pending = std::move(postponed);
  }
  return order;
}

template <typename Item, typename TargetOf>
std::vector<const Item*> save_order(std::vector<const Item*> pending, TargetOf target_of) {
  const bool any_bound = std::any_of(pending.begin(), pending.end(), [&](const Item* i) { return target_of(i); });
  if (!any_bound) {
    std::reverse(pending.begin(), pending.end());
    return pending;
  }
  // A target waits exactly while it is a candidate not yet written: every
  // candidate stays in the passes until it is written.
  std::unordered_set<const Item*> unwritten(pending.begin(), pending.end());
  std::vector<const Item*> order;
  order.reserve(pending.size());
  std::vector<const Item*> postponed;
  while (!pending.empty()) {
    postponed.clear();
    for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
      const Item* target = target_of(*it);
      if (target && unwritten.count(target)) {
        postponed.push_back(*it);
      } else {
        order.push_back(*it);
        unwritten.erase(*it);
      }
    }
    if (postponed.size() == pending.size()) {
      order.insert(order.end(), postponed.begin(), postponed.end());
      break;
    }
    std::reverse(postponed.begin(), postponed.end());
    pending.swap(postponed);
  }
  return order;
}

}  // namespace nova::expr
