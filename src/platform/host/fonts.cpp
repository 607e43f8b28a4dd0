// The font service on FreeType and fontconfig.
//
// Sizes follow the Windows conventions the titles were made for: a font of
// height h has a cell of h pixels from the top of the ascent to the bottom of
// the descent (OS/2 winAscent + winDescent), and its em size is that cell
// scaled by the em's share of it. Glyphs are rendered once at 256 levels and
// reduced to the requested format, so all four formats agree on the black box
// and on coverage within one step of the coarser format.
//
// Faces are shared: every installed file is opened once per service, and
// each Font keeps its own FreeType size object on it. Each Font keeps the
// characters it rendered last (at most kFontGlyphCacheLimit), and asks its
// fallback, which keeps its own, for the characters its face lacks. Fonts are
// used from one thread (the main thread), as the glyph manager is.

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <cmath>
#include <list>
#include <map>
#include <set>
#include <unordered_map>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/fonts.h"

namespace nova::platform {
namespace {

// Windows face names and the installed families that stand in for them, in
// order of preference. Japanese system faces map onto the IPA fonts: the
// fixed-pitch ones onto IPAGothic / IPAMincho, the proportional ones onto
// their P variants.
struct Substitute {
  const char* windows_name;  // UTF-8
  std::vector<const char*> families;
};

const std::vector<Substitute>& substitution_table() {
  static const std::vector<Substitute> table = {
      {"ＭＳ ゴシック", {"IPAGothic"}},
      {"MS Gothic", {"IPAGothic"}},
      {"ＭＳ Ｐゴシック", {"IPAPGothic"}},
      {"MS PGothic", {"IPAPGothic"}},
      {"MS UI Gothic", {"IPAPGothic"}},
      {"ＭＳ 明朝", {"IPAMincho"}},
      {"MS Mincho", {"IPAMincho"}},
      {"ＭＳ Ｐ明朝", {"IPAPMincho"}},
      {"MS PMincho", {"IPAPMincho"}},
      {"メイリオ", {"IPAPGothic"}},
      {"Meiryo", {"IPAPGothic"}},
      {"Meiryo UI", {"IPAPGothic"}},
      {"游ゴシック", {"IPAPGothic"}},
      {"Yu Gothic", {"IPAPGothic"}},
      {"Yu Gothic UI", {"IPAPGothic"}},
      {"游明朝", {"IPAPMincho"}},
      {"Yu Mincho", {"IPAPMincho"}},
      {"System", {"IPAPGothic"}},
      {"Terminal", {"IPAGothic"}},
      {"FixedSys", {"IPAGothic"}},
      {"Arial", {"Liberation Sans", "DejaVu Sans"}},
      {"Helvetica", {"Liberation Sans", "DejaVu Sans"}},
      {"Tahoma", {"DejaVu Sans", "Liberation Sans"}},
      {"Verdana", {"DejaVu Sans", "Liberation Sans"}},
      {"Segoe UI", {"DejaVu Sans", "Liberation Sans"}},
      {"MS Sans Serif", {"DejaVu Sans", "Liberation Sans"}},
      {"Microsoft Sans Serif", {"DejaVu Sans", "Liberation Sans"}},
      {"Times New Roman", {"Liberation Serif", "DejaVu Serif"}},
      {"MS Serif", {"Liberation Serif", "DejaVu Serif"}},
      {"Courier New", {"Liberation Mono", "DejaVu Sans Mono"}},
      {"Courier", {"Liberation Mono", "DejaVu Sans Mono"}},
      {"Consolas", {"DejaVu Sans Mono", "Liberation Mono"}},
      {"Lucida Console", {"DejaVu Sans Mono", "Liberation Mono"}},
  };
  return table;
}

// The face every unknown name falls back to.
constexpr const char* kDefaultFace = "ＭＳ ゴシック";

std::string ascii_fold(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

struct InstalledFace {
  std::string family;  // the family name as the face file gives it (UTF-8)
  std::string file;
  int index = 0;
  bool fixed_pitch = false;
};

// FreeType's 256 levels quantised to a gray format's raw levels:
// (g × levels + 127) / 255.
const std::array<std::uint8_t, 256>& level_table(GlyphFormat format) {
  static const auto tables = [] {
    std::array<std::array<std::uint8_t, 256>, 4> t{};
    for (int f = 0; f < 4; ++f) {
      const int levels = glyph_levels(static_cast<GlyphFormat>(f));
      for (int g = 0; g < 256; ++g)
        t[static_cast<std::size_t>(f)][static_cast<std::size_t>(g)] =
            static_cast<std::uint8_t>((g * levels + 127) / 255);
    }
    return t;
  }();
  return tables[static_cast<std::size_t>(format)];
}

int round_div(long long num, long long den) {
  if (den == 0) return 0;
  long long q = (2 * num + (num >= 0 ? den : -den)) / (2 * den);
  return static_cast<int>(q);
}

// The slant the system gives synthesized italics, about 12 degrees (16.16).
constexpr FT_Fixed kItalicSlant = 0x0366A;

// Synthesized bold widens strokes horizontally and the advance with them, by
// about 1/24 of the em (at least one pixel), in 26.6 pixels.
FT_Pos bold_strength(int ppem) { return std::max<FT_Pos>(64, static_cast<FT_Pos>(ppem) * 64 / 24); }

class FreeTypeFontService;

// One opened face file, shared by the fonts made on it.
struct SharedFace {
  FT_Face face = nullptr;
  int upem = 0;
  int win_ascent = 0;
  int win_descent = 0;
  int underline_thickness = 0;
  int underline_position = 0;
  int strikeout_size = 0;
  int strikeout_position = 0;
  int avg_char_width = 0;
  bool bold = false;
  bool italic = false;
  bool fixed_pitch = false;
  std::string family;
  std::string file;

  ~SharedFace() {
    if (face) FT_Done_Face(face);
  }
};

class FreeTypeFont final : public Font {
 public:
  FreeTypeFont(FreeTypeFontService& service, std::shared_ptr<SharedFace> face, const FontRequest& request);
  ~FreeTypeFont() override {
    if (m_size) FT_Done_Size(m_size);
  }

  const FontRequest& request() const override { return m_request; }
  const OutlineTextMetrics& metrics() const override { return m_metrics; }
  GlyphBitmap glyph(std::uint16_t code, GlyphFormat format) override;
  AbcWidths abc_widths(std::uint16_t code) override;
  int text_width(std::string_view sjis) override;
  std::size_t cached_glyphs() const override { return m_cache.size() + (m_fallback ? m_fallback->cached_glyphs() : 0); }

  bool ok() const { return m_size != nullptr; }

 private:
  struct Rendered {
    GlyphStatus status = GlyphStatus::Rendered;
    GlyphMetrics metrics;
    std::vector<std::uint8_t> gray;  // width × height, 0..255, no padding
  };
  // Loads and renders one character at 256 levels. The answer is valid until
  // the next call (on this font or its fallback).
  const Rendered* render(std::uint16_t code);
  // Keeps `r` (leaving in it a buffer to use again) and answers the kept one.
  const Rendered& remember(std::uint16_t code, Rendered& r);
  bool load(FT_Face face, FT_Size size, FT_UInt index, Rendered& out);

  FreeTypeFontService& m_service;
  std::shared_ptr<SharedFace> m_face;
  FontRequest m_request;
  OutlineTextMetrics m_metrics;
  FT_Size m_size = nullptr;
  int m_ppem = 0;
  bool m_synthetic_bold = false;
  bool m_synthetic_italic = false;
  // The characters rendered last, most recent first, and where each is.
  std::list<std::pair<std::uint16_t, Rendered>> m_cache;
  std::unordered_map<std::uint16_t, std::list<std::pair<std::uint16_t, Rendered>>::iterator> m_cached;
  Rendered m_spare;                          // where the next rendering is made
  std::unique_ptr<FreeTypeFont> m_fallback;  // the default face, for characters this face lacks
  bool m_fallback_tried = false;
};

class FreeTypeFontService final : public FontService {
 public:
  FreeTypeFontService() {
    if (FT_Init_FreeType(&m_library) != 0) throw PlatformError("cannot start FreeType");
    m_config = FcInitLoadConfigAndFonts();
    if (!m_config) {
      FT_Done_FreeType(m_library);
      throw PlatformError("cannot load the fontconfig configuration");
    }
    scan_installed();
  }
  ~FreeTypeFontService() override {
    FcConfigDestroy(m_config);
    FT_Done_FreeType(m_library);
  }

  std::vector<FontFamily> families() override {
    std::vector<FontFamily> out;
    std::set<std::string> seen;
    // Vertical faces ("@" + name) are the same faces turned; titles list
    // them nowhere.
    auto add = [&](const std::string& sjis, bool fixed) {
      if (sjis.empty() || sjis.front() == '@' || !seen.insert(sjis).second) return;
      out.push_back(FontFamily{sjis, fixed});
    };
    for (const auto& sub : substitution_table()) {
      if (auto f = resolve(sub.windows_name)) {
        if (auto s = codepage::from_utf8(sub.windows_name)) add(*s, f->fixed_pitch);
      }
    }
    std::map<std::string, bool> installed;  // Shift-JIS name -> fixed pitch, sorted by bytes
    for (const auto& entry : m_installed) {
      for (const auto& name : entry.second.names) {
        if (auto s = codepage::from_utf8(name)) installed.emplace(*s, entry.second.face.fixed_pitch);
      }
    }
    for (const auto& [name, fixed] : installed) add(name, fixed);
    return out;
  }

  bool has_face(std::string_view sjis_face) override { return resolve(codepage::to_utf8(sjis_face)).has_value(); }

  std::unique_ptr<Font> create_font(const FontRequest& request) override {
    std::optional<InstalledFace> face = resolve(codepage::to_utf8(request.face));
    if (!face) face = resolve(kDefaultFace);
    if (!face) face = any_face();
    if (!face) return nullptr;
    return make_font(*face, request);
  }

  // The font of the default face at the same size, for characters the
  // current face lacks (the system links such faces to its default).
  std::unique_ptr<FreeTypeFont> make_fallback(const FontRequest& request, const SharedFace& current) {
    auto face = resolve(kDefaultFace);
    if (!face || (face->file == current.file && face->index == static_cast<int>(current.face->face_index))) {
      return nullptr;
    }
    return make_font(*face, request);
  }

  FT_Library library() const { return m_library; }

  std::string rasterizer_version() const override {
    FT_Int major = 0, minor = 0, patch = 0;
    FT_Library_Version(m_library, &major, &minor, &patch);
    return "FreeType " + std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
  }

 private:
  struct InstalledEntry {
    InstalledFace face;
    std::vector<std::string> names;  // every family name of the file
    bool regular = false;
  };

  std::unique_ptr<FreeTypeFont> make_font(const InstalledFace& face, const FontRequest& request) {
    auto shared = open_face(face);
    if (!shared) return nullptr;
    auto font = std::make_unique<FreeTypeFont>(*this, shared, request);
    if (!font->ok()) return nullptr;
    return font;
  }

  void scan_installed() {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    FcObjectSet* objects =
        FcObjectSetBuild(FC_FAMILY, FC_FILE, FC_INDEX, FC_SPACING, FC_WEIGHT, FC_SLANT, static_cast<char*>(nullptr));
    FcFontSet* set = FcFontList(m_config, pattern, objects);
    if (set) {
      for (int i = 0; i < set->nfont; ++i) add_installed(set->fonts[i]);
      FcFontSetDestroy(set);
    }
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
  }

  void add_installed(FcPattern* p) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(p, FC_FILE, 0, &file) != FcResultMatch) return;
    int index = 0, spacing = FC_PROPORTIONAL, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    FcPatternGetInteger(p, FC_INDEX, 0, &index);
    FcPatternGetInteger(p, FC_SPACING, 0, &spacing);
    FcPatternGetInteger(p, FC_WEIGHT, 0, &weight);
    FcPatternGetInteger(p, FC_SLANT, 0, &slant);
    // A family is served by its regular face; bold and italic are made from
    // it as the system makes them.
    const bool regular = weight <= FC_WEIGHT_MEDIUM && slant == FC_SLANT_ROMAN;
    std::vector<std::string> names;
    FcChar8* fam = nullptr;
    for (int k = 0; FcPatternGetString(p, FC_FAMILY, k, &fam) == FcResultMatch; ++k) {
      names.emplace_back(reinterpret_cast<const char*>(fam));
    }
    if (names.empty()) return;
    for (const auto& name : names) {
      std::string key = ascii_fold(name);
      auto it = m_installed.find(key);
      if (it != m_installed.end() && (it->second.regular || !regular)) continue;
      // Dual-width fonts (the Japanese monospaced faces) count as fixed pitch.
      m_installed[key] = InstalledEntry{
          InstalledFace{names.front(), reinterpret_cast<const char*>(file), index, spacing >= FC_DUAL}, names, regular};
    }
  }

  std::optional<InstalledFace> resolve(const std::string& utf8_face) {
    std::string key = ascii_fold(utf8_face);
    if (key.empty()) return std::nullopt;
    if (auto it = m_installed.find(key); it != m_installed.end()) return it->second.face;
    for (const auto& sub : substitution_table()) {
      if (ascii_fold(sub.windows_name) != key) continue;
      for (const char* family : sub.families) {
        if (auto t = m_installed.find(ascii_fold(family)); t != m_installed.end()) return t->second.face;
      }
    }
    return std::nullopt;
  }

  std::optional<InstalledFace> any_face() {
    if (m_installed.empty()) return std::nullopt;
    return m_installed.begin()->second.face;
  }

  std::shared_ptr<SharedFace> open_face(const InstalledFace& f) {
    std::string key = f.file + "#" + std::to_string(f.index);
    if (auto it = m_faces.find(key); it != m_faces.end()) {
      if (auto s = it->second.lock()) return s;
    }
    auto shared = std::make_shared<SharedFace>();
    if (FT_New_Face(m_library, f.file.c_str(), f.index, &shared->face) != 0) return nullptr;
    FT_Face face = shared->face;
    if (!FT_IS_SCALABLE(face)) return nullptr;
    shared->upem = face->units_per_EM;
    shared->family = f.family;
    shared->file = f.file;
    shared->fixed_pitch = f.fixed_pitch || FT_IS_FIXED_WIDTH(face);
    shared->bold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    shared->italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    auto* post = static_cast<TT_Postscript*>(FT_Get_Sfnt_Table(face, FT_SFNT_POST));
    if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
      shared->win_ascent = os2->usWinAscent;
      shared->win_descent = os2->usWinDescent;
      shared->strikeout_size = os2->yStrikeoutSize;
      shared->strikeout_position = os2->yStrikeoutPosition;
      shared->avg_char_width = os2->xAvgCharWidth;
    } else {
      shared->win_ascent = face->ascender;
      shared->win_descent = -face->descender;
      shared->strikeout_size = face->underline_thickness;
      shared->strikeout_position = face->ascender / 3;
      shared->avg_char_width = face->max_advance_width / 2;
    }
    if (shared->win_ascent + shared->win_descent <= 0) {
      shared->win_ascent = shared->upem * 4 / 5;
      shared->win_descent = shared->upem / 5;
    }
    shared->underline_thickness = post ? static_cast<int>(post->underlineThickness) : face->underline_thickness;
    shared->underline_position = post ? static_cast<int>(post->underlinePosition) : face->underline_position;
    m_faces[key] = shared;
    return shared;
  }

  FT_Library m_library = nullptr;
  FcConfig* m_config = nullptr;
  std::map<std::string, InstalledEntry> m_installed;  // by ASCII-folded family name
  std::map<std::string, std::weak_ptr<SharedFace>> m_faces;
};

// ---------------------------------------------------------------------------

FreeTypeFont::FreeTypeFont(FreeTypeFontService& service, std::shared_ptr<SharedFace> face, const FontRequest& request)
    : m_service(service), m_face(std::move(face)), m_request(request) {
  FT_Face f = m_face->face;
  if (FT_New_Size(f, &m_size) != 0) {
    m_size = nullptr;
    return;
  }
  FT_Activate_Size(m_size);
  const int height = std::max(1, std::abs(request.height));
  const long long cell_units = m_face->win_ascent + m_face->win_descent;
  // The em size that gives this cell height, rounded as the system rounds it.
  m_ppem = std::max(1, round_div(static_cast<long long>(height) * m_face->upem, cell_units));
  if (FT_Set_Pixel_Sizes(f, 0, static_cast<FT_UInt>(m_ppem)) != 0) {
    FT_Done_Size(m_size);
    m_size = nullptr;
    return;
  }
  m_synthetic_bold = request.weight >= 600 && !m_face->bold;
  m_synthetic_italic = request.italic && !m_face->italic;

  auto scale = [&](long long units) { return round_div(units * m_ppem, m_face->upem); };
  OutlineTextMetrics& m = m_metrics;
  m.height = height;
  m.ascent = round_div(static_cast<long long>(m_face->win_ascent) * height, cell_units);
  m.descent = height - m.ascent;
  m.internal_leading = height - m_ppem;
  m.average_char_width = std::max(1, scale(m_face->avg_char_width));
  m.max_char_width = std::max(1, scale(f->max_advance_width));
  m.underscore_size = std::max(1, scale(m_face->underline_thickness));
  m.underscore_position = scale(m_face->underline_position);
  m.strikeout_size = std::max(1, scale(m_face->strikeout_size));
  m.strikeout_position = scale(m_face->strikeout_position);
  // What the synthesized styles add to a line: the emboldening, and the
  // slant's reach at the ascent.
  if (m_synthetic_bold) m.overhang += static_cast<int>((bold_strength(m_ppem) + 32) >> 6);
  if (m_synthetic_italic) m.overhang += round_div(static_cast<long long>(m.ascent) * kItalicSlant, 0x10000);
  m.fixed_pitch = m_face->fixed_pitch;
  m.face_used = m_face->family;
  m.file_used = m_face->file;
}

bool FreeTypeFont::load(FT_Face face, FT_Size size, FT_UInt index, Rendered& out) {
  FT_Activate_Size(size);
  if (FT_Load_Glyph(face, index, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_NORMAL) != 0) return false;
  FT_GlyphSlot slot = face->glyph;
  FT_Pos extra_advance = 0;
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    if (m_synthetic_italic) {
      FT_Matrix shear{0x10000, kItalicSlant, 0, 0x10000};
      FT_Outline_Transform(&slot->outline, &shear);
    }
    if (m_synthetic_bold) {
      const FT_Pos strength = bold_strength(m_ppem);
      FT_Outline_EmboldenXY(&slot->outline, strength, 0);
      extra_advance = strength;
    }
  }
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return false;
  const FT_Bitmap& bm = slot->bitmap;
  out.metrics.black_box_x = static_cast<int>(bm.width);
  out.metrics.black_box_y = static_cast<int>(bm.rows);
  out.metrics.origin_x = slot->bitmap_left;
  out.metrics.origin_y = slot->bitmap_top;
  out.metrics.cell_inc_x = static_cast<int>((slot->advance.x + extra_advance + 32) >> 6);
  out.metrics.cell_inc_y = 0;
  out.gray.assign(static_cast<std::size_t>(bm.width) * bm.rows, 0);
  unsigned char ink = 0;
  for (unsigned y = 0; y < bm.rows; ++y) {
    const unsigned char* row = bm.buffer + static_cast<std::ptrdiff_t>(y) * bm.pitch;
    unsigned char* to = out.gray.data() + static_cast<std::size_t>(y) * bm.width;
    if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
      for (unsigned x = 0; x < bm.width; ++x) ink |= to[x] = row[x];
    } else if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
      for (unsigned x = 0; x < bm.width; ++x) ink |= to[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    }
  }
  // No ink at all: a blank such as a space.
  if (ink == 0) {
    out.gray.clear();
    out.metrics.black_box_x = 0;
    out.metrics.black_box_y = 0;
  }
  return true;
}

const FreeTypeFont::Rendered& FreeTypeFont::remember(std::uint16_t code, Rendered& r) {
  if (m_cache.size() >= kFontGlyphCacheLimit) {
    // The least recently used rendering makes room; its entry, its place in
    // the index and its buffer are used again (the buffer as `r`'s next one).
    auto last = std::prev(m_cache.end());
    auto entry = m_cached.extract(last->first);
    entry.key() = code;
    m_cached.insert(std::move(entry));
    m_cache.splice(m_cache.begin(), m_cache, last);
    last->first = code;
    std::swap(last->second, r);
    return last->second;
  }
  m_cache.emplace_front(code, std::move(r));
  m_cached[code] = m_cache.begin();
  return m_cache.front().second;
}

const FreeTypeFont::Rendered* FreeTypeFont::render(std::uint16_t code) {
  if (auto it = m_cached.find(code); it != m_cached.end()) {
    m_cache.splice(m_cache.begin(), m_cache, it->second);
    return &it->second->second;
  }
  Rendered& r = m_spare;
  r.status = GlyphStatus::Rendered;
  r.metrics = {};
  auto unicode = codepage::code_to_unicode(code);
  if (!unicode) {
    r.status = GlyphStatus::Unmapped;
    r.gray.clear();
    return &remember(code, r);
  }
  FT_Face face = m_face->face;
  FT_UInt index = FT_Get_Char_Index(face, *unicode);
  if (index == 0 && *unicode != 0) {
    if (!m_fallback_tried) {
      m_fallback_tried = true;
      m_fallback = m_service.make_fallback(m_request, *m_face);
    }
    // The fallback keeps its own renderings; this font keeps no copy.
    if (m_fallback) return m_fallback->render(code);
  }
  // A failed load is not remembered: it is asked again next time.
  if (!load(face, m_size, index, r)) return nullptr;
  return &remember(code, r);
}

GlyphBitmap FreeTypeFont::glyph(std::uint16_t code, GlyphFormat format) {
  GlyphBitmap out;
  const Rendered* r = render(code);
  if (!r) {
    out.status = GlyphStatus::Refused;
    return out;
  }
  out.status = r->status;
  if (r->status != GlyphStatus::Rendered) return out;
  out.metrics = r->metrics;
  if (r->gray.empty()) return out;
  const int w = r->metrics.black_box_x, h = r->metrics.black_box_y;
  if (format == GlyphFormat::Mono) {
    out.pitch = ((w + 31) / 32) * 4;
    out.data.assign(static_cast<std::size_t>(out.pitch) * static_cast<std::size_t>(h), 0);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        if (r->gray[static_cast<std::size_t>(y * w + x)] >= 128) {
          out.data[static_cast<std::size_t>(y * out.pitch + x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
      }
    }
    return out;
  }
  const std::array<std::uint8_t, 256>& level = level_table(format);
  out.pitch = (w + 3) & ~3;
  out.data.assign(static_cast<std::size_t>(out.pitch) * static_cast<std::size_t>(h), 0);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* from = r->gray.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
    std::uint8_t* to = out.data.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(out.pitch);
    for (int x = 0; x < w; ++x) to[x] = level[from[x]];
  }
  return out;
}

AbcWidths FreeTypeFont::abc_widths(std::uint16_t code) {
  const Rendered* r = render(code);
  if (!r || r->status != GlyphStatus::Rendered) return {};
  AbcWidths abc;
  if (r->gray.empty()) {
    abc.a = 0;
    abc.b = 0;
    abc.c = r->metrics.cell_inc_x;
    return abc;
  }
  abc.a = r->metrics.origin_x;
  abc.b = static_cast<unsigned>(r->metrics.black_box_x);
  abc.c = r->metrics.cell_inc_x - abc.a - r->metrics.black_box_x;
  return abc;
}

int FreeTypeFont::text_width(std::string_view sjis) {
  int width = 0;
  for (std::size_t i = 0; i < sjis.size();) {
    std::size_t n = codepage::char_length(sjis, i);
    std::uint16_t code = n == 2 ? static_cast<std::uint16_t>(static_cast<std::uint8_t>(sjis[i]) << 8 |
                                                             static_cast<std::uint8_t>(sjis[i + 1]))
                                : static_cast<std::uint8_t>(sjis[i]);
    if (const Rendered* r = render(code); r && r->status == GlyphStatus::Rendered) width += r->metrics.cell_inc_x;
    i += n;
  }
  return width;
}

}  // namespace

std::unique_ptr<FontService> create_font_service() { return std::make_unique<FreeTypeFontService>(); }

}  // namespace nova::platform
