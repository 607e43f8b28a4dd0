// The expression decompiler: a compiled stream back to expression text that
// the player's compiler turns into the same stream, byte for byte.
//
// The operations are first read back into the expression tree they compute
// (each temporary is written once and read once). Text for the tree is then
// looked for among the texts that differ only where the compiler's output
// records how the text was written: parentheses that change no result (each
// takes a number from the temporaries' counter, so the numbering shows them)
// and a minus sign written as "-x" or as "0 - x". Candidates are tried in
// order of likelihood (as many redundant parentheses as the numbering has
// gaps the plain text lacks, those around operations that follow a gap
// first) and each is compiled and compared; the search gives up after a
// budget of compilations.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace nova::tools {

enum class DecompileMatch : std::uint8_t {
  Exact,       // the text compiles to the very bytes
  Equivalent,  // the same operations, temporaries numbered otherwise
  None,        // no text found
};

struct DecompiledExpression {
  DecompileMatch match = DecompileMatch::None;
  std::string text;  // Shift-JIS
  int compilations = 0;
};

// Compiles expression text (Shift-JIS) into stream bytes; raises core::Error
// when the text does not compile.
using ExpressionCompiler = std::function<std::string(std::string_view text)>;

// The player's own compiler (TBuildNovaParser): compile, then write.
std::string compile_expression_text(std::string_view text);

struct DecompileOptions {
  ExpressionCompiler compile = compile_expression_text;
  // Texts the caller cannot place (for instance ones holding its own
  // separators) are passed over; empty accepts everything.
  std::function<bool(std::string_view text)> acceptable;
  // The most compilations one search makes, and the most text (in bytes)
  // it compiles altogether: long expressions get fewer tries.
  int budget = 20000;
  std::size_t work = 4'000'000;
  // False: the first equivalent text is good enough.
  bool want_exact = true;
};

// Decompiles one stream. An empty stream (no operations) has no text and
// answers None; so does a stream that does not parse or that no compiler
// output looks like.
DecompiledExpression decompile_expression(std::string_view stream, const DecompileOptions& options = {});

}  // namespace nova::tools
