#include "data/db_tsv.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/log.h"
#include "core/sjis.h"
#include "expr/number_text.h"

namespace nova::data {

namespace {

// What a byte is to the scanners: plain, a lead byte (its character takes
// the next byte too), a tab or a backslash.
enum ByteClass : std::uint8_t { kPlain, kLead, kTab, kBackslash };

constexpr std::array<std::uint8_t, 256> make_classes() {
  std::array<std::uint8_t, 256> t{};
  for (int b = 0; b < 256; ++b) t[static_cast<std::size_t>(b)] = core::is_lead_byte(static_cast<std::uint8_t>(b)) ? kLead : kPlain;
  t['\t'] = kTab;
  t['\\'] = kBackslash;
  return t;
}
constexpr std::array<std::uint8_t, 256> kClasses = make_classes();

std::uint8_t class_of(char c) { return kClasses[static_cast<std::uint8_t>(c)]; }

// The next line from `rest`, which loses it and its end (CR, LF or CR LF);
// false when nothing is left.
bool next_line(std::string_view& rest, std::string_view& line) {
  if (rest.empty()) return false;
  std::size_t end = 0;
  while (end < rest.size() && rest[end] != '\r' && rest[end] != '\n') ++end;
  line = rest.substr(0, end);
  if (end == rest.size()) {
    rest = {};
    return true;
  }
  const std::size_t skip = rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n' ? 2 : 1;
  rest.remove_prefix(end + skip);
  return true;
}

// The position of the first `c` that is a character of its own, npos when
// none.
std::size_t find_char(std::string_view s, char c) {
  for (std::size_t i = 0; i < s.size(); i += core::char_length(s, i)) {
    if (s[i] == c) return i;
  }
  return std::string_view::npos;
}

// Splits at tabs: every tab ends a column, and the text after the last tab
// is a column when it is not empty. A lead byte takes the byte after it
// (unless it ends the line), so a tab there is no separator.
void split_tabs(std::string_view line, std::vector<std::string_view>& columns) {
  columns.clear();
  const std::size_t n = line.size();
  std::size_t start = 0;
  for (std::size_t i = 0; i < n;) {
    const std::uint8_t k = class_of(line[i]);
    if (k == kTab) {
      columns.push_back(line.substr(start, i - start));
      start = ++i;
    } else {
      i += k == kLead && i + 1 < n ? 2 : 1;
    }
  }
  if (start < n) columns.push_back(line.substr(start));
}

// Without the bytes up to 0x20 at both ends.
std::string_view trimmed(std::string_view s) {
  while (!s.empty() && static_cast<std::uint8_t>(s.front()) <= 0x20) s.remove_prefix(1);
  while (!s.empty() && static_cast<std::uint8_t>(s.back()) <= 0x20) s.remove_suffix(1);
  return s;
}

// The text before the first blank, and `s` after it (empty when none).
std::string_view cut_at_blank(std::string_view& s) {
  const std::size_t blank = find_char(s, ' ');
  const std::string_view head = s.substr(0, blank);
  s = blank == std::string_view::npos ? std::string_view() : s.substr(blank + 1);
  return head;
}

// The literal rule: \" and \\ stand for the second character, \n for CR LF;
// a backslash before anything else stays, and the character after it is
// read on its own. A double-byte character is copied whole. The text never
// grows, so `out` keeps its capacity from line to line.
void resolve_escapes(std::string_view line, std::string& out) {
  out.clear();
  const std::size_t n = line.size();
  std::size_t run = 0;  // start of the bytes not yet copied
  for (std::size_t i = 0; i < n;) {
    const std::uint8_t k = class_of(line[i]);
    if (k != kBackslash || i + 1 >= n) {
      i += k == kLead && i + 1 < n ? 2 : 1;
      continue;
    }
    const char next = line[i + 1];
    if (next != '"' && next != '\\' && next != 'n') {
      ++i;
      continue;
    }
    out.append(line.substr(run, i - run));
    if (next == 'n') {
      out += "\r\n";
    } else {
      out += next;
    }
    i += 2;
    run = i;
  }
  out.append(line.substr(run));
}

struct Column {
  std::string name;
  DBFieldType type;
  std::int32_t length;
};

// A header column, or nullopt for one without a name.
std::optional<Column> parse_column(std::string_view text) {
  const std::string_view name = trimmed(cut_at_blank(text));
  if (name.empty()) return std::nullopt;
  const std::string_view word = trimmed(cut_at_blank(text));
  const std::int32_t length = expr::parse_int(trimmed(text)).value_or(80);
  DBFieldType type = DBFieldType::String;
  if (word == "int") type = DBFieldType::Integer;
  if (word == "float") type = DBFieldType::Float;
  if (word == "bool") type = DBFieldType::Flag;
  return Column{std::string(name), type, type == DBFieldType::String ? std::max(length, 0) : 0};
}

}  // namespace

bool load_tsv(TDBTable& table, std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return false;
  std::string_view rest(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::string_view line;
  next_line(rest, line);
  table.clear();
  std::vector<std::string_view> columns;
  split_tabs(line, columns);
  for (std::string_view text : columns) {
    const std::optional<Column> c = parse_column(text);
    if (!c || !table.can_add_field(c->type, c->length)) {
      core::logf(core::Channel::Data, core::Level::Warning, "DBLoadTsvFile: %s: the header column \"%s\" %s",
                 {table.name(), std::string(text), c ? "makes a field beyond the limits" : "has no name"});
      table.clear();
      return false;
    }
    table.add_field(c->name, c->type, c->length);
  }
  const auto fields = static_cast<std::int32_t>(table.fields().size());
  // One growth of the records for the lines there are (a guess that CR LF
  // files meet exactly), instead of many.
  const auto lf = static_cast<std::int64_t>(std::count(rest.begin(), rest.end(), '\n'));
  const auto cr = static_cast<std::int64_t>(std::count(rest.begin(), rest.end(), '\r'));
  table.reserve(std::max(lf, cr) + 1);
  std::string unescaped;
  while (next_line(rest, line)) {
    if (line.empty()) continue;
    if (std::memchr(line.data(), '\\', line.size()) != nullptr) {
      resolve_escapes(line, unescaped);
      line = unescaped;
    }
    if (!table.can_add(1)) {
      core::logf(core::Channel::Data, core::Level::Warning, "DBLoadTsvFile: %s: the table is full at %d records",
                 {table.name(), table.record_count()});
      return false;
    }
    split_tabs(line, columns);
    const std::int32_t rec = table.append();
    const std::int32_t n = std::min(static_cast<std::int32_t>(columns.size()), fields);
    for (std::int32_t i = 0; i < n; ++i) table.set_str(rec, i, columns[static_cast<std::size_t>(i)]);
  }
  return true;
}

}  // namespace nova::data
