// The hashed named collection.
#include "files/hash_collection.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "support/test_support.h"

namespace nova::files {
namespace {

struct Named : THashCollectionItem {
  int value = 0;
};

TEST(HashOfName, FollowsTheLengthAndTwoByteRule) {
  EXPECT_EQ(THashCollection::HashOfName(""), 0);
  EXPECT_EQ(THashCollection::HashOfName("x"), 16) << "a 1-character name hashes to its length × 16";
  EXPECT_EQ(THashCollection::HashOfName("ab"), (32 + 97 + 97) % 256);
  // The second-to-last byte and the first, after lower-casing.
  EXPECT_EQ(THashCollection::HashOfName("Bgm\\Op.OGG"), (10 * 16 + 'g' + 'b') % 256);
  EXPECT_EQ(THashCollection::HashOfName("AB"), THashCollection::HashOfName("ab"));
  // Full-width letters fold too: Ａ (0x8260) lowers to ａ (0x8281).
  const std::string upper = test::sjis("ＡＢ"), lower = test::sjis("ａｂ");
  EXPECT_EQ(THashCollection::HashOfName(upper), THashCollection::HashOfName(lower));
  EXPECT_EQ(THashCollection::HashOfName(lower), (4 * 16 + 0x82 + 0x82) % 256);
  // Byte n - 2 as a trail byte folds with its pair (Ａ's 0x60 becomes 0x81),
  // and a trail byte that looks like a letter (ア is 0x83 0x41) stays.
  EXPECT_EQ(THashCollection::HashOfName(test::sjis("Ａx")), (3 * 16 + 0x82 + 0x81) % 256);
  EXPECT_EQ(THashCollection::HashOfName(test::sjis("アx")), (3 * 16 + 0x83 + 0x41) % 256);
}

TEST(HashCollections, TheNewestOfEqualNamesWinsAndPositionsFollowDeletes) {
  THashCollectionOf<Named> c;
  c.Add("alpha").value = 1;
  c.Add("beta").value = 2;
  c.Add("ALPHA").value = 3;
  c.Add("gamma").value = 4;
  EXPECT_EQ(c.Count(), 4);
  EXPECT_EQ(c.IndexOf("Alpha"), 2) << "the item named most recently wins";
  EXPECT_EQ(c.Find("alpha")->value, 3);
  EXPECT_EQ(c.IndexOf("delta"), -1);
  EXPECT_EQ(c.Find("delta"), nullptr);

  c.Delete(2);
  EXPECT_EQ(c.IndexOf("alpha"), 0) << "the older item of the name shows again";
  EXPECT_EQ(c.At(2).Name(), "gamma");
  EXPECT_EQ(c.At(2).Index(), 2) << "later items move down by one";
  EXPECT_EQ(c.IndexOf("gamma"), 2);

  c.Rename(0, "beta");
  EXPECT_EQ(c.IndexOf("BETA"), 0) << "a renamed item goes to the head of its chain";
  EXPECT_EQ(c.IndexOf("alpha"), -1);
  const auto chain = c.Chain(THashCollection::HashOfName("beta"));
  ASSERT_GE(chain.size(), 2u);
  EXPECT_EQ(chain[0]->Index(), 0);

  EXPECT_THROW(c.At(7), core::Error);
  c.Clear();
  EXPECT_EQ(c.Count(), 0);
  EXPECT_EQ(c.IndexOf("beta"), -1);
}

TEST(HashCollections, ManyNamesSharingBucketsAreAllFound) {
  THashCollectionOf<Named> c;
  for (int i = 0; i < 3000; ++i) c.Add("file" + std::to_string(i) + ".bri").value = i;
  for (int i = 0; i < 3000; i += 7) {
    auto* item = c.Find("FILE" + std::to_string(i) + ".BRI");
    ASSERT_NE(item, nullptr) << i;
    EXPECT_EQ(item->value, i);
    EXPECT_EQ(item->Index(), i);
  }
  // Deleting from the front keeps every position right.
  for (int k = 0; k < 100; ++k) c.Delete(0);
  EXPECT_EQ(c.IndexOf("file100.bri"), 0);
  EXPECT_EQ(c.IndexOf("file2999.bri"), 2899);
}

}  // namespace
}  // namespace nova::files
