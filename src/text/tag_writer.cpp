#include "text/tag_writer.h"

#include <array>

#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "text/glyph_stream.h"
#include "text/tag_parser.h"

namespace nova::text {

namespace {

struct StyleTag {
  std::uint8_t bit;
  std::string_view name;
};
constexpr std::array<StyleTag, 4> kStyleTags = {
    {{FS_BOLD, "B"}, {FS_ITALIC, "I"}, {FS_UNDERLINE, "U"}, {FS_STRIKEOUT, "S"}}};

// Thrown inside the writer when the text holds what no tag can express.
struct Inexpressible {};

class TagWriter {
 public:
  explicit TagWriter(std::int32_t initial_wait) : m_initial_wait(initial_wait), m_wait(initial_wait) {}

  std::string run(const ParsedText& text) {
    m_decorations = &text.decorations();
    for (const TWdGlyph& g : text.glyphs()) {
      std::visit([&](const auto& glyph) { write(glyph); }, g);
    }
    close_all();
    return std::move(m_out);
  }

 private:
  void write(const TWdChar& c) {
    set_decoration((*m_decorations)[c.decoration]);
    set_link(c.link);
    set_wait(c.wait);
    write_code(c.code);
  }
  void write(const TWdOpeAlign& a) {
    if (a.align < Align::Left || a.align > Align::Center) throw Inexpressible{};
    tag(core::format("<DIV ALIGN=%s>", {align_name(a.align)}));
  }
  void write(const TWdOpeReturn& r) { tag(r.clear ? "<BR CLEAR>" : "<BR>"); }
  void write(const TWdOpeIndent&) { tag("<INDENT>"); }
  void write(const TWdOpeUndent&) { tag("<UNDENT>"); }
  void write(const TWdOpeEvent& e) {
    std::string t = "<EVENT";
    if (!e.text.empty()) t += " VALUE=" + quoted(escaped(e.text));
    if (e.end) t += " END";
    tag(t + ">");
  }
  void write(const TWdOpeVar& v) { write_variable(v, "<VAR NAME="); }
  void write(const TWdOpeHistChar& h) { write_variable(h, "<HISTCHAR VALUE="); }
  void write(const TWdImg& img) {
    if (img.align < Align::Center || img.align > Align::Bottom) throw Inexpressible{};
    set_no_break(img.no_break);
    set_ruby(img.ruby);
    set_link(img.link);
    set_wait(img.wait);
    std::string t = "<IMG SRC=" + quoted(img.source);
    if (img.align != Align::Bottom) t += core::format(" ALIGN=%s", {align_name(img.align)});
    tag(t + ">");
  }
  // Produced glyphs are not part of the text as written.
  void write(const TWdVarChar&) {}
  void write(const TWdVarReturn&) {}

  void write_variable(const TWdOpeVar& v, std::string_view opening) {
    if (v.compiled) throw Inexpressible{};
    set_decoration((*m_decorations)[v.decoration]);
    set_link(v.link);
    set_wait(v.wait);
    tag(std::string(opening) + quoted(v.name) + ">");
  }

  void write_code(std::uint16_t code) {
    if (code > 0xFF) {
      const auto lead = static_cast<std::uint8_t>(code >> 8);
      if (!core::is_lead_byte(lead)) throw Inexpressible{};
      m_out.push_back(static_cast<char>(lead));
      m_out.push_back(static_cast<char>(code & 0xFF));
      m_token_ends_in_space = false;
      return;
    }
    const auto c = static_cast<char>(code);
    if (core::is_lead_byte(c) || c == '\t' || c == '\r' || c == '\n' || c == 0x14) throw Inexpressible{};
    if (c == ' ') {
      // A space after a space in one token collapses; an empty comment ends
      // the token between them.
      if (m_token_ends_in_space) m_out += "<!---->";
      m_out.push_back(' ');
      m_token_ends_in_space = true;
      return;
    }
    if (c == '<' || c == '>' || c == '"' || c == '\\') m_out.push_back('\\');
    m_out.push_back(c);
    m_token_ends_in_space = false;
  }

  void set_decoration(const TDecorate& d) {
    set_font(FontFields(d));
    if ((d.style & ~(FS_BOLD | FS_ITALIC | FS_UNDERLINE | FS_STRIKEOUT)) != 0) throw Inexpressible{};
    for (const StyleTag& s : kStyleTags) {
      const bool want = (d.style & s.bit) != 0;
      if (want != ((m_style & s.bit) != 0)) tag(core::format(want ? "<%s>" : "</%s>", {s.name}));
    }
    m_style = d.style;
    set_no_break(d.no_break);
    set_ruby(d.ruby);
  }

  // One FONT level at most: a change pops back to the defaults and pushes a
  // tag with every field that differs from them.
  void set_font(const FontFields& f) {
    if (f == m_font) return;
    if (m_font_open) tag("</FONT>");
    m_font = FontFields();
    m_font_open = false;
    if (f == FontFields()) return;
    if (f.size < -kMaxFontSize || f.size > kMaxFontSize) throw Inexpressible{};
    std::string t = "<FONT";
    if (f.size != 0) t += core::format(" SIZE=%d", {f.size});
    t += color_attribute("COLOR", f.color);
    t += color_attribute("BCOLOR", f.border_color);
    t += color_attribute("SCOLOR", f.shadow_color);
    if (!f.font_name.empty()) t += " NAME=" + quoted(f.font_name);
    t += width_attribute("BORDER", f.border_width);
    t += width_attribute("SHADOW", f.shadow_width);
    tag(t + ">");
    m_font = f;
    m_font_open = true;
  }

  void set_no_break(bool on) {
    if (on == m_no_break) return;
    tag(on ? "<NOBR>" : "</NOBR>");
    m_no_break = on;
  }
  void set_ruby(const std::string& ruby) {
    if (ruby == m_ruby) return;
    tag(ruby.empty() ? "</RUBY>" : "<RUBY VALUE=" + quoted(ruby) + ">");
    m_ruby = ruby;
  }
  void set_link(const std::string& link) {
    if (link == m_link) return;
    tag(link.empty() ? "</A>" : "<A HREF=" + quoted(escaped(link)) + ">");
    m_link = link;
  }
  void set_wait(std::int32_t wait) {
    if (wait == m_wait) return;
    if (m_wait_open) tag("</WAIT>");
    m_wait_open = wait != m_initial_wait;
    if (m_wait_open) tag(core::format("<WAIT VALUE=%d>", {wait}));
    m_wait = wait;
  }

  void close_all() {
    set_wait(m_initial_wait);
    set_link("");
    set_ruby("");
    set_no_break(false);
    for (const StyleTag& s : kStyleTags) {
      if (m_style & s.bit) tag(core::format("</%s>", {s.name}));
    }
    if (m_font_open) tag("</FONT>");
  }

  static std::string color_attribute(std::string_view name, std::int32_t color) {
    if (color == -1) return {};
    if (color < 0 || color > 0xFFFFFF) throw Inexpressible{};
    const auto c = static_cast<unsigned>(color);
    return core::format(" %s=#%02X%02X%02X", {name, c & 0xFF, c >> 8 & 0xFF, c >> 16 & 0xFF});
  }
  static std::string width_attribute(std::string_view name, std::int32_t width) {
    if (width == -1) return {};
    if (width < 0 || width > kMaxWidth) throw Inexpressible{};
    return core::format(" %s=%d", {name, width});
  }

  // A value in double quotes, taken by the tokenizer as it stands: no double
  // quote, line break or tab may be in it, nor a lead byte at its end (which
  // would take the closing quote for its trail byte).
  static std::string quoted(std::string_view value) {
    bool bad = false;
    core::for_each_char(value, [&](std::size_t at, std::size_t n) {
      const char c = value[at];
      if (n == 1 && (c == '"' || c == '\r' || c == '\n' || c == '\t' || core::is_lead_byte(c))) bad = true;
    });
    if (bad) throw Inexpressible{};
    return "\"" + std::string(value) + "\"";
  }

  // The escapes that the unescaping of links and events reverses: a
  // backslash doubled, CR LF as \n. Quotes and other breaks are left for
  // quoted() to refuse.
  static std::string escaped(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size();) {
      const std::size_t n = core::char_length(value, i);
      if (n == 1 && value[i] == '\\') {
        out += "\\\\";
      } else if (n == 1 && value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
        out += "\\n";
        i += 2;
        continue;
      } else {
        out.append(value.substr(i, n));
      }
      i += n;
    }
    return out;
  }

  void tag(std::string_view t) {
    m_out.append(t);
    m_token_ends_in_space = false;
  }

  const TDecorateList* m_decorations = nullptr;
  std::string m_out;
  bool m_token_ends_in_space = false;
  std::int32_t m_initial_wait;
  FontFields m_font;
  bool m_font_open = false;
  std::uint8_t m_style = 0;
  bool m_no_break = false;
  std::string m_ruby;
  std::string m_link;
  std::int32_t m_wait;
  bool m_wait_open = false;
};

}  // namespace

std::optional<std::string> write_tagged_text(const ParsedText& text, std::int32_t initial_wait) {
  try {
    return TagWriter(initial_wait).run(text);
  } catch (const Inexpressible&) {
    return std::nullopt;
  }
}

std::optional<std::string> exact_tagged_text(const ParsedText& text, std::int32_t initial_wait) {
  std::optional<std::string> tagged = write_tagged_text(text, initial_wait);
  if (!tagged) return std::nullopt;
  try {
    const ParsedText again = parse_tagged_text(*tagged, ParseOptions{initial_wait});
    if (write_glyph_stream(again, text.version()) != write_glyph_stream(text)) return std::nullopt;
  } catch (const core::Error&) {
    return std::nullopt;
  }
  return tagged;
}

}  // namespace nova::text
