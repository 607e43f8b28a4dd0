// Command records: the stored form of one command of a page, read and
// written by the layouts of the command table (command_table.h).
//
// A record is the code byte, the common head (nesting level, skip flag,
// continue flag, line number), then for component commands one expression
// per property of the page's property set for the code (ascending id), then
// the command's own fields. Fields that a page's version does not store are
// not read and keep their empty values. Everything is kept as read (the code
// byte with its high bit, flag bytes other than 0 and 1, expression bytes),
// so a record written back with the same version and table is identical.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_io.h"
#include "script/command_table.h"
#include "script/expression.h"

namespace nova::script {

// A bit set over property ids 0 ... 167: bit i is bit i mod 8 of byte
// i div 8.
class TPropertySet {
 public:
  bool has(int id) const {
    return id >= 0 && id < kPropertySetBytes * 8 && (m_bytes[static_cast<std::size_t>(id / 8)] >> (id % 8)) & 1;
  }
  void set(int id, bool on = true);
  bool empty() const;
  // The ids below 165 that are set, ascending.
  std::vector<int> ids() const;
  const std::array<std::uint8_t, kPropertySetBytes>& bytes() const { return m_bytes; }
  std::array<std::uint8_t, kPropertySetBytes>& bytes() { return m_bytes; }
  friend bool operator==(const TPropertySet&, const TPropertySet&) = default;

 private:
  std::array<std::uint8_t, kPropertySetBytes> m_bytes{};
};

// The property set of every command code of a page.
using TPropertyTable = std::array<TPropertySet, kCommandCount>;

struct TCommandField {
  FieldKind kind = FieldKind::Int;
  std::int32_t number = 0;               // Int, Byte
  std::string bytes;                     // String, Text
  TExpression expression;                // Expression
  std::vector<TExpression> expressions;  // ExpressionList
};

// Whether a field holds nothing: an empty expression, list, string or text,
// or the number 0 (what a page version that does not store it reads).
bool field_is_empty(const TCommandField& f);

struct TPropertyExpression {
  int id = 0;
  TExpression expression;
};

struct TCommandRecord {
  std::uint8_t code_byte = 0;  // as stored; the low 7 bits are the code
  std::int32_t nesting_level = 0;
  std::uint8_t skip_flag = 0;      // not 0: never run
  std::uint8_t continue_flag = 0;  // not 0: the next command runs in the same tick
  std::int32_t line_number = 0;
  std::vector<TPropertyExpression> properties;  // ascending id
  std::vector<TCommandField> fields;            // one per field of the code's row, in order

  int code() const { return code_byte & 0x7F; }
  const CommandSpec& spec() const { return command_spec(code()); }

  // A record of the code with every field empty; raises "不正なコマンド".
  static TCommandRecord make(int code);

  // A field by its name in the command table; raises core::Error for a name
  // the code does not have.
  TCommandField& field(std::string_view name);
  const TCommandField& field(std::string_view name) const;
  // The expression of a property, or nullptr when the record has none.
  const TPropertyExpression* property(int id) const;
};

// Reads one command: the code byte, the head, the property expressions of
// the code's set in `table`, and the fields stored by `page_version`. A code
// above 60 raises "不正なコマンド"; anything truncated raises core::Error.
TCommandRecord read_command_record(core::ByteReader& r, int page_version, const TPropertyTable& table);

// Writes one command as a page of `page_version` with `table` stores it.
// Raises core::Error when the record does not fit them (its properties are
// not exactly the code's set, a field has the wrong kind, or a field the
// version does not store holds a value), so nothing is dropped silently.
void write_command_record(core::ByteWriter& w, const TCommandRecord& record, int page_version,
                          const TPropertyTable& table);

}  // namespace nova::script
