// The sibling order and its sort: the six rules, a stable result equal to
// std::stable_sort for a consistent comparator, and a bounded permutation
// for a cyclic one.
#include "components/sibling_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "component_fixture.h"

namespace nova::test {
namespace {

using SiblingOrder = ComponentTest;

std::vector<std::string> child_names(const TNovaControl& parent) {
  std::vector<std::string> names;
  for (const TNovaControl* c : parent.Children()) names.push_back(c->Name());
  return names;
}

TEST_F(SiblingOrder, NamesOrderEqualPrioritiesAndTheOffsetCountsWithThePriority) {
  TNovaBase& base = list.front_base();
  wave("b", &base);
  wave("a", &base);
  TTestWave& high = wave("high", &base);
  TTestWave& moved = wave("moved", &base);
  set(high, PR_PRIORITY, 3);
  EXPECT_EQ(child_names(base), (std::vector<std::string>{"a", "b", "moved", "high"}));
  moved.SetOrderOffset(5);
  EXPECT_EQ(child_names(base), (std::vector<std::string>{"a", "b", "high", "moved"}))
      << "order offset 5 at priority 0 draws above priority 3";
  set(moved, PR_PRIORITY, 0);
  EXPECT_EQ(child_names(base), (std::vector<std::string>{"a", "b", "moved", "high"}))
      << "setting the priority drops the offset and sorts again";
  set(high, PR_PRIORITY, -1);
  EXPECT_EQ(base.GetChild(0), &high);
  // Names compare as bytes: upper case and Shift-JIS lead bytes.
  TNovaControl& p = wave("p");
  for (const char* n : {"b", "B", "\x82\xa0", "a"}) wave(n, &p);
  EXPECT_EQ(child_names(p), (std::vector<std::string>{"B", "a", "b", "\x82\xa0"}));
}

TEST_F(SiblingOrder, ByteOneNamesTheScreenCopyAndAfterimagesHaveTheirPlaces) {
  TNovaBase& base = list.front_base();
  TTestWave& source = wave("src", &base);
  const std::string copy("\x01\x01", 2), low("\x01z", 2);
  wave(copy, &base);
  wave(low, &base);
  set(source, PR_PRIORITY, -100);
  auto& faint = list.make<TTestAfterimage>();
  faint.alpha = 40;
  faint.source = source.id();
  faint.SetName("faint");
  set(faint, PR_PRIORITY, 50);
  auto& strong = list.make<TTestAfterimage>();
  strong.alpha = 200;
  strong.SetName("strong");
  set(strong, PR_PRIORITY, -500);
  faint.SetParent(&base);
  strong.SetParent(&base);
  wave("top", &base);
  const auto names = child_names(base);
  // The byte-1 name goes before ordinary names, the screen copy last; the
  // afterimages compare by alpha with each other, and the one copied from
  // "src" goes before it although its priority is higher.
  EXPECT_EQ(names.front(), low);
  EXPECT_EQ(names.back(), copy);
  const auto at = [&](const std::string& n) { return std::find(names.begin(), names.end(), n) - names.begin(); };
  EXPECT_LT(at("faint"), at("src"));
  EXPECT_LT(at("faint"), at("strong"));
  EXPECT_LT(at("src"), at("top"));
  EXPECT_EQ(faint.ComponentType(), LT_WAVE) << "an afterimage reports its base's type";
}

TEST_F(SiblingOrder, TheMergeSortEqualsStableSortForAConsistentComparator) {
  std::mt19937 rng(14);
  std::vector<std::pair<int, int>> scratch;
  for (int round = 0; round < 200; ++round) {
    const std::size_t n = rng() % 300;
    std::vector<std::pair<int, int>> items(n);
    for (std::size_t i = 0; i < n; ++i) items[i] = {static_cast<int>(rng() % 12), static_cast<int>(i)};
    auto expected = items;
    const auto by_key = [](const auto& a, const auto& b) { return a.first < b.first; };
    std::stable_sort(expected.begin(), expected.end(), by_key);
    merge_sort(std::span(items), by_key, scratch);
    ASSERT_EQ(items, expected) << "n = " << n;
  }
}

TEST_F(SiblingOrder, ACyclicComparatorYieldsAPermutationWithinTheComparisonBound) {
  std::mt19937 rng(61);
  std::vector<int> scratch;
  for (std::size_t n : {2u, 3u, 5u, 16u, 17u, 100u, 1000u, 4097u}) {
    std::vector<int> items(n);
    for (std::size_t i = 0; i < n; ++i) items[i] = static_cast<int>(i);
    std::shuffle(items.begin(), items.end(), rng);
    // Rock, paper, scissors by value mod 3, and coin flips besides: no order
    // at all.
    std::size_t comparisons = 0;
    const auto cyclic = [&](int a, int b) {
      ++comparisons;
      const int d = ((a % 3) - (b % 3) + 3) % 3;
      return d == 1 || (d == 0 && (rng() & 1));
    };
    merge_sort(std::span(items), cyclic, scratch);
    const auto bound = n * static_cast<std::size_t>(std::ceil(std::log2(static_cast<double>(n))));
    EXPECT_LE(comparisons, bound) << "n = " << n;
    std::vector<int> sorted = items;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(sorted[i], static_cast<int>(i)) << "not a permutation, n = " << n;
  }
}

TEST_F(SiblingOrder, SortingWaitsUntilTheChildrenAreLookedAt) {
  TNovaControl& p = wave("p");
  std::vector<TTestWave*> kids;
  for (int i = 0; i < 50; ++i) kids.push_back(&wave("k" + std::to_string(100 - i), &p));
  // Renaming does not move a child; the next re-sort does.
  EXPECT_EQ(p.GetChild(0), kids.front());
  kids.front()->SetName("k999");
  EXPECT_EQ(child_names(p).front(), "k999") << "a rename alone does not sort";
  p.SortChildren();
  EXPECT_EQ(child_names(p).front(), "k51");
  EXPECT_EQ(child_names(p).back(), "k999");
  for (int i = 0; i < 50; i += 2) list.destroy(*kids[static_cast<std::size_t>(i)]);
  EXPECT_EQ(p.ChildCount(), 25);
  for (const TNovaControl* c : p.Children()) EXPECT_EQ(c->Parent(), &p);
}

}  // namespace
}  // namespace nova::test
