// docs/transitions.md: every strip on the page is what the command above it
// makes now, and `nova img wipe` refuses what it cannot do.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <sstream>

#include "graphics/png_codec.h"
#include "support/test_support.h"

namespace nova::tools {
namespace {

namespace fs = std::filesystem;

std::string nova() { return (test::binary_dir() / "tools" / "nova").string(); }

std::unique_ptr<graphics::TDIBSurface> read_strip(const fs::path& p) {
  const std::string bytes = test::read_file(p);
  auto s = std::make_unique<graphics::TDIBSurface>();
  std::int32_t transparent = -1;
  graphics::read_png({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, *s, transparent, {});
  return s;
}

// The first pixel where two strips differ, or "".
std::string difference(const graphics::TDIBSurface& a, const graphics::TDIBSurface& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return "sizes differ";
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      if (a.GetPixel(x, y) != b.GetPixel(x, y)) return "pixel " + std::to_string(x) + ", " + std::to_string(y);
    }
  }
  return "";
}

TEST(TransitionDocs, EveryStripIsWhatItsCommandMakes) {
  const fs::path folder = test::source_dir() / "docs" / "transitions";
  std::istringstream page(test::read_file(test::source_dir() / "docs" / "transitions.md"));
  test::TempDir temp;
  std::set<int> types;
  int strips = 0;
  std::string line;
  const std::string prefix = "nova img wipe old.png new.png ";
  while (std::getline(page, line)) {
    if (line.rfind(prefix, 0) != 0) continue;
    std::istringstream words(line.substr(prefix.size()));
    std::string out, word;
    words >> out;
    std::string rest;
    while (words >> word) {
      rest += " " + word;
      if (word == "--type") {
        int n = 0;
        words >> n;
        types.insert(n);
        rest += " " + std::to_string(n);
      }
    }
    std::string err;
    const int status = test::run_command("cd '" + folder.string() + "' && " + nova() + " img wipe old.png new.png '" +
                                             (temp.path() / out).string() + "'" + rest + " 2>&1",
                                         &err);
    ASSERT_EQ(status, 0) << line << "\n" << err;
    EXPECT_EQ(difference(*read_strip(temp.path() / out), *read_strip(folder / out)), "")
        << out << " differs from what `" << line << "` makes (scripts/make-transition-strips)";
    ++strips;
  }
  EXPECT_EQ(types.size(), 38u);
  EXPECT_GE(strips, 38);
}

TEST(TransitionDocs, WipeRefusesWhatItCannotDo) {
  const fs::path folder = test::source_dir() / "docs" / "transitions";
  test::TempDir temp;
  const std::string base = "cd '" + folder.string() + "' && " + nova() + " img wipe ";
  const std::string out = " '" + (temp.path() / "x.png").string() + "'";
  struct Case {
    std::string args, message;
  };
  const Case cases[] = {
      {"old.png new.png" + out, "--type"},
      {"old.png new.png" + out + " --type 39", "--type needs a whole number from 1 to 38"},
      {"old.png new.png" + out + " --type 0", "--type needs a whole number from 1 to 38"},
      {"old.png" + out + " --type 1", "OLD, NEW and OUT.png"},
      {"old.png mask.png" + out + " --type 1 --depth 24", "--depth is 32 or 16"},
      {"old.png missing.png" + out + " --type 1", "missing.png"},
      {"old.png ../transitions.md" + out + " --type 1", "not a PNG, bitmap or layered picture"},
      {"old.png new.png" + out + " --type 1 --steps 65", "--steps"},
      {"old.png new.png" + out + " --type 1 --bogus", "unknown option --bogus"},
  };
  for (const Case& c : cases) {
    std::string text;
    EXPECT_NE(test::run_command(base + c.args + " 2>&1", &text), 0) << c.args;
    EXPECT_NE(text.find(c.message), std::string::npos) << c.args << "\n" << text;
  }
  EXPECT_FALSE(fs::exists(temp.path() / "x.png"));
  // 16-bit screens and a strip of one moment: the old picture through 5-6-5.
  std::string text;
  ASSERT_EQ(test::run_command(base + "old.png new.png" + out + " --type 12 --steps 1 --depth 16 2>&1", &text), 0)
      << text;
  const auto one_holder = read_strip(temp.path() / "x.png"), old_holder = read_strip(folder / "old.png");
  const graphics::TDIBSurface &one = *one_holder, &old_picture = *old_holder;
  ASSERT_EQ(one.Width(), 96);
  for (int y = 0; y < 72; ++y) {
    for (int x = 0; x < 96; ++x) {
      const std::uint32_t a = one.GetPixel(x, y), b = old_picture.GetPixel(x, y);
      for (int shift : {0, 8, 16}) {
        const int bits = shift == 8 ? 6 : 5;
        ASSERT_EQ((a >> (shift + 8 - bits)) & ((1u << bits) - 1), (b >> (shift + 8 - bits)) & ((1u << bits) - 1))
            << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace nova::tools
