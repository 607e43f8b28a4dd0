// What the title source languages share: source files as lines, the
// diagnostics they produce, and the small syntax of values.
//
// Sources are UTF-8. A line is cut into segments at ";" (fields) or ","
// (list items); the cutting never looks inside a double-quoted string (with
// its backslash escapes) or a backquoted raw value, and commas inside
// parentheses and brackets do not cut, so expressions pass whole.
//
// Values:
//   bare text         trimmed, as it stands
//   "quoted"          \" \\ \n (LF) \r (CR) \t and \xHH (one raw byte)
//   `hex bytes`       raw bytes, for what has no readable form; blanks
//                     between the digits are allowed
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nova::tools {

// --- Diagnostics ------------------------------------------------------------

struct Diagnostic {
  enum class Severity : std::uint8_t { Error, Warning };
  Severity severity = Severity::Error;
  std::string file;     // as given to the compiler (UTF-8)
  int line = 0;         // 1-based; 0 for the file as a whole
  int column = 0;       // 1-based, in characters; 0 when unknown
  std::string message;  // UTF-8
};

// Collects every error and warning of a run, in the order found.
class Diagnostics {
 public:
  void error(std::string file, int line, int column, std::string message);
  void warning(std::string file, int line, int column, std::string message);
  bool has_errors() const { return m_errors > 0; }
  int error_count() const { return m_errors; }
  // In the order found.
  const std::vector<Diagnostic>& items() const { return m_items; }
  // By file (in the order files first appear), then by line and column.
  std::vector<Diagnostic> sorted() const;
  // "file:line:column: error: message", one per line, sorted.
  std::string format() const;

 private:
  std::vector<Diagnostic> m_items;
  int m_errors = 0;
};

// --- Source files -----------------------------------------------------------

struct SourceLine {
  int number = 0;     // 1-based
  int indent = 0;     // leading spaces
  std::string text;   // the line without its indentation and line break
  bool blank = true;  // nothing but blanks
};

// Cuts UTF-8 text into lines (LF or CR LF; a byte order mark is skipped).
// Invalid UTF-8 and tabs in the indentation are reported and the line is
// taken as far as it goes.
std::vector<SourceLine> split_source(std::string_view utf8, const std::string& file, Diagnostics& diagnostics);

// The column (1-based, in characters) of byte `offset` of a line whose text
// starts after `indent` spaces.
int column_of(const SourceLine& line, std::size_t offset);

// --- Segments ---------------------------------------------------------------

struct Segment {
  std::string text;        // trimmed
  std::size_t offset = 0;  // of the first byte of `text` in the cut text
};

// Cuts at every `separator` outside quotes and backquotes (and, when
// `nested` is set, outside parentheses and brackets). An empty text gives no
// segment at all; otherwise every separator makes one more segment.
std::vector<Segment> split_segments(std::string_view text, char separator, bool nested);

// Steps over the quoted string or raw value that starts at `i` (a '"' or a
// '`'): the position after it, or the end of the text when it is not closed.
std::size_t skip_quoted(std::string_view text, std::size_t i);

// The position of the first `c` outside quotes and backquotes, or npos.
std::size_t find_unquoted(std::string_view text, char c, std::size_t from = 0);

// Trims blanks (space, tab) from both ends.
std::string_view trim(std::string_view s);

// --- Values -----------------------------------------------------------------

// The value of a string in the source: quoted or bare, converted to
// Shift-JIS. An error message (UTF-8) when it cannot be: a character
// Shift-JIS cannot hold, a bad escape, an unclosed quote.
struct StringValue {
  std::string sjis;
  std::string error;
  bool quoted = false;
};
StringValue parse_string_value(std::string_view text);

// A quoted string may be followed by more text (a target's label after its
// page): reads one quoted string at the start of `text`; `length` receives
// the bytes it took.
StringValue parse_quoted_prefix(std::string_view text, std::size_t& length);

// Whether `text` is a raw value (`...`), and its bytes.
bool is_raw_value(std::string_view text);
std::optional<std::string> parse_raw_value(std::string_view text);
std::string raw_value(std::string_view bytes);

// Shift-JIS to UTF-8 that converts back to the very bytes; nullopt when it
// would not (bytes that are no character, or characters with several codes).
std::optional<std::string> exact_utf8(std::string_view sjis);
// Shift-JIS to UTF-8 for messages (what has no character shows as U+FFFD).
std::string utf8(std::string_view sjis);
// UTF-8 to Shift-JIS with a message naming the first character that cannot
// be held (by its column within `utf8`).
std::optional<std::string> to_sjis(std::string_view utf8, std::string* error);

// Writes a Shift-JIS string as a source value: bare when it reads back the
// same (no separator or quote anywhere, no blank at either end, not empty), else quoted
// with escapes. `separators` are the characters the place it goes to cuts
// at (";" for fields, also "," for list items, ":" for a target's page).
std::string string_source(std::string_view sjis, std::string_view separators = ";");
// Always quoted.
std::string quoted_source(std::string_view sjis);

// Integer values: decimal with an optional sign, or hexadecimal after "0x".
std::optional<std::int64_t> parse_integer(std::string_view text);
// yes/no, true/false, on/off, or a number; nullopt for anything else.
std::optional<std::int64_t> parse_flag(std::string_view text);

// Reads a whole file; raises core::Error naming it when it cannot.
std::string read_host_file(const std::filesystem::path& path);
// Writes a whole file, making its folder.
void write_host_file(const std::filesystem::path& path, std::string_view bytes);

}  // namespace nova::tools
