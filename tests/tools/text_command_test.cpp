// `nova text`, run as an author runs it: every example of
// docs/text-preview.md (which together use every option), what each makes,
// and the failures it reports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "graphics/dib_surface.h"
#include "graphics/png_codec.h"
#include "platform/png_writer.h"
#include "support/test_support.h"

namespace nova::tools {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::TempDir;
using test::write_file;

std::string nova() { return (test::binary_dir() / "tools" / "nova").string(); }

int run(const fs::path& dir, const std::string& args, std::string* out = nullptr, std::string* err = nullptr) {
  std::string text;
  const fs::path err_file = dir / ".stderr";
  const int status = test::run_command(
      "cd '" + dir.string() + "' && " + nova() + " " + args + " 2>'" + err_file.string() + "'", &text);
  if (out) *out = text;
  if (err) *err = read_file(err_file);
  return status;
}

struct Png {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00RRGGBB
  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

Png read_png(const fs::path& p) {
  const std::string bytes = read_file(p);
  graphics::TDIBSurface s;
  std::int32_t transparent = -1;
  graphics::read_png(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), s, transparent,
                     graphics::PictureLimits{});
  Png out{s.Width(), s.Height(), {}};
  for (int y = 0; y < s.Height(); ++y) {
    for (int x = 0; x < s.Width(); ++x) out.pixels.push_back(s.GetPixel(x, y) & 0xFFFFFF);
  }
  return out;
}

void make_inputs(const fs::path& dir) {
  write_file(dir / "message.txt",
             "ゲームの世界へようこそ。この文はメッセージボックスに表示される文章の見本です。<BR>"
             "行末の禁則により、「括弧」や句読点は行の始めと終わりに来ません。<BR>\n"
             "Half-width words such as internationalization stay whole.<BR>\n"
             "最後の段落です。");
  write_file(dir / "ruby.txt", "<RUBY VALUE=\"ふりがな\">振仮名</RUBY>は漢字の上に付きます。");
  write_file(dir / "links.txt", "<A HREF=\"page:one\">一つ目の選択肢</A><BR><A HREF=\"page:two\">二つ目の選択肢</A>");
  write_file(dir / "vars.txt", "<VAR NAME=name>さんは<VAR NAME=place>へ行った。");
  write_file(dir / "picture.txt", "顔<IMG SRC=face.png ALIGN=CENTER>です");
  // A 12 × 40 picture of pure green.
  std::vector<std::uint32_t> face(12 * 40, 0x00FF00);
  platform::PixelView view{reinterpret_cast<const std::uint8_t*>(face.data()), 12, 40, 48, platform::PixelFormat::Xrgb32};
  ASSERT_TRUE(platform::write_png(dir / "face.png", view, graphics::Rect{0, 0, 12, 40}));
}

// Every "$ nova ..." line of the documentation's console blocks, in order.
std::vector<std::string> doc_commands() {
  std::istringstream in(read_file(test::source_dir() / "docs" / "text-preview.md"));
  std::vector<std::string> out;
  std::string line;
  bool console = false;
  while (std::getline(in, line)) {
    if (line == "```console") {
      console = true;
    } else if (line == "```") {
      console = false;
    } else if (console && line.rfind("$ nova ", 0) == 0) {
      out.push_back(line.substr(7));
    }
  }
  return out;
}

TEST(NovaText, TheDocumentedExamplesRunUseEveryOptionAndMakeWhatTheySay) {
  TempDir dir;
  make_inputs(dir.path());
  const auto commands = doc_commands();
  ASSERT_GE(commands.size(), 10u);
  std::string all;
  for (const std::string& c : commands) {
    std::string out, err;
    EXPECT_EQ(run(dir.path(), c, &out, &err), 0) << c << "\n" << err;
    all += c + "\n";
  }
  for (const char* option : {"--size ", "--font ", "--font-size ", "--border ", "--shadow ", "--color ", "--border-color ",
                             "--shadow-color ", "--link-color ", "--hover-color ", "--background ", "--line-spacing ",
                             "--quality ", "--bits ", "--var ", "--hover ", "--help", "x0 ", "0x"}) {
    EXPECT_NE(all.find(option), std::string::npos) << option << " is not run by any example";
  }
  for (const char* made : {"message.png", "narrow_000.png", "narrow_001.png", "tall.png", "long_000.png", "ruby.png",
                           "links.png", "plain.png", "vars.png", "picture.png"}) {
    EXPECT_TRUE(fs::exists(dir / made)) << made;
  }
  EXPECT_FALSE(fs::exists(dir / "tall_000.png"));
  const Png message = read_png(dir / "message.png");
  EXPECT_EQ(message.width, 640);
  EXPECT_EQ(message.height, 480);
  EXPECT_EQ(message.at(639, 479), 0x203040u);  // the background
  const Png narrow = read_png(dir / "narrow_000.png");
  EXPECT_EQ(narrow.width, 200);
  EXPECT_EQ(narrow.height, 72);
  // One page as tall as the text: more than four rows of 24 pixels.
  const Png tall = read_png(dir / "tall.png");
  EXPECT_EQ(tall.width, 300);
  EXPECT_GT(tall.height, 4 * 24);
  // Without wrapping, the first paragraph is one row wider than 640.
  EXPECT_GT(read_png(dir / "long_000.png").width, 640);
  // The hovered link is in the hover colour, the other in the link colour
  // (painted through the mask, which weighs by 255/256).
  auto near = [](std::uint32_t v, std::uint32_t colour) {
    for (int shift : {0, 8, 16}) {
      if (std::abs(static_cast<int>(v >> shift & 0xFF) - static_cast<int>(colour >> shift & 0xFF)) > 1) return false;
    }
    return true;
  };
  const Png links = read_png(dir / "links.png");
  int hover = 0, link = 0;
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < links.width; ++x) link += near(links.at(x, y), 0x80C0FF);
  }
  for (int y = 24; y < 48; ++y) {
    for (int x = 0; x < links.width; ++x) hover += near(links.at(x, y), 0xFFC040);
  }
  EXPECT_GT(link, 50);
  EXPECT_GT(hover, 50);
  // 16-bit colours: each channel repeats its high bits in its low ones.
  const Png plain = read_png(dir / "plain.png");
  for (std::uint32_t v : plain.pixels) {
    const std::uint32_t r = v >> 16, g = v >> 8 & 0xFF, b = v & 0xFF;
    ASSERT_EQ(r & 7, r >> 5);
    ASSERT_EQ(g & 3, g >> 6);
    ASSERT_EQ(b & 7, b >> 5);
  }
  // Variables show their values: more ink than without them.
  ASSERT_EQ(run(dir.path(), "text vars.txt novars.png"), 0);
  auto ink = [](const Png& p) {
    int n = 0;
    for (std::uint32_t v : p.pixels) n += v != 0x203040;
    return n;
  };
  EXPECT_GT(ink(read_png(dir / "vars.png")), ink(read_png(dir / "novars.png")) + 200);
  // The picture, opaque green, centred on the row: 40 tall over a row of 24.
  const Png picture = read_png(dir / "picture.png");
  int green = 0, top = picture.height;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      if (near(picture.at(x, y), 0x00FF00)) {
        ++green;
        top = std::min(top, y);
      }
    }
  }
  EXPECT_EQ(green, 12 * 40);
  EXPECT_EQ(top, 0);
}

TEST(NovaText, FailuresSayWhatAndWhere) {
  TempDir dir;
  make_inputs(dir.path());
  write_file(dir / "emoji.txt", "絵文字😀です");
  write_file(dir / "badlink.txt", "<A>x</A>");
  write_file(dir / "missing.txt", "<IMG SRC=nothere.png>あ");
  struct Case {
    const char* args;
    const char* says;
  };
  for (const Case& c : {Case{"text nothere.txt out.png", "nothere.txt"},
                        Case{"text emoji.txt out.png", "has no Shift-JIS form"},
                        Case{"text badlink.txt out.png", "HREF"},
                        Case{"text message.txt out.png --size 20", "--size needs two numbers"},
                        Case{"text message.txt out.png --size 99999x10", "at most 16384"},
                        Case{"text message.txt out.png --color red", "--color needs a colour #RRGGBB"},
                        Case{"text message.txt out.png --bits 24", "--bits is 32 or 16"},
                        Case{"text message.txt out.png --border 65", "--border needs a whole number from 0 to 64"},
                        Case{"text message.txt out.png --var =x", "--var needs NAME=VALUE"},
                        Case{"text message.txt out.png --frobnicate", "unknown option --frobnicate"},
                        Case{"text message.txt", "needs FILE and OUT.png"}}) {
    SCOPED_TRACE(c.args);
    std::string err;
    EXPECT_EQ(run(dir.path(), c.args, nullptr, &err), 1);
    EXPECT_NE(err.find(c.says), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
  }
  EXPECT_FALSE(fs::exists(dir / "out.png"));
  // A missing picture takes no room, and is told.
  std::string err;
  EXPECT_EQ(run(dir.path(), "text missing.txt out.png", nullptr, &err), 0);
  EXPECT_NE(err.find("nothere.png"), std::string::npos);
}

}  // namespace
}  // namespace nova::tools
