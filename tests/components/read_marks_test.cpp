// The read-mark list: what a box asks of it and commits to it, and its
// record under damage.
#include <gtest/gtest.h>

#include "components/read_list.h"
#include "core/error.h"

namespace nova::test {
namespace {

using components::TNovaReadList;

TEST(ReadMarks, APendingMarkIsCommittedOnlyByItsBoxAndOnlyOnce) {
  TNovaReadList marks;
  EXPECT_FALSE(marks.IsRead("ep1", 5, 0));
  marks.SetPending("mes", "ep1", 0, 5);
  EXPECT_FALSE(marks.IsRead("ep1", 5, 0)) << "pending is not read";
  marks.CommitPending("other");
  marks.CommitPending("MES");
  EXPECT_FALSE(marks.IsRead("ep1", 5, 0)) << "box names compare exactly";
  EXPECT_EQ(marks.pending_key, "ep1");
  marks.CommitPending("mes");
  EXPECT_TRUE(marks.IsRead("EP1", 5, 0)) << "keys compare without regard to case";
  EXPECT_FALSE(marks.IsRead("ep1", 5, 1));
  EXPECT_FALSE(marks.IsRead("ep1", 6, 0));
  EXPECT_TRUE(marks.pending_key.empty());
  marks.CommitPending("mes");  // nothing pending any more
  ASSERT_EQ(marks.Count(), 1);
  EXPECT_EQ(marks.Items(0).positions.size(), 1u);

  // The same page again adds no second pair; another page of the key does.
  marks.SetPending("mes", "Ep1", 0, 5);
  marks.CommitPending("mes");
  marks.SetPending("mes", "ep1", 1, 5);
  marks.CommitPending("mes");
  ASSERT_EQ(marks.Count(), 1);
  EXPECT_EQ(marks.Items(0).positions, (std::vector<std::int32_t>{5, 5}));
  EXPECT_EQ(marks.Items(0).pages, (std::vector<std::int32_t>{0, 1}));

  // A later mark replaces one left pending: the page it named was left
  // unfinished and stays unread.
  marks.SetPending("mes", "ep2", 0, 9);
  marks.SetPending("mes2", "ep3", 2, 1);
  marks.CommitPending("mes");
  EXPECT_FALSE(marks.IsRead("ep2", 9, 0));
  marks.CommitPending("mes2");
  EXPECT_TRUE(marks.IsRead("ep3", 1, 2));

  marks.SetPending("mes", "ep4", 0, 0);
  marks.Clear();
  EXPECT_EQ(marks.Count(), 0);
  EXPECT_TRUE(marks.pending_key.empty());
  marks.CommitPending("mes");
  EXPECT_FALSE(marks.IsRead("ep4", 0, 0)) << "clearing drops the pending mark too";
}

TEST(ReadMarks, RecordRoundTripsAndADamagedOneChangesNothing) {
  TNovaReadList marks;
  marks.SetPending("mes", "ep1", 0, 10);
  marks.CommitPending("mes");
  marks.SetPending("mes", "ep1", 2, 900);
  marks.CommitPending("mes");
  marks.SetPending("box", "ep2", 1, 30);
  core::ByteWriter w;
  marks.SaveToStream(w);
  TNovaReadList back;
  core::ByteReader r(w.data());
  back.LoadFromStream(r);
  EXPECT_TRUE(back == marks);
  EXPECT_TRUE(r.at_end());
  EXPECT_TRUE(back.IsRead("ep1", 900, 2));
  back.CommitPending("box");
  EXPECT_TRUE(back.IsRead("ep2", 30, 1)) << "the pending mark survives the record";

  // Every cut of the record, and counts beyond it, raise and keep the list.
  for (std::size_t cut = 0; cut < w.size(); ++cut) {
    TNovaReadList kept = marks;
    core::ByteReader part(std::span(w.data()).first(cut));
    EXPECT_THROW(kept.LoadFromStream(part), core::Error) << cut;
    EXPECT_TRUE(kept == marks) << cut;
  }
  core::ByteWriter huge;
  huge.i32(1);
  huge.str("k");
  huge.i32(0x7FFFFFFF);
  TNovaReadList kept = marks;
  core::ByteReader hr(huge.data());
  EXPECT_THROW(kept.LoadFromStream(hr), core::Error);
  EXPECT_TRUE(kept == marks);
}

}  // namespace
}  // namespace nova::test
