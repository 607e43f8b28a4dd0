// The page source compiler: a page source (UTF-8 text, one command per
// line) becomes the page file the player loads (script::TPageFile).
//
// Compiling takes two steps, so that a title's pages can refer to each
// other's labels: parse() reads the lines, the directives, the commands with
// their nesting (by indentation) and the labels; compile() then turns every
// field into its stored form (expressions by the player's compiler, texts by
// the tag language into glyph streams), resolves targets and loops to
// indexes, and computes the property-set table, the line numbers and the
// page version. Every error is reported (file, line, column, message) and
// compiling goes on, so a source shows all its errors at once.
//
// The language is described in docs/title-source.md; the directives:
//   @version N             the page version (default: the lowest that
//                          stores every field used, at least 104)
//   @returns TYPE          what a call of the page returns (default int)
//   @line_numbers index+K  store command index + K as line numbers instead
//                          of the source lines
//   @property_records N R  the count and size of the property-set records
//   @record CODE `hex`     one record as stored (the set of a code)
//   @extra_records `hex`   the records of codes above 60
//   @trailing `hex`        bytes after the last command
//   @body `hex`            a page newer than the player: everything after
//                          the version
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "script/page_file.h"
#include "tools/toolchain/command_syntax.h"
#include "tools/toolchain/source_text.h"

namespace nova::tools {

// The labels of the pages of a title, for targets on other pages.
class TitleLabels {
 public:
  // `page` is the page's name in Shift-JIS ("sub\\menu.nsb"); names compare
  // without regard to case and with "/" standing for "\\", labels exactly.
  // A label's index is that of its first Label command.
  void add(std::string_view page, std::map<std::string, int> labels);
  const std::map<std::string, int>* find(std::string_view page) const;

 private:
  std::map<std::string, std::map<std::string, int>> m_pages;
};

// The default wait of characters in text blocks: what @TextDelay starts at.
constexpr std::int32_t kDefaultTextWait = 50;

struct ParsedPageData;

class PageSource {
 public:
  // `file` names the source in messages; `page_name` is the page's own name
  // (Shift-JIS, with its ".nsb"), which targets without a page refer to.
  static PageSource parse(std::string_view utf8, std::string file, std::string page_name, Diagnostics& diagnostics);

  PageSource(PageSource&&) noexcept;
  PageSource& operator=(PageSource&&) noexcept;
  ~PageSource();

  const std::string& page_name() const;
  const std::map<std::string, int>& labels() const;

  // The page file. With errors (reported to `diagnostics`) the result is
  // not to be written. `title` may be null: targets on other pages must then
  // be given by index.
  script::TPageFile compile(const TitleLabels* title, Diagnostics& diagnostics) const;

 private:
  PageSource();
  std::unique_ptr<ParsedPageData> m_data;
};

// Both steps for a page on its own; nullopt when there were errors.
std::optional<script::TPageFile> compile_page_source(std::string_view utf8, const std::string& file,
                                                     const std::string& page_name, Diagnostics& diagnostics);

// The expression of a field as the page compiler makes it from source text
// (Shift-JIS): named constants and property names replaced as the field's
// use says, then compiled. Raises the compiler's core::Error. The decompiler
// checks its candidates with this.
std::string compile_field_expression(std::string_view sjis_text, FieldUse use);

// The lowest page version that stores every field the commands use, and at
// least the version of new pages (104).
std::int32_t needed_page_version(std::span<const script::TCommandRecord> commands);

// The text with the named constants of the property table (HA_CENTER,
// FS_BOLD ...) replaced by their numbers, outside string literals.
std::string replace_constants(std::string_view sjis_text);

}  // namespace nova::tools
