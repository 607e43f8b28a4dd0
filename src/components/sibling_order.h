// The drawing order of a control's children, and the sort that keeps it.
//
// The order compares afterimages by their alpha and everything else by
// priority, so it is not a strict weak ordering: three children can form a
// cycle. A standard sort given such a comparator may run out of its range;
// merge_sort only moves elements between two buffers, so whatever the
// comparator answers it returns a permutation of its input, after at most
// n ⌈log₂ n⌉ comparisons. With a consistent comparator it is a stable sort:
// equal keys keep their order.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

namespace nova::components {

class TNovaControl;

// Whether child `a` is drawn before (below) child `b`:
//  1. two image afterimages: by alpha, ascending;
//  2. an afterimage before the component it was copied from;
//  3. the screen copy (named two bytes of value 1) after everything;
//  4. a name beginning with byte 1 before one that does not;
//  5. by priority + order offset, ascending;
//  6. by name, byte by byte.
bool sibling_before(const TNovaControl& a, const TNovaControl& b);

// Stable bottom-up merge sort of `items` by `less` (less(a, b): a goes
// before b), using `scratch` as the second buffer.
template <typename T, typename Less>
void merge_sort(std::span<T> items, Less&& less, std::vector<T>& scratch) {
  const std::size_t n = items.size();
  if (n < 2) return;
  scratch.resize(n);
  T* from = items.data();
  T* to = scratch.data();
  for (std::size_t width = 1; width < n; width *= 2) {
    for (std::size_t lo = 0; lo < n; lo += 2 * width) {
      const std::size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
      // Runs already in order are copied: one comparison instead of a merge.
      if (mid == hi || !less(from[mid], from[mid - 1])) {
        std::copy(from + lo, from + hi, to + lo);
        continue;
      }
      std::size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) to[k++] = less(from[j], from[i]) ? from[j++] : from[i++];
      std::copy(from + i, from + mid, to + k);
      std::copy(from + j, from + hi, to + k + (mid - i));
    }
    std::swap(from, to);
  }
  if (from != items.data()) std::copy(from, from + n, items.data());
}

}  // namespace nova::components
