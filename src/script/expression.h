// TExpression: one compiled expression as a page stores it. It keeps the
// stream's bytes exactly as read, so a page written back is identical to the
// page read, and the executable form loaded from them.
//
// Reads of a result follow one rule everywhere: an expression that produced
// no value (an empty one, or one that stopped at an error) answers the
// caller's default. A condition is true when it produced a value whose flag
// reading is true.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/binary_io.h"
#include "expr/nova_parser.h"

namespace nova::script {

class TCallMan;

class TExpression {
 public:
  TExpression() = default;
  TExpression(const TExpression& other);
  TExpression& operator=(const TExpression& other);
  TExpression(TExpression&&) noexcept = default;
  TExpression& operator=(TExpression&&) noexcept = default;

  // Reads one stream; raises core::Error for a truncated or malformed one
  // (the expression is left empty then).
  void load(core::ByteReader& r);
  void save(core::ByteWriter& w) const;

  // Compiles expression text (Shift-JIS) with the player's own compiler;
  // raises the compiler's errors.
  static TExpression compile(std::string_view text);
  // The expression of a stream given as bytes (the whole input must be one
  // stream).
  static TExpression from_stream(std::string_view bytes);

  // An operation count of 0.
  bool empty() const { return m_parser.empty(); }
  // The stored bytes (for an empty expression, the four bytes of a count 0).
  const std::string& stream() const { return m_stream; }
  const expr::TNovaParser& parser() const { return m_parser; }
  expr::TNovaParser& parser() { return m_parser; }

  // Runs the expression; its result, or nullptr when it produced none. The
  // result stays valid until the next run. Run for a command, an error that
  // stops the expression is swallowed as ever, but the interpreter reports
  // it (log and trace) so that the author can see why the script
  // misbehaves; run on its own (tools, benchmarks) it is only swallowed.
  const expr::TCustomParam* run(TCallMan& cm);
  bool is_true(TCallMan& cm);
  bool flag_or(TCallMan& cm, bool fallback);
  std::int32_t int_or(TCallMan& cm, std::int32_t fallback);
  std::string str_or(TCallMan& cm, std::string_view fallback);
  const expr::TCustomParam* run(expr::TParamCollection& store, const expr::TSysFuncMan& funcs);
  bool is_true(expr::TParamCollection& store, const expr::TSysFuncMan& funcs);

  friend bool operator==(const TExpression& a, const TExpression& b) { return a.stream() == b.stream(); }

 private:
  std::string m_stream = std::string(4, '\0');
  expr::TNovaParser m_parser;
};

}  // namespace nova::script
