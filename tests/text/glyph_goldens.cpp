#include "glyph_goldens.h"

#include <algorithm>
#include <cstdio>

#include "core/binary_io.h"
#include "core/error.h"
#include "core/sjis.h"
#include "files/codec.h"
#include "platform/png_writer.h"
#include "support/test_support.h"
#include "text/decoration.h"
#include "text/font_pixel_manager.h"

namespace nova::text::goldens {

namespace {

constexpr std::string_view kMagic = "NovaGlyphGoldens1";
constexpr const char* kGlyphs[] = {"あ", "漢", "ア", "A", "g", "。", "「"};
constexpr const char* kRunText[] = {"漢", "字", "と", "A", "g", "。"};
constexpr const char* kFaces[] = {"ＭＳ ゴシック", "ＭＳ Ｐゴシック"};
constexpr int kSize = 24;

struct Run {
  const char* name;
  const char* face;
  int border;
  int shadow;
  std::uint8_t style;
  // Cells of the size for every character (a proportional face's glyphs are
  // then placed inside them), else of each glyph's advance.
  bool square_cells;
};

constexpr Run kRuns[] = {
    {"border", "ＭＳ ゴシック", 1, 0, 0, false},
    {"shadow", "ＭＳ ゴシック", 0, 2, 0, false},
    {"border shadow underline", "ＭＳ ゴシック", 1, 2, FS_UNDERLINE, false},
    {"border strike-out", "ＭＳ ゴシック", 2, 0, FS_STRIKEOUT, false},
    {"underline strike-out", "ＭＳ ゴシック", 0, 0, FS_UNDERLINE | FS_STRIKEOUT, false},
    {"proportional border shadow underline", "ＭＳ Ｐゴシック", 1, 1, FS_UNDERLINE, true},
};

std::uint16_t code_of(const char* utf8) { return core::char_code_at(core::sjis(utf8), 0); }

Picture picture_of(std::string name, const graphics::TCustomDIBX& s) {
  Picture p;
  p.name = std::move(name);
  p.width = s.GetWidth();
  p.height = s.GetHeight();
  p.bits = s.GetBitCount();
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) p.pixels.push_back(s.GetPixel(x, y) & (p.bits == 32 ? 0xFFFFFFu : 0xFFFFu));
  }
  return p;
}

void render_run(TFontPixelManager& manager, const Run& run, int bits, std::vector<Picture>& out) {
  const std::string face = core::sjis(run.face);
  const int bw = run.border, sw = run.shadow;
  const int height = kSize + 2 * bw + sw;
  // The cells first, from each glyph's advance (or the size).
  std::vector<int> cells;
  for (const char* ch : kRunText) {
    const int advance = manager.GetFontPixel(code_of(ch), face, run.style, kSize)->advance();
    cells.push_back((run.square_cells ? kSize : advance) + 2 * bw + sw);
  }
  int width = 4;
  for (int c : cells) width += c;
  graphics::TDIBX colour, mask;
  colour.SetSize(width, height + 4, bits);
  mask.SetSize(width, height + 4, 8);
  colour.Fill(static_cast<std::uint32_t>(colour.ColorToPixel(0x305070)));
  int x = 2;
  const std::size_t n = std::size(kRunText);
  for (std::size_t i = 0; i < n; ++i) {
    GlyphDrawing d;
    d.color = &colour;
    d.mask = &mask;
    d.text_color = static_cast<std::uint32_t>(colour.ColorToPixel(0xF0F8FF));
    d.border_color = static_cast<std::uint32_t>(colour.ColorToPixel(0x102080));
    d.shadow_color = static_cast<std::uint32_t>(colour.ColorToPixel(0x101010));
    d.first_of_run = i == 0;
    d.last_of_run = i + 1 == n;
    d.border_width = bw;
    d.shadow_width = sw;
    d.cell = graphics::Rect::from_size(x, 2, cells[i], height);
    manager.DrawFontPixel(manager.GetFontPixel(code_of(kRunText[i]), face, run.style, kSize), d);
    x += cells[i];
  }
  const std::string prefix = std::string(run.name) + " " + std::to_string(bits) + "-bit ";
  out.push_back(picture_of(prefix + "colour", colour));
  out.push_back(picture_of(prefix + "mask", mask));
}

std::uint32_t rgb_of(const Picture& p, std::uint32_t v) {
  if (p.bits == 8) return v << 16 | v << 8 | v;
  if (p.bits == 16) return platform::to_rgb32(v, platform::PixelFormat::Rgb565);
  return v & 0xFFFFFF;
}

}  // namespace

std::vector<Picture> render_all(platform::FontService& fonts) {
  TFontPixelManager manager(fonts);
  std::vector<Picture> out;
  const std::string gothic = core::sjis("ＭＳ ゴシック");
  for (int quality = 0; quality <= 3; ++quality) {
    manager.SetQuality(quality);
    for (const char* ch : kGlyphs) {
      const FontPixelRef g = manager.GetFontPixel(code_of(ch), gothic, 0, kSize);
      Picture p = picture_of("quality " + std::to_string(quality) + " " + ch, g->coverage);
      char note[96];
      std::snprintf(note, sizeof note, "left %d top %d extra %d", g->left_bearing, g->top_offset, g->extra_advance);
      p.note = note;
      out.push_back(std::move(p));
    }
  }
  manager.SetQuality(3);
  for (const Run& run : kRuns) {
    for (int bits : {32, 16}) render_run(manager, run, bits, out);
  }
  return out;
}

std::string font_manifest(platform::FontService& fonts) {
  std::string text = "rasterizer: " + fonts.rasterizer_version() + "\n";
  for (const char* face : kFaces) {
    platform::FontRequest r;
    r.face = core::sjis(face);
    r.height = kSize;
    const auto font = fonts.create_font(r);
    std::string line = std::string("face ") + face + ": ";
    if (!font) {
      text += line + "(none)\n";
      continue;
    }
    const std::filesystem::path file = font->metrics().file_used;
    std::string sum;
    test::run_command("sha256sum '" + file.string() + "' 2>/dev/null", &sum);
    sum = sum.substr(0, sum.find(' '));
    text += line + font->metrics().face_used + " " + file.filename().string() + " sha256 " + sum + "\n";
  }
  return text;
}

void write_pictures(const std::filesystem::path& path, const std::vector<Picture>& pictures) {
  core::ByteWriter w;
  w.i32(static_cast<std::int32_t>(pictures.size()));
  for (const Picture& p : pictures) {
    w.str(p.name);
    w.str(p.note);
    w.i32(p.width);
    w.i32(p.height);
    w.i32(p.bits);
    for (std::uint32_t v : p.pixels) {
      if (p.bits == 8) {
        w.u8(static_cast<std::uint8_t>(v));
      } else if (p.bits == 16) {
        w.u16(static_cast<std::uint16_t>(v));
      } else {
        w.u32(v);
      }
    }
  }
  files::MemoryBlock packed;
  files::DeflateLevel1(w.data(), packed);
  test::write_file(path, std::string(kMagic) + std::string(packed.view()));
}

std::vector<Picture> read_pictures(const std::filesystem::path& path) {
  const std::string bytes = test::read_file(path);
  if (!bytes.starts_with(kMagic)) core::throw_error("glyph goldens: not a goldens file: " + path.string());
  files::MemoryBlock raw;
  files::Inflater().Inflate(
      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()) + kMagic.size(), bytes.size() - kMagic.size()),
      raw);
  core::ByteReader r(raw.bytes());
  r.set_context("glyph goldens");
  std::vector<Picture> out(static_cast<std::size_t>(std::max(0, r.i32())));
  for (Picture& p : out) {
    p.name = r.str();
    p.note = r.str();
    p.width = r.i32();
    p.height = r.i32();
    p.bits = r.i32();
    const std::int64_t count = std::int64_t{p.width} * p.height;
    if (p.width < 0 || p.height < 0 || count > static_cast<std::int64_t>(r.remaining())) r.fail("bad size");
    for (std::int64_t i = 0; i < count; ++i)
      p.pixels.push_back(p.bits == 8 ? r.u8() : p.bits == 16 ? r.u16() : r.u32());
  }
  return out;
}

bool write_contact_sheet(const std::filesystem::path& path, const std::vector<Picture>& pictures, int scale) {
  // Glyphs side by side, wrapping; each run on a row of its own.
  constexpr int kGap = 6, kSheetWidth = 1200;
  struct Placed {
    const Picture* p;
    int x, y;
  };
  std::vector<Placed> placed;
  int x = kGap, y = kGap, row_height = 0;
  for (const Picture& p : pictures) {
    const int w = p.width * scale, h = p.height * scale;
    const bool wide = p.width > 40;
    if ((wide && x > kGap) || x + w + kGap > kSheetWidth) {
      x = kGap;
      y += row_height + kGap;
      row_height = 0;
    }
    placed.push_back({&p, x, y});
    x += w + kGap;
    row_height = std::max(row_height, h);
    if (wide) x = kSheetWidth;  // the next one starts a row
  }
  const int height = y + row_height + kGap;
  std::vector<std::uint32_t> sheet(static_cast<std::size_t>(kSheetWidth) * height, 0x202428);
  for (const Placed& at : placed) {
    const Picture& p = *at.p;
    for (int py = 0; py < p.height * scale; ++py) {
      for (int px = 0; px < p.width * scale && at.x + px < kSheetWidth; ++px) {
        const std::uint32_t v = p.pixels[static_cast<std::size_t>((py / scale) * p.width + px / scale)];
        sheet[static_cast<std::size_t>(at.y + py) * kSheetWidth + static_cast<std::size_t>(at.x + px)] = rgb_of(p, v);
      }
    }
  }
  platform::PixelView view{reinterpret_cast<const std::uint8_t*>(sheet.data()), kSheetWidth, height, kSheetWidth * 4,
                           platform::PixelFormat::Xrgb32};
  return platform::write_png(path, view, graphics::Rect{0, 0, kSheetWidth, height});
}

std::filesystem::path golden_folder() { return test::source_dir() / "tests/text/goldens"; }

}  // namespace nova::text::goldens
