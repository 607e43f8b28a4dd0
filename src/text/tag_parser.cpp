#include "text/tag_parser.h"

#include <algorithm>
#include <array>
#include <optional>

#include "core/error.h"
#include "core/sjis.h"
#include "expr/number_text.h"

namespace nova::text {

namespace {

bool is_blank_at(std::string_view s, std::size_t i) {
  return core::char_length(s, i) == 1 && static_cast<std::uint8_t>(s[i]) <= 0x20;
}

std::size_t skip_blanks(std::string_view s, std::size_t i) {
  while (i < s.size() && is_blank_at(s, i)) ++i;
  return i;
}

// The end of the run of characters from `i` that are neither blanks nor, when
// asked, "=".
std::size_t scan_word(std::string_view s, std::size_t i, bool stop_at_equals) {
  while (i < s.size() && !is_blank_at(s, i) && !(stop_at_equals && s[i] == '=')) i += core::char_length(s, i);
  return i;
}

// `s` without blanks at either end; the end is found character by character
// so that a malformed lead byte keeps the byte after it.
std::string_view trim_blanks(std::string_view s) {
  std::size_t begin = skip_blanks(s, 0);
  std::size_t end = begin;
  for (std::size_t i = begin; i < s.size();) {
    const std::size_t n = core::char_length(s, i);
    if (!is_blank_at(s, i)) end = i + n;
    i += n;
  }
  return s.substr(begin, end - begin);
}

// The value of "#RRGGBB" as a platform color (0x00BBGGRR), or nullopt.
std::optional<std::int32_t> parse_color(std::string_view v) {
  if (v.size() != 7 || v[0] != '#') return std::nullopt;
  std::uint32_t rgb = 0;
  for (char c : v.substr(1)) {
    const int digit = expr::hex_digit(c);
    if (digit < 0) return std::nullopt;
    rgb = rgb << 4 | static_cast<std::uint32_t>(digit);
  }
  const std::uint32_t r = rgb >> 16 & 0xFF, g = rgb >> 8 & 0xFF, b = rgb & 0xFF;
  return static_cast<std::int32_t>(r | g << 8 | b << 16);
}

// The alignment an ALIGN value names when it lies in [lowest, highest], else
// the fallback (also without the attribute).
Align parse_align(const std::string* value, Align lowest, Align highest, Align fallback) {
  if (!value) return fallback;
  for (auto code = static_cast<int>(lowest); code <= static_cast<int>(highest); ++code) {
    const auto align = static_cast<Align>(code);
    if (core::equal_ci(*value, align_name(align))) return align;
  }
  return fallback;
}

// A stack of the decoration state: its top, or the default when empty.
// Popping an empty stack does nothing.
template <typename T>
class ValueStack {
 public:
  explicit ValueStack(T fallback) : m_default(std::move(fallback)) {}
  const T& top() const { return m_values.empty() ? m_default : m_values.back(); }
  void push(T v) { m_values.push_back(std::move(v)); }
  void pop() {
    if (!m_values.empty()) m_values.pop_back();
  }

 private:
  std::vector<T> m_values;
  T m_default;
};

// The running decoration state of one parse.
struct TTagValList {
  explicit TTagValList(std::int32_t initial_wait) : wait(initial_wait) {}

  // One level per open FONT tag (BCOLOR is the color of the characters'
  // border).
  ValueStack<FontFields> font{FontFields()};
  std::uint8_t style = 0;
  bool no_break = false;
  std::string ruby;
  ValueStack<Align> align{Align::Left};
  std::string link;
  ValueStack<std::int32_t> wait;

  TDecorate decoration() const {
    const FontFields& f = font.top();
    TDecorate d;
    d.size = f.size;
    d.color = f.color;
    d.border_color = f.border_color;
    d.shadow_color = f.shadow_color;
    d.border_width = f.border_width;
    d.shadow_width = f.shadow_width;
    d.font_name = f.font_name;
    d.style = style;
    d.no_break = no_break;
    d.ruby = ruby;
    return d;
  }
};

class TagParser {
 public:
  explicit TagParser(const ParseOptions& options) : m_state(options.initial_wait) {}

  ParsedText run(std::span<const Token> tokens) {
    for (const Token& t : tokens) {
      if (is_tag(t)) {
        apply_tag(parse_tag(t.text));
      } else {
        add_characters(t.text);
      }
    }
    return std::move(m_text);
  }

 private:
  using Handler = void (TagParser::*)(const Tag&, int);
  struct TagRow {
    std::string_view name;
    Handler handler;
    int arg;
  };
  static const std::array<TagRow, 28> kTags;

  void apply_tag(const Tag& tag) {
    for (const TagRow& row : kTags) {
      if (core::equal_ci(tag.name, row.name)) {
        (this->*row.handler)(tag, row.arg);
        return;
      }
    }
  }

  void add_characters(std::string_view text) {
    core::for_each_char(text, [&](std::size_t at, std::size_t) {
      m_text.append(TWdChar{m_state.link, m_state.wait.top(), core::char_code_at(text, at), decoration()});
    });
  }

  // The record of the current decoration, looked up once per change of the
  // state rather than once per character.
  std::int32_t decoration() {
    if (m_decoration < 0) m_decoration = m_text.intern(m_state.decoration());
    return m_decoration;
  }
  void decoration_changed() { m_decoration = -1; }

  void tag_link(const Tag& tag, int) {
    const std::string* href = tag.find("HREF");
    if (!href) core::throw_error_utf8("<A>タグにHREF値がありません");
    m_state.link = unescape_literal(*href);
  }
  void tag_end_link(const Tag&, int) { m_state.link.clear(); }

  void tag_style_on(const Tag&, int bit) {
    m_state.style = static_cast<std::uint8_t>(m_state.style | bit);
    decoration_changed();
  }
  void tag_style_off(const Tag&, int bit) {
    m_state.style = static_cast<std::uint8_t>(m_state.style & ~bit);
    decoration_changed();
  }

  void tag_font(const Tag& tag, int) {
    // The new level starts as a copy of the current one and each attribute
    // overwrites only its own field, so an attribute that is missing or does
    // not parse keeps the value that was current when the tag began.
    FontFields f = m_state.font.top();
    // Sizes keep their sign (later stages take the magnitude).
    auto size = [&](const char* name, std::int32_t& field) {
      if (const std::string* v = tag.find(name)) {
        field = std::clamp(expr::parse_int(*v).value_or(field), -kMaxFontSize, kMaxFontSize);
      }
    };
    auto color = [&](const char* name, std::int32_t& field) {
      if (const std::string* v = tag.find(name)) field = parse_color(*v).value_or(field);
    };
    // BORDER and SHADOW alone switch the effect on at width 1.
    auto width = [&](const char* name, std::int32_t& field) {
      if (const std::string* v = tag.find(name)) field = std::clamp(expr::parse_int(*v).value_or(1), 0, kMaxWidth);
    };
    size("SIZE", f.size);
    color("COLOR", f.color);
    color("BCOLOR", f.border_color);
    color("SCOLOR", f.shadow_color);
    if (const std::string* name = tag.find("NAME")) f.font_name = *name;
    width("BORDER", f.border_width);
    width("SHADOW", f.shadow_width);
    m_state.font.push(std::move(f));
    decoration_changed();
  }
  void tag_end_font(const Tag&, int) {
    m_state.font.pop();
    decoration_changed();
  }

  void tag_no_break(const Tag&, int on) {
    m_state.no_break = on != 0;
    decoration_changed();
  }

  void tag_ruby(const Tag& tag, int) {
    const std::string* v = tag.find("VALUE");
    m_state.ruby = v ? *v : std::string();
    decoration_changed();
  }
  void tag_end_ruby(const Tag&, int) {
    m_state.ruby.clear();
    decoration_changed();
  }

  void tag_div(const Tag& tag, int) {
    m_state.align.push(parse_align(tag.find("ALIGN"), Align::Left, Align::Center, Align::Left));
    m_text.append(TWdOpeAlign{m_state.align.top()});
  }
  void tag_end_div(const Tag&, int) {
    m_state.align.pop();
    m_text.append(TWdOpeAlign{m_state.align.top()});
  }

  void tag_indent(const Tag&, int) { m_text.append(TWdOpeIndent{}); }
  void tag_undent(const Tag&, int) { m_text.append(TWdOpeUndent{}); }

  void tag_break(const Tag& tag, int) { m_text.append(TWdOpeReturn{tag.find("CLEAR") != nullptr}); }
  void tag_clear(const Tag&, int) { m_text.append(TWdOpeReturn{true}); }

  void tag_event(const Tag& tag, int) {
    const std::string* v = tag.find("VALUE");
    m_text.append(TWdOpeEvent{v ? unescape_literal(*v) : std::string(), tag.find("END") != nullptr});
  }

  void tag_wait(const Tag& tag, int) {
    const std::string* v = tag.find("VALUE");
    const std::int32_t current = m_state.wait.top();
    m_state.wait.push(v ? expr::parse_int(*v).value_or(current) : current);
  }
  void tag_end_wait(const Tag&, int) { m_state.wait.pop(); }

  TWdOpeVar variable(const std::string* name) {
    TWdOpeVar v;
    v.decoration = decoration();
    v.wait = m_state.wait.top();
    v.link = m_state.link;
    if (name) v.name = *name;
    return v;
  }
  void tag_var(const Tag& tag, int) { m_text.append(variable(tag.find("NAME"))); }
  void tag_hist_char(const Tag& tag, int) { m_text.append(TWdOpeHistChar{variable(tag.find("VALUE"))}); }

  void tag_image(const Tag& tag, int) {
    const std::string* source = tag.find("SRC");
    if (!source) return;
    TWdImg img;
    img.link = m_state.link;
    img.wait = m_state.wait.top();
    img.source = *source;
    img.align = parse_align(tag.find("ALIGN"), Align::Center, Align::Bottom, Align::Bottom);
    img.no_break = m_state.no_break;
    img.ruby = m_state.ruby;
    m_text.append(std::move(img));
  }

  ParsedText m_text;
  TTagValList m_state;
  std::int32_t m_decoration = -1;
};

const std::array<TagParser::TagRow, 28> TagParser::kTags = {{
    {"A", &TagParser::tag_link, 0},
    {"/A", &TagParser::tag_end_link, 0},
    {"B", &TagParser::tag_style_on, FS_BOLD},
    {"/B", &TagParser::tag_style_off, FS_BOLD},
    {"FONT", &TagParser::tag_font, 0},
    {"/FONT", &TagParser::tag_end_font, 0},
    {"I", &TagParser::tag_style_on, FS_ITALIC},
    {"/I", &TagParser::tag_style_off, FS_ITALIC},
    {"S", &TagParser::tag_style_on, FS_STRIKEOUT},
    {"/S", &TagParser::tag_style_off, FS_STRIKEOUT},
    {"U", &TagParser::tag_style_on, FS_UNDERLINE},
    {"/U", &TagParser::tag_style_off, FS_UNDERLINE},
    {"NOBR", &TagParser::tag_no_break, 1},
    {"/NOBR", &TagParser::tag_no_break, 0},
    {"RUBY", &TagParser::tag_ruby, 0},
    {"/RUBY", &TagParser::tag_end_ruby, 0},
    {"DIV", &TagParser::tag_div, 0},
    {"/DIV", &TagParser::tag_end_div, 0},
    {"INDENT", &TagParser::tag_indent, 0},
    {"UNDENT", &TagParser::tag_undent, 0},
    {"BR", &TagParser::tag_break, 0},
    {"CLEAR", &TagParser::tag_clear, 0},
    {"EVENT", &TagParser::tag_event, 0},
    {"WAIT", &TagParser::tag_wait, 0},
    {"/WAIT", &TagParser::tag_end_wait, 0},
    {"VAR", &TagParser::tag_var, 0},
    {"IMG", &TagParser::tag_image, 0},
    {"HISTCHAR", &TagParser::tag_hist_char, 0},
}};

}  // namespace

const std::string* Tag::find(std::string_view attribute) const {
  for (const TagAttribute& a : attributes) {
    if (core::equal_ci(a.name, attribute)) return &a.value;
  }
  return nullptr;
}

Tag parse_tag(std::string_view token) {
  Tag tag;
  if (token.size() < 2) return tag;
  const std::string_view s = trim_blanks(token.substr(1, token.size() - 2));
  std::size_t i = scan_word(s, 0, true);
  tag.name = std::string(s.substr(0, i));
  for (;;) {
    i = skip_blanks(s, i);
    if (i >= s.size()) break;
    const std::size_t name_end = scan_word(s, i, true);
    TagAttribute a{std::string(s.substr(i, name_end - i)), {}};
    i = name_end;
    // The value begins right after the "="; a blank there leaves it empty.
    if (i < s.size() && s[i] == '=') {
      ++i;
      if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
        const char quote = s[i];
        std::size_t close = i + 1;
        while (close < s.size() && !(core::char_length(s, close) == 1 && s[close] == quote)) {
          close += core::char_length(s, close);
        }
        if (close < s.size()) {
          a.value = std::string(s.substr(i + 1, close - i - 1));
          i = close + 1;
        } else {
          const std::size_t end = scan_word(s, i + 1, false);
          a.value = std::string(s.substr(i + 1, end - i - 1));
          i = end;
        }
      } else {
        const std::size_t end = scan_word(s, i, false);
        a.value = std::string(s.substr(i, end - i));
        i = end;
      }
    }
    tag.attributes.push_back(std::move(a));
  }
  return tag;
}

std::string unescape_literal(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = core::char_length(s, i);
    if (n == 1 && s[i] == '\\' && i + 1 < s.size() && core::char_length(s, i + 1) == 1) {
      const char next = s[i + 1];
      if (next == '"' || next == '\\') {
        out.push_back(next);
        i += 2;
        continue;
      }
      if (next == 'n') {
        out.append("\r\n");
        i += 2;
        continue;
      }
    }
    out.append(s.substr(i, n));
    i += n;
  }
  return out;
}

ParsedText parse_tagged_lines(std::span<const std::string> lines, const ParseOptions& options) {
  const std::vector<Token> tokens = tokenize(join_lines(lines));
  return TagParser(options).run(tokens);
}

ParsedText parse_tagged_text(std::string_view text, const ParseOptions& options) {
  const std::vector<std::string> lines = split_lines(text);
  return parse_tagged_lines(lines, options);
}

}  // namespace nova::text
