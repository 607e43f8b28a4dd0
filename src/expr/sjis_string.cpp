#include "expr/sjis_string.h"

#include <algorithm>

#include "core/error.h"
#include "core/sjis.h"
#include "expr/sjis_scan.h"

namespace nova::expr {

namespace {

[[noreturn]] void illegal_index() { core::throw_error("Illegal Index"); }

// The byte offset where character `index` (1-based) starts, or text.size()
// when the text has fewer characters.
std::size_t byte_of_char(std::string_view text, std::int32_t index) {
  return index <= 1 ? 0 : skip_chars(text, 0, static_cast<std::size_t>(index) - 1);
}

bool is_blank_at(std::string_view text, std::size_t pos, std::size_t len) {
  if (len == 1) return text[pos] == ' ';
  return static_cast<std::uint8_t>(text[pos]) == 0x81 && static_cast<std::uint8_t>(text[pos + 1]) == 0x40;
}

}  // namespace

std::int32_t j_length(std::string_view text) {
  return static_cast<std::int32_t>(count_chars(text, 0, text.size()).chars);
}

std::string j_copy(std::string_view text, std::int32_t index, std::int32_t count) {
  if (index < 1) index = 1;
  if (count < 1) return {};
  const std::size_t start = byte_of_char(text, index);
  std::string out;
  // At most two bytes a character.
  out.reserve(std::min(text.size() - start, 2 * static_cast<std::size_t>(count)));
  copy_chars(text, start, static_cast<std::size_t>(count), out);
  return out;
}

// Whether `at` is a character boundary, given the boundary `from` <= `at`.
// A byte that cannot be a lead byte always ends a character, so the byte
// after it is a boundary; from there on only lead-range bytes follow up to
// `at`, and each one at a boundary takes the next byte with it. So `at` is a
// boundary when the run of lead-range bytes just before it (stopping at
// `from`) has even length. The scan is as long as that run, not as the
// distance from `from`.
bool is_boundary_after(std::string_view text, std::size_t from, std::size_t at) {
  std::size_t run = 0;
  while (at - run > from && core::is_lead_byte(text[at - run - 1])) ++run;
  return run % 2 == 0;
}

// Finds candidates with the library's substring search and passes over
// those that start inside a double-byte character. A candidate passed over
// is a trail byte, so the byte after it starts a character: later checks
// scan back no further than that, and the whole search reads each byte at
// most twice.
std::size_t find_on_boundary(std::string_view text, std::string_view part, std::size_t from) {
  if (part.empty()) return std::string_view::npos;
  std::size_t boundary = from;
  for (std::size_t candidate = text.find(part, from); candidate != std::string_view::npos;
       candidate = text.find(part, boundary)) {
    if (is_boundary_after(text, boundary, candidate)) return candidate;
    boundary = candidate + 1;
  }
  return std::string_view::npos;
}

std::int32_t j_pos(std::string_view part, std::string_view text) {
  const CharFind found = find_chars(text, part);
  return found.at == std::string_view::npos ? 0 : static_cast<std::int32_t>(found.chars + 1);
}

std::string j_insert(std::string_view part, std::string_view text, std::int32_t index) {
  if (index < 1) index = 1;
  std::size_t at = byte_of_char(text, index);
  std::string out;
  out.reserve(text.size() + part.size());
  out.append(text.substr(0, at));
  out.append(part);
  out.append(text.substr(at));
  return out;
}

std::string j_delete(std::string_view text, std::int32_t index, std::int32_t count) {
  if (index < 1 || count < 1) return std::string(text);
  const std::size_t start = byte_of_char(text, index);
  if (start >= text.size()) return std::string(text);
  const std::size_t end = skip_chars(text, start, static_cast<std::size_t>(count));
  std::string out(text.substr(0, start));
  out.append(text.substr(end));
  return out;
}

std::string j_trim(std::string_view text) {
  std::size_t first = text.size(), last_end = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t len = core::char_length(text, pos);
    if (!is_blank_at(text, pos, len)) {
      if (first == text.size()) first = pos;
      last_end = pos + len;
    }
    pos += len;
  }
  if (first == text.size()) return {};
  return std::string(text.substr(first, last_end - first));
}

std::uint16_t char_at(std::string_view text, std::int32_t index) {
  if (index < 1) illegal_index();
  std::size_t pos = byte_of_char(text, index);
  if (pos >= text.size()) illegal_index();
  return core::char_code_at(text, pos);
}

std::int32_t char_to_byte(std::string_view text, std::int32_t index) {
  if (index < 1) illegal_index();
  std::size_t pos = 0;
  std::int32_t i = 1;
  for (; i < index && pos < text.size(); ++i) pos += core::char_length(text, pos);
  if (i < index) illegal_index();
  return static_cast<std::int32_t>(pos) + 1;
}

bool is_trail_byte(std::string_view text, std::int32_t pos) {
  if (pos < 1 || static_cast<std::size_t>(pos) > text.size()) illegal_index();
  std::size_t leads = 0;
  for (std::size_t i = static_cast<std::size_t>(pos) - 1; i > 0 && core::is_lead_byte(text[i - 1]); --i) ++leads;
  return leads % 2 == 1;
}

std::string cut_at_delimiter(std::string& text, std::string_view delimiters) {
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t len = core::char_length(text, pos);
    std::string_view ch(text.data() + pos, len);
    bool match = false;
    for (std::size_t d = 0; d < delimiters.size() && !match; d += core::char_length(delimiters, d)) {
      match = delimiters.substr(d, core::char_length(delimiters, d)) == ch;
    }
    if (match) {
      std::string head = text.substr(0, pos);
      text.erase(0, pos + len);
      return head;
    }
    pos += len;
  }
  std::string all = std::move(text);
  text.clear();
  return all;
}

std::vector<std::string> split_text_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  // The next CR and LF at or after pos, each searched again only once pos
  // has passed it, so a text without one of them is scanned once.
  std::size_t next_lf = text.find('\n'), next_cr = text.find('\r');
  while (pos < text.size()) {
    if (next_lf != std::string_view::npos && next_lf < pos) next_lf = text.find('\n', pos);
    if (next_cr != std::string_view::npos && next_cr < pos) next_cr = text.find('\r', pos);
    const std::size_t end = std::min(next_lf, next_cr);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(pos));
      break;
    }
    lines.emplace_back(text.substr(pos, end - pos));
    pos = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

}  // namespace nova::expr
