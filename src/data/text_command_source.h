// Where the message box and the history read the text of a text command:
// the glyph stream that the authoring tool stored in a page's command.
// The script layer implements it over the project's loaded pages and the
// page files; tests give their own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace nova::data {

// One page, held while a cache or a commit needs it.
class TextCommandPage {
 public:
  virtual ~TextCommandPage() = default;
  virtual std::int32_t command_count() const = 0;
  // The glyph stream of command `index` when that command is a text
  // command; nullopt for another command or an index outside the page.
  // The bytes stay valid as long as the page object.
  virtual std::optional<std::span<const std::uint8_t>> glyph_stream(std::int32_t index) const = 0;
};

class TextCommandSource {
 public:
  virtual ~TextCommandSource() = default;
  // Whether a page file of that name exists (by the file manager's rule).
  virtual bool exists(std::string_view page_name) = 0;
  // The page of that name: the project's loaded page, or else the page
  // read from its file. nullptr when there is no such file; raises
  // core::Error for a file that does not read as a page.
  virtual std::unique_ptr<TextCommandPage> load(std::string_view page_name) = 0;
};

}  // namespace nova::data
