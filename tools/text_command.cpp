// `nova text`: tagged text as the player lays it out, as PNG pages. Authors
// preview their messages with it: the text (UTF-8, as title sources are)
// goes through the tag language, the layout and the glyph manager on the
// installed fonts, every page fully revealed (docs/text-preview.md).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "core/error.h"
#include "core/format.h"
#include "files/stream.h"
#include "graphics/brios.h"
#include "graphics/memory_dibx.h"
#include "platform/codepage.h"
#include "platform/fonts.h"
#include "platform/png_writer.h"
#include "text/font_pixel_manager.h"
#include "text/kvword.h"
#include "text/tokenizer.h"
#include "text/word_layout.h"
#include "text/word_render.h"
#include "text/word_reveal.h"
#include "tools/command_errors.h"
#include "tools/commands.h"
#include "tools/toolchain/source_text.h"

namespace nova::tools {
namespace {

namespace fs = std::filesystem;

const char* kUsage =
    "usage: nova text FILE OUT.png [options]\n\n"
    "Lays FILE (tagged text, UTF-8) out as a message box would and writes each\n"
    "page fully revealed as PNG: OUT itself for one page, OUT's name followed by\n"
    "_000, _001 ... for several. The names written are printed.\n"
    "  --size WxH            the text rectangle (640x480); width 0: no wrapping,\n"
    "                        height 0: one page as tall as the text\n"
    "  --font NAME           the default font (ＭＳ ゴシック)\n"
    "  --font-size N         the default size in pixels (24)\n"
    "  --border N            default border width, 0..64 (0)\n"
    "  --shadow N            default shadow width, 0..64 (0)\n"
    "  --color #RRGGBB       text colour (#FFFFFF)\n"
    "  --border-color #RRGGBB, --shadow-color #RRGGBB  (#808080, #000000)\n"
    "  --link-color #RRGGBB, --hover-color #RRGGBB     (#0000FF, #008000)\n"
    "  --background #RRGGBB  what the pages are drawn on (#203040)\n"
    "  --line-spacing N      extra pixels between rows (0)\n"
    "  --quality Q           antialiasing 0..3 (3)\n"
    "  --bits 32|16          the depth the player renders at (32)\n"
    "  --var NAME=VALUE      a value for <VAR NAME=...> (repeatable)\n"
    "  --hover X,Y           the link under that point of each page shows hovered\n"
    "Pictures of <IMG SRC=...> are read beside FILE. See docs/text-preview.md.\n";

struct Options {
  std::vector<std::string> files;
  std::int32_t width = 640;
  std::int32_t height = 480;
  std::string font;  // Shift-JIS; empty: the engine's default
  std::int32_t font_size = 24;
  std::int32_t border = 0;
  std::int32_t shadow = 0;
  std::int32_t color = 0xFFFFFF;
  std::int32_t border_color = 0x808080;
  std::int32_t shadow_color = 0;
  std::int32_t link_color = 0xFF0000;
  std::int32_t hover_color = 0x008000;
  std::int32_t background = 0x403020;
  std::int32_t line_spacing = 0;
  std::int32_t quality = 3;
  int bits = 32;
  std::vector<std::pair<std::string, std::string>> vars;  // Shift-JIS
  std::optional<graphics::Point> hover;
  bool help = false;
};

std::string sjis_of(const std::string& what, const std::string& utf8) {
  std::string error;
  auto s = to_sjis(utf8, &error);
  if (!s) fail(what + ": " + error);
  return *s;
}

// "#RRGGBB" as a platform colour (red in the low byte), as the tags read it.
std::int32_t parse_colour(const std::string& option, const std::string& text) {
  char* end = nullptr;
  const unsigned long v = text.size() == 7 && text[0] == '#' ? std::strtoul(text.c_str() + 1, &end, 16) : 0;
  if (!end || *end) fail(option + " needs a colour #RRGGBB, not \"" + text + "\"");
  return static_cast<std::int32_t>((v & 0xFF) << 16 | (v & 0xFF00) | (v >> 16 & 0xFF));
}

std::pair<int, int> parse_pair(const std::string& option, const std::string& text, char separator) {
  const std::size_t at = text.find(separator);
  if (at == std::string::npos) fail(option + " needs two numbers apart by '" + separator + "', not \"" + text + "\"");
  return {parse_int(option, text.substr(0, at), 0, 1 << 20), parse_int(option, text.substr(at + 1), 0, 1 << 20)};
}

Options parse(const std::vector<std::string>& args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) fail(a + " needs a value");
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--size") {
      std::tie(o.width, o.height) = parse_pair(a, value(), 'x');
      if (o.width > text::TKvWord::kMaxSurfaceSide || o.height > text::TKvWord::kMaxSurfaceSide) {
        fail(core::format("--size: a side is at most %d", {text::TKvWord::kMaxSurfaceSide}));
      }
    } else if (a == "--font") {
      o.font = sjis_of(a, value());
    } else if (a == "--font-size") {
      o.font_size = parse_int(a, value(), 1, 1024);
    } else if (a == "--border") {
      o.border = parse_int(a, value(), 0, 64);
    } else if (a == "--shadow") {
      o.shadow = parse_int(a, value(), 0, 64);
    } else if (a == "--color") {
      o.color = parse_colour(a, value());
    } else if (a == "--border-color") {
      o.border_color = parse_colour(a, value());
    } else if (a == "--shadow-color") {
      o.shadow_color = parse_colour(a, value());
    } else if (a == "--link-color") {
      o.link_color = parse_colour(a, value());
    } else if (a == "--hover-color") {
      o.hover_color = parse_colour(a, value());
    } else if (a == "--background") {
      o.background = parse_colour(a, value());
    } else if (a == "--line-spacing") {
      o.line_spacing = parse_int(a, value(), -1024, 1024);
    } else if (a == "--quality") {
      o.quality = parse_int(a, value(), 0, 3);
    } else if (a == "--bits") {
      o.bits = parse_int(a, value(), 16, 32);
      if (o.bits != 16 && o.bits != 32) fail("--bits is 32 or 16");
    } else if (a == "--var") {
      const std::string& v = value();
      const std::size_t eq = v.find('=');
      if (eq == std::string::npos || eq == 0) fail("--var needs NAME=VALUE, not \"" + v + "\"");
      o.vars.emplace_back(sjis_of(a, v.substr(0, eq)), sjis_of(a, v.substr(eq + 1)));
    } else if (a == "--hover") {
      const auto [x, y] = parse_pair(a, value(), ',');
      o.hover = graphics::Point{x, y};
    } else if (!a.empty() && a[0] == '-') {
      fail("unknown option " + a + " (see nova text --help)");
    } else {
      o.files.push_back(a);
    }
  }
  return o;
}

// --- Pictures beside the text ------------------------------------------------------

// A picture file's frames, converted once to the depth the pages render at.
class FilePicture final : public text::InlinePicture {
 public:
  FilePicture(const graphics::TBrioFrameList& list, int bits) {
    for (int i = 0; i < list.Count(); ++i) {
      const graphics::TBrioFrame& f = list.Frames(i);
      Frame& out = *m_frames.emplace_back(std::make_unique<Frame>());
      out.colour.SetSize(1, 1, bits);
      graphics::CopyFrameToSurface(f, out.colour);
      out.delay = f.delay;
      if (f.HasAlpha()) {
        graphics::CopyAlphaToSurface(f, out.mask);
      } else {
        // Opaque but for the frame's transparent colour.
        out.mask.SetSize(out.colour.GetWidth(), out.colour.GetHeight(), 8);
        out.mask.Fill(255);
        const std::int32_t key = f.transparent_colour == -1 ? -1 : out.colour.ColorToPixel(f.transparent_colour);
        for (int y = 0; key != -1 && y < out.colour.GetHeight(); ++y) {
          for (int x = 0; x < out.colour.GetWidth(); ++x) {
            if (out.colour.GetPixel(x, y) == static_cast<std::uint32_t>(key)) out.mask.SetPixel(x, y, 0);
          }
        }
      }
    }
  }
  std::int32_t width() const override { return m_frames.empty() ? 0 : m_frames[0]->colour.GetWidth(); }
  std::int32_t height() const override { return m_frames.empty() ? 0 : m_frames[0]->colour.GetHeight(); }
  std::int32_t frame_count() const override { return static_cast<std::int32_t>(m_frames.size()); }
  std::int32_t frame_delay(std::int32_t k) const override { return m_frames.at(static_cast<std::size_t>(k))->delay; }
  void draw_frame(std::int32_t k, graphics::TCustomDIBX& colour, graphics::TCustomDIBX& mask, std::int32_t x,
                  std::int32_t y) const override {
    const Frame& f = *m_frames.at(static_cast<std::size_t>(k));
    const graphics::Rect all{0, 0, f.colour.GetWidth(), f.colour.GetHeight()};
    colour.Draw(x, y, false, false, false, all, f.colour);
    mask.Draw(x, y, false, false, false, all, f.mask);
  }

 private:
  struct Frame {
    graphics::TDIBX colour;
    graphics::TDIBX mask;
    std::int32_t delay = 0;
  };
  std::vector<std::unique_ptr<Frame>> m_frames;
};

class FilePictures final : public text::InlinePictureSource {
 public:
  FilePictures(fs::path folder, int bits) : m_folder(std::move(folder)), m_bits(bits) {}
  std::unique_ptr<text::InlinePicture> acquire(std::string_view name) override {
    std::string utf8 = platform::codepage::to_utf8(name);
    for (char& c : utf8) {
      if (c == '\\') c = '/';
    }
    const fs::path path = m_folder / utf8;
    if (!fs::exists(path)) {
      std::fprintf(stderr, "nova text: %s: no such picture; it shows as nothing\n", path.string().c_str());
      return nullptr;
    }
    graphics::TBrioFrameList list;
    list.LoadFromFile(path);
    return std::make_unique<FilePicture>(list, m_bits);
  }

 private:
  fs::path m_folder;
  int m_bits;
};

// --- The pages -------------------------------------------------------------------------

fs::path page_path(const fs::path& out, std::size_t index, std::size_t count) {
  if (count == 1) return out;
  fs::path each = out;
  each.replace_filename(out.stem().string() + core::format("_%03d", {static_cast<int>(index)}) +
                        out.extension().string());
  return each;
}

int run(const std::vector<std::string>& args) {
  const Options o = parse(args);
  if (o.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (o.files.size() != 2) fail("nova text needs FILE and OUT.png (see nova text --help)");
  const fs::path in = o.files[0], out = o.files[1];
  files::TKvMemoryStream source;
  source.LoadFromFile(in);
  std::string utf8(reinterpret_cast<const char*>(source.bytes().data()), source.bytes().size());
  if (utf8.rfind("\xEF\xBB\xBF", 0) == 0) utf8.erase(0, 3);
  const std::string sjis = sjis_of(in.string(), utf8);

  const auto fonts = platform::create_font_service();
  text::TFontPixelManager manager(*fonts);
  FilePictures pictures(in.parent_path(), o.bits);
  text::TKvWord word(manager, &pictures);
  text::KvWordSettings s;
  s.width = o.width;
  s.height = o.height;
  s.paging = o.height > 0;
  if (!o.font.empty()) s.font_name = o.font;
  s.font_size = o.font_size;
  s.border_width = o.border;
  s.shadow_width = o.shadow;
  s.text_color = o.color;
  s.border_color = o.border_color;
  s.shadow_color = o.shadow_color;
  s.link_color = o.link_color;
  s.link_hover_color = o.hover_color;
  s.line_spacing = o.line_spacing;
  s.quality = o.quality;
  word.set_settings(s);
  word.set_bit_count(o.bits);
  for (const auto& [name, value] : o.vars) word.names().set(name, value);
  word.parse(text::split_lines(sjis));
  word.prepare_variables(0, -1, false);
  std::vector<text::TWdPage> pages;
  word.layout(pages);
  if (pages.empty()) fail(in.string() + ": the text has nothing to show");
  if (o.height == 0) {
    std::int32_t tallest = 1;
    for (const text::TWdPage& p : pages) tallest = std::max(tallest, p.height);
    s.height = std::min(tallest, text::TKvWord::kMaxSurfaceSide);
    word.set_settings(s);
  }

  for (std::size_t i = 0; i < pages.size(); ++i) {
    text::TWdPage& page = pages[i];
    text::reveal_all(page);
    text::render_page(page);
    if (o.hover) text::hover(page, o.hover->x, o.hover->y);
    graphics::TDIBX target;
    target.SetSize(std::max(1, word.colour_surface().GetWidth()), std::max(1, s.height), o.bits);
    target.Fill(static_cast<std::uint32_t>(target.ColorToPixel(o.background)));
    text::draw_page(page, target, 0, 0);
    const fs::path each = page_path(out, i, pages.size());
    if (!platform::write_png(each, target.PresentView(), graphics::Rect{0, 0, target.GetWidth(), target.GetHeight()})) {
      fail(each.string() + ": cannot be written");
    }
    std::printf("%s\n", each.string().c_str());
  }
  return 0;
}

}  // namespace

NOVA_TOOL_COMMAND("text", "tagged text laid out and rendered as PNG pages", run);

}  // namespace nova::tools
