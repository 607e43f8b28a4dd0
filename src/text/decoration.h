// Decorations: the shared look of the glyphs of one text. Every character
// (and every variable glyph) refers by index to a record of the text's
// decoration list; records are shared between glyphs with equal fields and
// carry a reference count, which glyph streams store.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/binary_io.h"

namespace nova::text {

// Style flag bits of a decoration (and of the font style properties).
enum FontStyle : std::uint8_t {
  FS_BOLD = 1,
  FS_ITALIC = 2,
  FS_UNDERLINE = 4,
  FS_STRIKEOUT = 8,
};

// A color, border width or shadow width of -1, a size of 0 and an empty font
// name mean "the text engine's own setting". Colors are platform colors
// (0x00BBGGRR).
struct TDecorate {
  std::int32_t size = 0;
  std::int32_t color = -1;
  std::int32_t border_color = -1;
  std::int32_t shadow_color = -1;
  std::int32_t border_width = -1;
  std::int32_t shadow_width = -1;
  std::uint8_t style = 0;  // FS_* bits
  bool no_break = false;
  std::string font_name;
  std::string ruby;

  bool operator==(const TDecorate&) const = default;
};

// The fields of a decoration that one FONT tag sets. They are pushed and
// popped together, so they travel as one value; the defaults are TDecorate's.
struct FontFields {
  std::int32_t size = 0;
  std::int32_t color = -1;
  std::int32_t border_color = -1;
  std::int32_t shadow_color = -1;
  std::string font_name;
  std::int32_t border_width = -1;
  std::int32_t shadow_width = -1;

  FontFields() = default;
  explicit FontFields(const TDecorate& d)
      : size(d.size),
        color(d.color),
        border_color(d.border_color),
        shadow_color(d.shadow_color),
        font_name(d.font_name),
        border_width(d.border_width),
        shadow_width(d.shadow_width) {}
  bool operator==(const FontFields&) const = default;
};

// The decoration records of one text, in index order. Indexes stay valid as
// long as the list lives: records are only ever appended, so no record is
// taken out from under a glyph.
class TDecorateList {
 public:
  struct Record {
    TDecorate decoration;
    std::int32_t ref_count = 0;
  };

  // Raises the count of an existing record.
  void add_ref(std::int32_t index);
  // The index of the first record equal to `d`, or -1; counts are unchanged.
  std::int32_t find(const TDecorate& d) const;

  // Appends a record as a stream stores it, without looking for an equal one
  // (streams may hold duplicates, and their indexes must stay as written).
  void append_record(Record r) { m_records.push_back(std::move(r)); }

  std::int32_t size() const { return static_cast<std::int32_t>(m_records.size()); }
  bool empty() const { return m_records.empty(); }
  bool contains(std::int32_t index) const { return index >= 0 && index < size(); }
  const TDecorate& operator[](std::int32_t index) const {
    return m_records.at(static_cast<std::size_t>(index)).decoration;
  }
  std::int32_t ref_count(std::int32_t index) const { return m_records.at(static_cast<std::size_t>(index)).ref_count; }
  const std::vector<Record>& records() const { return m_records; }

  // The stream form: an int32 count, then per record: reference count,
  // color, border color, size (int32 each), style flags, no-break flag (one
  // byte each), border width (int32; below version 100 one byte, read as 0
  // or 1), font name, ruby text (strings), and from version 100 shadow width
  // and shadow color (int32 each; older streams read as -1).
  void save(core::ByteWriter& w, int version) const;
  // Appends the records of a stream. Raises core::Error for truncated data
  // or a negative count.
  void load(core::ByteReader& r, int version);

 private:
  std::vector<Record> m_records;
};

}  // namespace nova::text
