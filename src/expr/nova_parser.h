// TNovaParser: the executable form of one compiled expression. It loads the
// stream that TBuildNovaParser writes (pages store it), runs the operations
// against the variable store and the builtin function manager, and hands out
// the expression's result.
//
// Execution looks every variable up by name as if anew for each operation,
// so variables created or freed between runs (or by a function during one)
// are seen. Lookups are cached and the store's generation counter tells when
// a cached answer may have changed; the compiler's temporaries ("____...")
// live in slots of the parser that are reused from run to run and linked
// into the store only while it runs, so no operation allocates for them.
//
// The first error of a run stops it silently: later operations are skipped,
// targets already assigned keep their values, and result() is set only when
// "____arg" was produced. last_error() keeps the error's message for
// diagnostics; nothing is shown or logged.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_io.h"
#include "expr/op_codes.h"
#include "expr/param_collection.h"
#include "expr/params.h"
#include "expr/sys_func_man.h"

namespace nova::expr {

// One executable operation. Operands are owned values: plain values for
// constants, TParamVar (holding the name) for variables. For ocFunc they are
// the arguments only.
struct TOpeData {
  TOpeCode code = ocNone;
  std::string target;
  std::uint8_t func_index = 0;
  std::vector<std::unique_ptr<TCustomParam>> operands;
};

class TNovaParser {
 public:
  TNovaParser();
  ~TNovaParser();
  TNovaParser(const TNovaParser&) = delete;
  TNovaParser& operator=(const TNovaParser&) = delete;
  TNovaParser(TNovaParser&&) noexcept;
  TNovaParser& operator=(TNovaParser&&) noexcept;

  // Clears the list, then reads one compiled stream. Raises core::Error for a
  // truncated or malformed stream (the list is left empty then).
  void load(core::ByteReader& r);
  void save(core::ByteWriter& w) const;

  // Copies another parser's operations: constants by value, references by name.
  void assign(const TNovaParser& other);

  // Runs all operations. Answers whether the run went through without an
  // error. Safe to call again from inside a function the run calls (a copy
  // runs then).
  bool execute(TParamCollection& store, const TSysFuncMan& funcs);

  // A detached copy of "____arg" after the last run, or nullptr.
  const TCustomParam* result() const { return m_has_result ? m_result.get() : nullptr; }
  const std::string& last_error() const { return m_last_error; }

  const std::vector<TOpeData>& operations() const;
  bool empty() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
  std::unique_ptr<TCustomParam> m_result;
  bool m_has_result = false;
  std::string m_last_error;
};

// Compiles, writes and loads `text` into a parser. Raises the compiler's
// errors.
TNovaParser compile_expression(std::string_view text);

// The check routine: trims blanks, then compiles, writes, loads into a fresh
// parser and executes; true when all of that succeeded. Empty text is false.
bool check_expression(std::string_view text, TParamCollection& store, const TSysFuncMan& funcs);

// VarNew: creates or finds the variable (TParamCollection::create); unless it
// is an existing status variable, runs `init` and writes its result, read as
// `type`, into the variable with the matching scalar write. False when `init`
// stopped at an error (its last_error says which).
bool var_new(TParamCollection& store, const TSysFuncMan& funcs, std::string_view name, TParamType type, TVarScope scope,
             TNovaParser& init);

}  // namespace nova::expr
