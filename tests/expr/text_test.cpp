// Character-aware string operations, half/full-width conversion, EUC-JP and
// the random generators.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "core/error.h"
#include "core/sjis.h"
#include "expr/kana.h"
#include "expr/random.h"
#include "expr/sjis_scan.h"
#include "expr/sjis_string.h"
#include "support/test_support.h"

namespace nova::expr {
namespace {

using test::sjis;

TEST(SjisString, CountsCopiesAndFindsWholeCharacters) {
  std::string mixed = sjis("漢字ab語");
  EXPECT_EQ(j_length(mixed), 5);
  EXPECT_EQ(mixed.size(), 8u);
  EXPECT_EQ(j_copy(sjis("漢字"), 2, 1), sjis("字"));
  EXPECT_EQ(j_copy(mixed, 0, 3), sjis("漢字a"));  // an index below 1 counts as 1
  EXPECT_EQ(j_copy(mixed, 4, 100), sjis("b語"));
  EXPECT_EQ(j_copy(mixed, 9, 1), "");
  // "表" is 0x95 0x5C: its trail byte is a backslash, and "ソ" (0x83 0x5C)
  // likewise. Neither may be found as "\".
  std::string tricky = sjis("表ソ\\");
  EXPECT_EQ(j_pos("\\", tricky), 3);
  // 0x8341 ("ア") has the trail byte 'A'.
  EXPECT_EQ(j_pos("A", sjis("アイ")), 0);
  EXPECT_EQ(j_pos(sjis("イ"), sjis("アイ")), 2);
  EXPECT_EQ(j_pos("", "abc"), 0);
}

TEST(SjisString, InsertsDeletesAndTrims) {
  EXPECT_EQ(j_insert("x", sjis("漢字"), 2), sjis("漢x字"));
  EXPECT_EQ(j_insert("x", sjis("漢字"), -3), sjis("x漢字"));
  EXPECT_EQ(j_insert("x", sjis("漢字"), 10), sjis("漢字x"));
  EXPECT_EQ(j_delete(sjis("漢字かな"), 2, 2), sjis("漢な"));
  EXPECT_EQ(j_delete(sjis("漢字"), 3, 1), sjis("漢字"));
  EXPECT_EQ(j_delete(sjis("漢字"), 0, 1), sjis("漢字"));
  EXPECT_EQ(j_trim(sjis("　 漢字 　")), sjis("漢字"));
  EXPECT_EQ(j_trim(sjis("\t漢字　")), sjis("\t漢字"));
  EXPECT_EQ(j_trim(sjis("　　")), "");
}

TEST(SjisString, CharacterPositionsAndTrailBytes) {
  std::string s = sjis("a漢b");
  EXPECT_EQ(char_at(s, 2), 0x8ABF);
  EXPECT_EQ(char_at(s, 3), 'b');
  EXPECT_THROW(char_at(s, 4), core::Error);
  EXPECT_EQ(char_to_byte(s, 3), 4);
  EXPECT_EQ(char_to_byte(s, 4), 5);
  EXPECT_THROW(char_to_byte(s, 5), core::Error);
  EXPECT_FALSE(is_trail_byte(s, 2));
  EXPECT_TRUE(is_trail_byte(s, 3));
  EXPECT_FALSE(is_trail_byte(s, 4));
  // Three lead-byte values in a row: the third is a lead again, the byte
  // after it its trail.
  std::string leads("\x81\x81\x81\x41", 4);
  EXPECT_TRUE(is_trail_byte(leads, 2));
  EXPECT_FALSE(is_trail_byte(leads, 3));
  EXPECT_TRUE(is_trail_byte(leads, 4));
  try {
    is_trail_byte(s, 0);
    FAIL() << "no error";
  } catch (const core::Error& e) {
    EXPECT_EQ(e.message(), "Illegal Index");
  }
  EXPECT_THROW(is_trail_byte(s, 5), core::Error);
}

TEST(SjisString, CutsAtTheFirstRealDelimiter) {
  std::string text = sjis("表,ソ;x");  // both trail bytes are 0x5C, not delimiters here
  EXPECT_EQ(cut_at_delimiter(text, ";,"), sjis("表"));
  EXPECT_EQ(text, sjis("ソ;x"));
  EXPECT_EQ(cut_at_delimiter(text, ";,"), sjis("ソ"));
  EXPECT_EQ(cut_at_delimiter(text, ";,"), "x");
  EXPECT_EQ(text, "");
  std::string slash = sjis("表\\x");
  EXPECT_EQ(cut_at_delimiter(slash, "\\"), sjis("表"));
  EXPECT_EQ(slash, "x");
}

// The reference: walk every character from the start.
std::size_t find_on_boundary_by_walking(std::string_view text, std::string_view part, std::size_t from) {
  if (part.empty()) return std::string_view::npos;
  for (std::size_t pos = from; pos < text.size(); pos += core::char_length(text, pos)) {
    if (text.compare(pos, part.size(), part) == 0) return pos;
  }
  return std::string_view::npos;
}

TEST(SjisString, BoundarySearchesAgreeWithTheWalkOnLeadHeavyText) {
  // Bytes drawn mostly from the lead range, so runs of lead-range bytes are
  // long and candidates often start on a trail byte.
  expr::TKvRandom r(77);
  const std::uint8_t alphabet[] = {0x81, 0x8E, 0x9A, 0x9F, 0xE0, 0xFC, 0x5C, 0x41, 0xA0, 0x20};
  for (int round = 0; round < 200; ++round) {
    std::string text;
    const std::size_t n = static_cast<std::uint32_t>(r.next()) % 300;
    for (std::size_t i = 0; i < n; ++i)
      text.push_back(static_cast<char>(alphabet[static_cast<std::uint32_t>(r.next()) % 10]));
    for (int k = 0; k < 10; ++k) {
      std::string part;
      const std::size_t m = 1 + static_cast<std::uint32_t>(r.next()) % 3;
      for (std::size_t i = 0; i < m; ++i)
        part.push_back(static_cast<char>(alphabet[static_cast<std::uint32_t>(r.next()) % 10]));
      ASSERT_EQ(find_on_boundary(text, part), find_on_boundary_by_walking(text, part, 0));
      const auto at = find_on_boundary_by_walking(text, part, 0);
      if (at != std::string_view::npos) {
        EXPECT_EQ(j_pos(part, text), j_length(text.substr(0, at)) + 1);
      } else {
        EXPECT_EQ(j_pos(part, text), 0);
      }
    }
  }
  // Long texts where the part's first byte is rare, so the count runs far
  // ahead of the search: the part planted a few times, some of them on a
  // trail byte (after an odd run of lead-range bytes).
  const std::uint8_t body[] = {0x81, 0x8E, 0x9A, 0x9F, 0xE0, 0x41, 0xA0, 0x20};
  for (int round = 0; round < 60; ++round) {
    std::string text;
    const std::size_t n = 600 + static_cast<std::uint32_t>(r.next()) % 5000;
    for (std::size_t i = 0; i < n; ++i) text.push_back(static_cast<char>(body[static_cast<std::uint32_t>(r.next()) % 8]));
    const std::string part = round % 2 ? std::string("ZQ") : std::string("\xFC\x40");
    for (int k = 0; k < 3; ++k) {
      const std::size_t at = static_cast<std::uint32_t>(r.next()) % text.size();
      text.replace(at, std::min(part.size(), text.size() - at), part);
    }
    const auto at = find_on_boundary_by_walking(text, part, 0);
    EXPECT_EQ(j_pos(part, text), at == std::string_view::npos ? 0 : j_length(text.substr(0, at)) + 1)
        << "round " << round;
  }
  // Every candidate on a trail byte: "字" is 8E 9A, both in the lead range.
  std::string all_lead;
  for (int i = 0; i < 100000; ++i) all_lead += sjis("字");
  EXPECT_EQ(find_on_boundary(all_lead, "\x9A\x8E"), std::string_view::npos);
  EXPECT_EQ(find_on_boundary(all_lead + "\x9A\x8E", "\x9A\x8E"), all_lead.size());
}

TEST(SjisScan, BlockScansAgreeWithTheWalkAcrossBlocksAndRuns) {
  // Long lead-range runs (odd and even, across the 64-byte blocks), lone
  // leads at the very end, and starts inside double-byte characters.
  // Every kernel's count (fresh and going on from a cursor's state) and
  // skip are held to the walk, not only the one this machine picks.
  const auto kernels = detail::lead_range_kernels();
  expr::TKvRandom r(5);
  const std::uint8_t alphabet[] = {0x81, 0x9F, 0xE0, 0xFC, 0x80, 0xA0, 0xFD, 0x40, 0x7E, 0x00};
  for (int round = 0; round < 500; ++round) {
    std::string text;
    // Some texts long enough for many blocks, and runs of one lead-range
    // byte longer than a block (odd and even), then more text.
    const std::size_t n = static_cast<std::uint32_t>(r.next()) % (round % 5 == 0 ? 1500 : 400);
    if (round % 7 == 3) text.append(60 + static_cast<std::uint32_t>(r.next()) % 200, '\x81');
    const std::uint32_t leadish = static_cast<std::uint32_t>(r.next()) % 10;  // density of lead bytes
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t pick = static_cast<std::uint32_t>(r.next()) % 10;
      text.push_back(static_cast<char>(alphabet[pick < leadish ? pick % 4 : pick]));
    }
    // Starting points that begin characters, by the walk.
    std::vector<std::size_t> starts;
    for (std::size_t pos = 0; pos <= text.size(); pos += pos < text.size() ? core::char_length(text, pos) : 1)
      starts.push_back(pos);
    for (int k = 0; k < 8 && !starts.empty(); ++k) {
      const std::size_t from = starts[static_cast<std::uint32_t>(r.next()) % starts.size()];
      for (std::size_t to = from; to <= text.size(); to += 1 + static_cast<std::uint32_t>(r.next()) % 23) {
        const CharSpan fast = count_chars(text, from, to), slow = reference::count_chars(text, from, to);
        ASSERT_EQ(fast.chars, slow.chars) << "round " << round << " from " << from << " to " << to;
        ASSERT_EQ(fast.to_is_start, slow.to_is_start) << "round " << round << " from " << from << " to " << to;
      }
      for (std::size_t skip = 0; skip <= text.size() - from + 2; skip += 1 + static_cast<std::uint32_t>(r.next()) % 17) {
        const std::size_t slow = reference::skip_chars(text, from, skip);
        ASSERT_EQ(skip_chars(text, from, skip), slow) << round << " " << skip;
        for (const auto& kernel : kernels) {
          ASSERT_EQ(kernel.skip(text, from, skip), slow) << kernel.name << " " << round;
          std::string copied = "<";
          ASSERT_EQ(kernel.copy(text, from, skip, copied), slow) << kernel.name << " " << round;
          ASSERT_EQ(copied, "<" + text.substr(from, slow - from)) << kernel.name << " " << round;
        }
      }
      for (const auto& kernel : kernels) {
        std::size_t at = from, chars = 0;
        bool carry = false;
        for (std::size_t to = from; to <= text.size(); to += 1 + static_cast<std::uint32_t>(r.next()) % 150) {
          std::size_t fresh_at = from, fresh_chars = 0;
          bool fresh_carry = false;
          const CharSpan slow = reference::count_chars(text, from, to);
          const CharSpan fresh = kernel.count(text, fresh_at, fresh_chars, fresh_carry, to);
          const CharSpan going_on = kernel.count(text, at, chars, carry, to);
          ASSERT_EQ(fresh.chars, slow.chars) << kernel.name << " round " << round << " from " << from << " to " << to;
          ASSERT_EQ(fresh.to_is_start, slow.to_is_start) << kernel.name << " round " << round << " to " << to;
          ASSERT_EQ(going_on.chars, slow.chars) << kernel.name << " round " << round << " from " << from << " to " << to;
          ASSERT_EQ(going_on.to_is_start, slow.to_is_start) << kernel.name << " round " << round << " to " << to;
        }
      }
    }
    // Parts cut from the text itself (often starting on a trail byte, so
    // found later or not at all) and short parts of the alphabet.
    for (int k = 0; k < 6 && !text.empty(); ++k) {
      const std::size_t at = static_cast<std::uint32_t>(r.next()) % text.size();
      std::string part = text.substr(at, 1 + static_cast<std::uint32_t>(r.next()) % 4);
      if (k % 3 == 2) part = std::string(1, static_cast<char>(alphabet[static_cast<std::uint32_t>(r.next()) % 10]));
      const CharFind slow = reference::find_chars(text, part);
      for (const auto& kernel : kernels) {
        const CharFind fast = kernel.find(text, part);
        ASSERT_EQ(fast.at, slow.at) << kernel.name << " round " << round << " part at " << at;
        ASSERT_EQ(fast.chars, slow.chars) << kernel.name << " round " << round << " part at " << at;
      }
    }
  }
  // Runs of lead-range bytes over whole 64-byte lanes, starting at even and
  // odd offsets, in texts long enough for several 512-byte chunks: the add
  // carries through full lanes and into the next.
  for (std::size_t lead_in = 0; lead_in < 4; ++lead_in) {
    for (std::size_t run = 60; run < 700; run += 37) {
      std::string text(lead_in, 'a');
      text.append(run, '\x9F');
      for (int i = 0; text.size() < 1600; ++i) text += i % 3 ? sjis("字") : "b";
      const CharSpan slow = reference::count_chars(text, 0, text.size());
      for (const auto& kernel : kernels) {
        std::size_t at = 0, chars = 0;
        bool carry = false;
        const CharSpan fast = kernel.count(text, at, chars, carry, text.size());
        ASSERT_EQ(fast.chars, slow.chars) << kernel.name << " lead-in " << lead_in << " run " << run;
        for (std::size_t skip : {run / 2 - 1, run / 2 + 1, run / 2 + 40, slow.chars - 1}) {
          const std::size_t end = reference::skip_chars(text, 0, skip);
          ASSERT_EQ(kernel.skip(text, 0, skip), end) << kernel.name << " " << run;
          std::string copied;
          ASSERT_EQ(kernel.copy(text, 0, skip, copied), end) << kernel.name << " " << run;
          ASSERT_EQ(copied, text.substr(0, end)) << kernel.name << " " << run;
        }
      }
    }
  }
  // A text of many 4 KB and 32 KB runs of chunks, skipped and copied to
  // starts in each kind of run and in the last blocks.
  {
    std::string text;
    while (text.size() < 80000) {
      const std::uint32_t pick = static_cast<std::uint32_t>(r.next()) % 10;
      text.push_back(static_cast<char>(alphabet[pick < 6 ? pick % 4 : pick]));
    }
    const std::size_t chars = reference::count_chars(text, 0, text.size()).chars;
    for (const auto& kernel : kernels) {
      std::size_t at = 0, counted = 0;
      bool carry = false;
      ASSERT_EQ(kernel.count(text, at, counted, carry, text.size()).chars, chars) << kernel.name;
      for (std::size_t skip : {std::size_t{100}, std::size_t{3000}, std::size_t{20000}, chars - 5, chars + 5}) {
        const std::size_t from = reference::skip_chars(text, 0, 7);
        const std::size_t end = reference::skip_chars(text, from, skip);
        std::string copied;
        ASSERT_EQ(kernel.copy(text, from, skip, copied), end) << kernel.name << " " << skip;
        ASSERT_EQ(copied, text.substr(from, end - from)) << kernel.name << " " << skip;
      }
    }
  }
  // Every byte value through each mask kernel, at every lane.
  for (int shift = 0; shift < 64; shift += 7) {
    std::uint8_t block[64];
    for (int v = 0; v < 256; v += 64) {
      for (int i = 0; i < 64; ++i) block[i] = static_cast<std::uint8_t>(v + ((i + shift) & 63));
      for (const auto& k : kernels) EXPECT_EQ(k.bits(block), kernels[0].bits(block)) << k.name << " " << v;
    }
  }
  // A text of one double-byte character repeated: every odd offset is a trail.
  std::string kanji;
  for (int i = 0; i < 1000; ++i) kanji += sjis("字");
  EXPECT_EQ(count_chars(kanji, 0, kanji.size()).chars, 1000u);
  EXPECT_FALSE(count_chars(kanji, 0, 129).to_is_start);
  EXPECT_EQ(skip_chars(kanji, 0, 999), 1998u);
  EXPECT_EQ(j_copy(kanji + "x", 1000, 5), sjis("字") + "x");
}

TEST(SjisScan, FindsPartsOnBoundariesAtEveryGroupEdge) {
  // A text of double-byte characters whose bytes are all in the lead range
  // ("字" is 8E 9A), so every odd offset is a trail byte and the part's
  // bytes occur on trail bytes everywhere; single-byte characters put in
  // at chosen offsets move the boundaries to the other parity from there.
  const auto kernels = detail::lead_range_kernels();
  const std::string kanji = sjis("字");
  for (std::size_t lead_in : {0u, 1u}) {
    for (std::size_t at : {0u, 1u, 62u, 63u, 64u, 126u, 127u, 128u, 129u, 254u, 255u, 256u, 383u, 447u, 448u, 500u,
                           511u, 512u, 1023u}) {
      std::string text(lead_in, 'a');
      while (text.size() < 1200) text += kanji;
      // The part "Q" + two lead-range bytes, planted at `at` (on whichever
      // parity that is), and again at the end after a single-byte character.
      const std::string part = std::string("Q") + "\x9A\x8E";
      text.replace(at, part.size(), part);
      text += "a" + part;
      for (const std::string& p : {part, std::string("\x9A\x8E"), std::string("\x8E"), std::string("Q")}) {
        const CharFind slow = reference::find_chars(text, p);
        for (const auto& kernel : kernels) {
          const CharFind fast = kernel.find(text, p);
          EXPECT_EQ(fast.at, slow.at) << kernel.name << " lead-in " << lead_in << " at " << at << " part size " << p.size();
          EXPECT_EQ(fast.chars, slow.chars) << kernel.name << " lead-in " << lead_in << " at " << at;
        }
      }
      // The planted part is found where it was put or, when that falls on a
      // trail byte, at the end.
      EXPECT_NE(reference::find_chars(text, part).at, std::string::npos);
    }
  }
  // An empty part, a part longer than the text, a part cut off by the end,
  // and a text shorter than one group.
  const std::string text = sjis("漢字かなabc");
  for (const auto& kernel : kernels) {
    EXPECT_EQ(kernel.find(text, "").at, std::string::npos) << kernel.name;
    EXPECT_EQ(kernel.find(text, text + "x").at, std::string::npos) << kernel.name;
    EXPECT_EQ(kernel.find(text, "bcd").at, std::string::npos) << kernel.name;
    const CharFind c = kernel.find(text, "c");
    EXPECT_EQ(c.at, text.size() - 1) << kernel.name;
    EXPECT_EQ(c.chars, 6u) << kernel.name;
  }
  // A long text with the part only at its very end, after runs of every
  // length across the groups.
  std::string long_text;
  for (int i = 0; long_text.size() < 20000; ++i) long_text += i % 5 ? kanji : std::string(static_cast<std::size_t>(i % 7), '\x81');
  long_text += "XYZZY";
  const CharFind slow = reference::find_chars(long_text, "XYZZY");
  ASSERT_NE(slow.at, std::string::npos);
  for (const auto& kernel : kernels) {
    const CharFind fast = kernel.find(long_text, "XYZZY");
    EXPECT_EQ(fast.at, slow.at) << kernel.name;
    EXPECT_EQ(fast.chars, slow.chars) << kernel.name;
  }
}

TEST(SjisScan, FindsPartsWhoseFirstByteIsACommonTrailByte) {
  // "ス" is 83 58: its trail byte is "X", in every group, so the search
  // gives up looking for the first byte alone partway and goes on with the
  // pair look. The part also stands once inside a double-byte character
  // (after a lone lead byte) and in the group before the end.
  const auto kernels = detail::lead_range_kernels();
  for (std::size_t lead_in : {0u, 1u, 2u}) {
    std::string text(lead_in, 'a');
    for (int i = 0; text.size() < 60000; ++i) text += i % 3 ? sjis("ス") : std::string("Y");
    text += "\x83XYZZYa";
    for (int i = 0; i < 40; ++i) text += sjis("ス");
    text += "XYZZY";
    const CharFind slow = reference::find_chars(text, "XYZZY");
    ASSERT_EQ(slow.at, text.size() - 5);
    for (const auto& kernel : kernels) {
      const CharFind fast = kernel.find(text, "XYZZY");
      EXPECT_EQ(fast.at, slow.at) << kernel.name << " lead-in " << lead_in;
      EXPECT_EQ(fast.chars, slow.chars) << kernel.name << " lead-in " << lead_in;
      const CharFind x = kernel.find(text, "XY"), slow_x = reference::find_chars(text, "XY");
      EXPECT_EQ(x.at, slow_x.at) << kernel.name;
      EXPECT_EQ(x.chars, slow_x.chars) << kernel.name;
    }
  }
}

TEST(SjisScan, ForcedKernelIsTheOneUsed) {
  const std::string text = sjis("漢字かなabc漢字");
  const std::string first = detail::lead_range_kernel_name();
  EXPECT_FALSE(detail::force_lead_range_kernel("no such kernel"));
  EXPECT_EQ(detail::lead_range_kernel_name(), first);
  for (const auto& kernel : detail::lead_range_kernels()) {
    ASSERT_TRUE(detail::force_lead_range_kernel(kernel.name));
    EXPECT_STREQ(detail::lead_range_kernel_name(), kernel.name);
    EXPECT_EQ(j_pos("abc", text), 5) << kernel.name;
    EXPECT_EQ(j_copy(text, 4, 3), sjis("なab")) << kernel.name;
    EXPECT_EQ(j_length(text), 9) << kernel.name;
  }
  EXPECT_TRUE(detail::force_lead_range_kernel(""));
  EXPECT_EQ(detail::lead_range_kernel_name(), first);
}

TEST(Kana, HalfWidthToFullWidth) {
  EXPECT_EQ(han_to_zen(sjis("ｶﾞ")), sjis("ガ"));
  EXPECT_EQ(han_to_zen(sjis("ﾊﾟﾋﾞｳﾞ")), sjis("パビウ゛"));  // u never combines
  EXPECT_EQ(han_to_zen(sjis("ﾞﾟ")), sjis("゛゜"));
  EXPECT_EQ(han_to_zen(sjis("ｱｲｳｴｵｯｰ｡｢｣､･ｦﾝﾜ")), sjis("アイウエオッー。「」、・ヲンワ"));
  EXPECT_EQ(han_to_zen("\r\n"), "");
  EXPECT_EQ(han_to_zen("Az09 "), sjis("Ａｚ０９　"));
  EXPECT_EQ(han_to_zen("\"'`-\\~|"), sjis("”’‘−￥～｜"));
  EXPECT_EQ(han_to_zen(sjis("漢")), sjis("漢"));
  EXPECT_EQ(han_to_zen(std::string("\x7F\x80\xA0\xFD", 4)), "");
}

TEST(Kana, FullWidthToHalfWidthKeepsOnlyTheTable) {
  EXPECT_EQ(zen_to_han(sjis("ガ漢字ａ１　ー")), sjis("ｶﾞa1 ｰ"));
  EXPECT_EQ(zen_to_han(sjis("“”")), "\"\"");
  EXPECT_EQ(zen_to_han(sjis("ポヴ")), sjis("ﾎﾟ"));
  EXPECT_EQ(zen_to_han(sjis("ひらがなabc")), "abc");
  // Every printable ASCII character and every half-width kana comes back.
  std::string ascii;
  for (int c = 0x20; c <= 0x7E; ++c) ascii.push_back(static_cast<char>(c));
  EXPECT_EQ(zen_to_han(han_to_zen(ascii)), ascii);
  std::string kana;
  for (int c = 0xA1; c <= 0xDF; ++c) kana.push_back(static_cast<char>(c));
  EXPECT_EQ(zen_to_han(han_to_zen(kana)), kana);
}

TEST(Kana, EucJpToShiftJis) {
  // "漢字" in EUC-JP is B4 C1 BB FA; half-width "ｱ" is 8E B1.
  EXPECT_EQ(euc_to_sjis("\xB4\xC1\xBB\xFA"), sjis("漢字"));
  EXPECT_EQ(euc_to_sjis("\x8E\xB1z"), sjis("ｱz"));
  EXPECT_EQ(euc_to_sjis(std::string("a\0b", 3)), "a b");
  EXPECT_EQ(euc_to_sjis("\xA4\xA2\xA5\xA2"), sjis("あア"));
  EXPECT_EQ(euc_to_sjis("x\xB4"), "x");  // a first byte at the end is dropped
}

TEST(Random, StandardGeneratorFollowsItsRecurrence) {
  EXPECT_EQ(StandardRandom::seed_from_time(1, 2, 3, 4), 3723004u);
  StandardRandom r(1);
  std::uint32_t seed = 1;
  for (int i = 0; i < 100; ++i) {
    seed = seed * 134775813u + 1u;
    std::int32_t expected = static_cast<std::int32_t>((static_cast<std::uint64_t>(seed) * 1000u) >> 32);
    ASSERT_EQ(r.next(1000), expected);
    ASSERT_GE(expected, 0);
    ASSERT_LT(expected, 1000);
  }
  EXPECT_EQ(r.next(0), 0);
  EXPECT_EQ(r.seed(), seed * 134775813u + 1u);
}

TEST(Random, KvRandomDeckIsAPermutationOfItsIncrement) {
  TKvRandom zero(0);
  EXPECT_EQ(zero.next(), 0);
  zero.reset_deck(5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(zero.draw(), i);
  EXPECT_THROW(zero.draw(), core::Error);

  TKvRandom r(12341);
  EXPECT_EQ(r.next(), 12341);
  EXPECT_EQ(r.next(), 12341 * 5 + 12341);
  auto permutation = [](std::uint32_t inc) {
    TKvRandom g(inc);
    g.reset_deck(4096);
    std::vector<int> out;
    for (int i = 0; i < 4096; ++i) out.push_back(g.draw());
    return out;
  };
  auto p = permutation(12341);
  EXPECT_EQ(p, permutation(12341));
  EXPECT_NE(p, permutation(7));
  // Reference: the first draws by the rule, on a plain list.
  std::vector<int> deck(4096);
  std::iota(deck.begin(), deck.end(), 0);
  std::uint32_t state = 0;
  for (int i = 0; i < 10; ++i) {
    state = state * 5 + 12341;
    std::size_t index = state % deck.size();
    EXPECT_EQ(p[static_cast<std::size_t>(i)], deck[index]);
    deck.erase(deck.begin() + static_cast<std::ptrdiff_t>(index));
  }
  std::sort(p.begin(), p.end());
  for (int i = 0; i < 4096; ++i) ASSERT_EQ(p[static_cast<std::size_t>(i)], i);
}

}  // namespace
}  // namespace nova::expr
