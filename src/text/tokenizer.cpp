#include "text/tokenizer.h"

#include <array>

#include "core/sjis.h"

namespace nova::text {

namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kTab = '\t';
constexpr char kSpaceMark = 0x14;

constexpr std::array<std::string_view, 3> kRawOpeners = {"<!--", "<SCRIPT", "<STYLE"};
constexpr std::array<std::string_view, 3> kRawClosers = {"-->", "</SCRIPT>", "</STYLE>"};

// The characters a backslash takes literally.
constexpr std::string_view kEscapable = "\"%<>\\{}";

// The length of the pattern of `patterns` that the text starts with (without
// regard to case), or 0. The patterns are plain ASCII, and no double-byte
// character equals ASCII characters, so no character is split.
template <std::size_t N>
std::size_t match_any(std::string_view s, const std::array<std::string_view, N>& patterns) {
  for (std::string_view p : patterns) {
    if (core::starts_with_ci(s, p)) return p.size();
  }
  return 0;
}

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : m_text(text) {}

  std::vector<Token> run() {
    while (m_pos < m_text.size()) step();
    emit();
    return std::move(m_tokens);
  }

 private:
  void step() {
    const std::size_t len = core::char_length(m_text, m_pos);
    const char c = m_text[m_pos];
    // A lead byte with nothing after it is half a character: no glyph.
    if (len == 1 && core::is_lead_byte(c) && m_pos + 1 == m_text.size()) {
      ++m_pos;
      return;
    }
    if (m_skip_cr) {
      m_skip_cr = false;
      if (len == 1 && c == kCR) {
        ++m_pos;
        return;
      }
    }
    if (len == 2) {
      append(m_text.substr(m_pos, 2));
      m_pos += 2;
      return;
    }
    if (m_in_quote) {
      if (c == '"') m_in_quote = false;
      if (c != kCR && c != kLF && c != kTab) append(c);
      ++m_pos;
      return;
    }
    if (raw_block(c)) return;
    switch (c) {
      case '<':
        if (m_tag_depth == 0) emit();
        append(c);
        m_markup = true;
        ++m_tag_depth;
        break;
      case '>':
        if (m_tag_depth > 0) {
          close_tag();
        } else {
          append(c);
        }
        break;
      case '\\':
        if (m_pos + 1 < m_text.size() && core::char_length(m_text, m_pos + 1) == 1 &&
            kEscapable.find(m_text[m_pos + 1]) != std::string_view::npos) {
          append(m_text[m_pos + 1]);
          ++m_pos;
        }
        break;
      case kCR:
        if (m_tag_depth == 0 && keeps_layout()) {
          emit();
          if (m_pre) m_tokens.push_back({"<BR>", true});
        } else if (!m_token.empty() && (m_pos == 0 || m_text[m_pos - 1] != ' ')) {
          // The byte before the break decides, not the token: after an empty
          // line, a space mark or a dropped tab the break is one more space.
          append(' ');
        }
        break;
      case kSpaceMark:
        if (keeps_layout() || !m_ends_in_space) append(' ');
        break;
      case kTab:
        if (keeps_layout()) {
          for (int i = 0; i < 8; ++i) append(' ');
        }
        break;
      case '"':
        append(c);
        m_in_quote = true;
        break;
      default:
        if (!(c == ' ' && m_ends_in_space)) append(c);
        break;
    }
    ++m_pos;
  }

  // Raw blocks (comments, scripts, style sheets) are kept whole as one token
  // so that nothing inside them is read as tags or text. Answers whether the
  // byte at the position was taken.
  bool raw_block(char c) {
    std::string_view rest = m_text.substr(m_pos);
    if (m_raw_depth > 0) {
      if (std::size_t n = match_any(rest, kRawClosers)) {
        append(rest.substr(0, n));
        m_pos += n;
        if (--m_raw_depth == 0) emit();
        return true;
      }
    }
    if (c == '<') {
      if (std::size_t n = match_any(rest, kRawOpeners)) {
        if (m_raw_depth == 0) emit();
        append(rest.substr(0, n));
        m_markup = true;
        m_pos += n;
        ++m_raw_depth;
        return true;
      }
    }
    if (m_raw_depth == 0) return false;
    append(c);
    if (c == kCR) append(kLF);
    ++m_pos;
    return true;
  }

  void close_tag() {
    if (--m_tag_depth > 0 || m_token.empty()) return;
    append('>');
    m_markup = true;
    const std::string tag = m_token;
    emit();
    if (core::starts_with_ci(tag, "<PRE") && !m_textarea) {
      m_pre = true;
      m_skip_cr = true;
    } else if (core::starts_with_ci(tag, "</PRE")) {
      m_pre = false;
      drop_break_before_close();
    } else if (core::starts_with_ci(tag, "<TEXTAREA")) {
      m_textarea = true;
      m_skip_cr = true;
    } else if (core::starts_with_ci(tag, "</TEXTAREA")) {
      m_textarea = false;
      drop_break_before_close();
    } else if (core::starts_with_ci(tag, "<SCRIPT")) {
      // Only a script tag that is no raw block gets here ("<\SCRIPT>").
      ++m_script;
      m_skip_cr = true;
    } else if (core::starts_with_ci(tag, "</SCRIPT")) {
      --m_script;
    }
  }

  // PRE, TEXTAREA and script text keep their line breaks, tabs and space
  // marks.
  bool keeps_layout() const { return m_pre || m_textarea || m_script > 0; }

  // The break that the last source line of a PRE block made is not shown.
  void drop_break_before_close() {
    const std::size_t n = m_tokens.size();
    if (n >= 2 && m_tokens[n - 2].markup && core::equal_ci(m_tokens[n - 2].text, "<BR>")) {
      m_tokens.erase(m_tokens.begin() + static_cast<std::ptrdiff_t>(n - 2));
    }
  }

  void append(char c) {
    m_token.push_back(c);
    m_ends_in_space = c == ' ';
  }
  void append(std::string_view s) {
    m_token.append(s);
    // A double-byte character or a pattern never ends in a lone space.
    m_ends_in_space = false;
  }

  void emit() {
    if (!m_token.empty()) m_tokens.push_back({std::move(m_token), m_markup});
    m_token.clear();
    m_ends_in_space = false;
    m_markup = false;
  }

  std::string_view m_text;
  std::size_t m_pos = 0;
  std::vector<Token> m_tokens;
  std::string m_token;
  bool m_markup = false;         // the token holds a '<' that opened a tag or a raw block
  bool m_ends_in_space = false;  // the token's last character is a single-byte space
  int m_tag_depth = 0;
  int m_raw_depth = 0;
  bool m_in_quote = false;
  bool m_pre = false;
  bool m_textarea = false;
  int m_script = 0;  // open script tags less closed ones
  bool m_skip_cr = false;
};

}  // namespace

std::vector<std::string> split_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;  // a line has begun that no break has ended yet
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t len = core::char_length(text, i);
    const char c = text[i];
    if (len == 1 && (c == kCR || c == kLF)) {
      lines.push_back(std::move(line));
      line.clear();
      open = false;
      i += (c == kCR && i + 1 < text.size() && text[i + 1] == kLF) ? 2 : 1;
      continue;
    }
    line.append(text.substr(i, len));
    open = true;
    i += len;
  }
  if (open) lines.push_back(std::move(line));
  return lines;
}

std::string join_lines(std::span<const std::string> lines) {
  std::string joined;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) joined.push_back(kCR);
    joined.append(lines[i]);
  }
  return joined;
}

std::vector<Token> tokenize(std::string_view joined) { return Tokenizer(joined).run(); }

bool is_tag(const Token& t) {
  std::string_view token = t.text;
  if (!t.markup || token.size() <= 2 || token.front() != '<' || token.back() != '>') return false;
  // The closing '>' must be a character of its own, not the second byte of
  // a double-byte character.
  std::size_t last = 0;
  core::for_each_char(token, [&](std::size_t at, std::size_t) { last = at; });
  return last == token.size() - 1;
}

}  // namespace nova::text
