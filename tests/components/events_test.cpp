// Component handles and the list queue: a handle never outlives its
// component, names are compared byte for byte, and the raising rules.
#include "components/events.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace nova::components {
namespace {

TEST(ComponentHandles, AReusedSlotAnswersOnlyItsNewComponent) {
  ListEventQueue q;
  const ComponentId a = q.add_component("a"), b = q.add_component("b");
  EXPECT_TRUE(ComponentId().none());
  EXPECT_FALSE(a.none());
  EXPECT_NE(a.slot(), b.slot());
  q.remove_component(a);
  EXPECT_EQ(q.name_of(a), std::nullopt);
  q.remove_component(a);  // twice: nothing more happens
  const ComponentId c = q.add_component("c");
  EXPECT_EQ(c.slot(), a.slot()) << "the free slot is taken again";
  EXPECT_NE(c.generation(), a.generation());
  EXPECT_EQ(q.name_of(a), std::nullopt) << "the old handle finds nothing in its reused slot";
  EXPECT_EQ(q.name_of(c), "c");
  EXPECT_EQ(q.name_of(ComponentId(a.slot() + 100, 1)), std::nullopt);
  EXPECT_EQ(q.name_of({}), std::nullopt);
}

TEST(ComponentHandles, NamesCompareByteForByte) {
  ListEventQueue q;
  const ComponentId upper = q.add_component("Button");
  const ComponentId wide = q.add_component(test::sjis("ボタン"));
  EXPECT_EQ(q.find("Button"), upper);
  EXPECT_TRUE(q.find("button").none()) << "no case folding";
  EXPECT_EQ(q.find(test::sjis("ボタン")), wide);
  EXPECT_TRUE(q.find("").none());
}

TEST(ListEventQueue, RaisingAndRemovingFollowTheQueuesRules) {
  ListEventQueue q;
  const ComponentId a = q.add_component("a"), b = q.add_component("b");
  EXPECT_FALSE(q.raise(a, 36, "")) << "no target, no entry";
  EXPECT_TRUE(q.raise(a, 36, "p.src", {"1"}));
  EXPECT_FALSE(q.raise(a, 36, "p.src")) << "one entry per sender and event";
  EXPECT_TRUE(q.raise(a, 37, "p.src"));
  EXPECT_TRUE(q.raise(b, 36, "q.src"));
  ASSERT_EQ(q.first_pending()->sender, a);
  q.first_pending()->level = 1;  // the interpreter runs it
  EXPECT_FALSE(q.raise(a, 36, "p.src")) << "nor while its handler runs";
  EXPECT_EQ(q.first_pending()->event_id, 37);
  // A sender that goes takes its pending entries, not the running one.
  q.remove_component(a);
  ASSERT_EQ(q.entries().size(), 2u);
  EXPECT_EQ(q.entries()[0].level, 1);
  EXPECT_EQ(q.first_pending()->sender, b);
  q.remove_level(1);
  q.remove_running();
  EXPECT_EQ(q.entries().size(), 1u);
  q.clear();
  EXPECT_EQ(q.first_pending(), nullptr);
}

}  // namespace
}  // namespace nova::components
