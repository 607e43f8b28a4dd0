// Pages through the decompiler and back: exact dumps build to the very
// bytes, plain dumps to pages that behave the same.
#include <gtest/gtest.h>

#include "core/error.h"
#include "random_page.h"
#include "support/test_support.h"
#include "tools/toolchain/expr_stream.h"
#include "tools/toolchain/page_compiler.h"
#include "tools/toolchain/page_decompiler.h"

namespace nova::tools {
namespace {

using script::TCommandRecord;
using script::TPageFile;

std::string dump(const TPageFile& page, bool exact, PageDumpStats& stats, const std::string& name = "rand.nsb") {
  PageDumpOptions o;
  o.exact = exact;
  o.page_name = name;
  return dump_page(page, o, stats);
}

TPageFile build(const std::string& source, const std::string& name = "rand.nsb") {
  Diagnostics d;
  auto page = compile_page_source(source, "dump", name, d);
  EXPECT_TRUE(page) << d.format() << "\n" << source;
  return page ? *page : TPageFile{};
}

TEST(PageRoundTrip, ExactDumpsOfRandomPagesBuildToTheirOwnBytes) {
  test::RandomPage random(77);
  int pages = 0, raw = 0, foreign = 0, raw_texts = 0, foreign_texts = 0;
  for (int i = 0; i < 300; ++i) {
    const TPageFile page = random.page("rand.nsb");
    const std::vector<std::uint8_t> bytes = page.bytes();
    // What the writers wrote, the reader reads back whole.
    const TPageFile read = TPageFile::parse(bytes, "rand.nsb");
    PageDumpStats stats;
    const std::string source = dump(read, true, stats);
    if (!stats.verified) {
      Diagnostics d;
      auto again = compile_page_source(source, "dump", "rand.nsb", d);
      std::string why = d.format();
      if (again) {
        const TPageFile& b = *again;
        for (std::size_t k = 0; k < std::min(b.commands.size(), read.commands.size()); ++k) {
          script::TPageFile one_a = read, one_b = b;
          if (read.commands[k].nesting_level != b.commands[k].nesting_level)
            why += "level differs at " + std::to_string(k) + "\n";
          if (read.commands[k].line_number != b.commands[k].line_number)
            why += "line differs at " + std::to_string(k) + "\n";
          for (std::size_t f = 0; f < read.commands[k].fields.size(); ++f) {
            const auto& x = read.commands[k].fields[f];
            const auto& y = b.commands[k].fields[f];
            if (x.bytes != y.bytes || x.number != y.number || !(x.expression == y.expression) ||
                x.expressions.size() != y.expressions.size())
              why += "field " + std::to_string(f) + " differs at " + std::to_string(k) + "\n";
          }
          if (read.commands[k].properties.size() != b.commands[k].properties.size())
            why += "properties differ at " + std::to_string(k) + "\n";
          else
            for (std::size_t q = 0; q < b.commands[k].properties.size(); ++q)
              if (!(read.commands[k].properties[q].expression == b.commands[k].properties[q].expression))
                why += "property differs at " + std::to_string(k) + "\n";
          if (read.commands[k].code_byte != b.commands[k].code_byte ||
              read.commands[k].skip_flag != b.commands[k].skip_flag ||
              read.commands[k].continue_flag != b.commands[k].continue_flag)
            why += "head differs at " + std::to_string(k) + "\n";
        }
        if (b.version != read.version) why += "version\n";
        if (b.property_records != read.property_records) why += "records\n";
        if (b.extra_records != read.extra_records || b.record_count != read.record_count ||
            b.record_size != read.record_size)
          why += "extra\n";
        if (b.trailing != read.trailing) why += "trailing\n";
      }
      FAIL() << "page " << i << ": " << why << "\n" << source;
    }
    ASSERT_EQ(build(source).bytes(), bytes) << "page " << i << ":\n" << source;
    ++pages;
    raw += stats.raw_expressions;
    foreign += random.foreign_expressions();
    raw_texts += stats.raw_texts;
    foreign_texts += random.foreign_texts();
  }
  EXPECT_EQ(pages, 300);
  // Only what no text can give is kept as bytes: the expressions that did
  // not come from the compiler, and the rare compiled one that has no text
  // in its field (a variable named like a property, in a property field,
  // where the name stands for the property).
  EXPECT_LE(raw, foreign + pages / 100);
  EXPECT_LE(raw_texts, foreign_texts + pages / 10);
}

// Equal where the player can tell: codes, structure, flags, fields and the
// operations of every expression (temporaries may be numbered otherwise).
void expect_same_behaviour(const TPageFile& a, const TPageFile& b, const std::string& source) {
  ASSERT_EQ(a.commands.size(), b.commands.size()) << source;
  EXPECT_EQ(a.return_type, b.return_type);
  auto same_expression = [](const script::TExpression& x, const script::TExpression& y) {
    if (x.stream() == y.stream()) return true;
    try {
      return equivalent_streams(parse_expr_stream(x.stream()), parse_expr_stream(y.stream()));
    } catch (const core::Error&) {
      return false;
    }
  };
  for (std::size_t i = 0; i < a.commands.size(); ++i) {
    const TCommandRecord& x = a.commands[i];
    const TCommandRecord& y = b.commands[i];
    SCOPED_TRACE(::testing::Message() << "command " << i << " of\n" << source);
    EXPECT_EQ(x.code(), y.code());
    EXPECT_EQ(x.nesting_level, y.nesting_level);
    EXPECT_EQ(x.skip_flag, y.skip_flag);
    EXPECT_EQ(x.continue_flag, y.continue_flag);
    for (std::size_t k = 0; k < x.fields.size(); ++k) {
      const auto& f = x.fields[k];
      const auto& g = y.fields[k];
      EXPECT_EQ(f.bytes, g.bytes);
      EXPECT_EQ(f.number, g.number);
      EXPECT_TRUE(same_expression(f.expression, g.expression));
      ASSERT_EQ(f.expressions.size(), g.expressions.size());
      for (std::size_t e = 0; e < f.expressions.size(); ++e) {
        EXPECT_TRUE(same_expression(f.expressions[e], g.expressions[e]));
      }
    }
    for (const auto& p : x.properties) {
      const auto* q = y.property(p.id);
      ASSERT_TRUE(q) << "property " << p.id;
      EXPECT_TRUE(same_expression(p.expression, q->expression));
    }
  }
}

TEST(PageRoundTrip, PlainDumpsBuildPagesThatBehaveTheSame) {
  test::RandomPage random(1234);
  for (int i = 0; i < 150; ++i) {
    const TPageFile page = random.page("rand.nsb", i % 2 == 0);
    PageDumpStats stats;
    const std::string source = dump(page, false, stats);
    expect_same_behaviour(page, build(source), source);
  }
}

}  // namespace
}  // namespace nova::tools
