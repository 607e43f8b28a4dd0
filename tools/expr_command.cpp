// `nova expr TEXT`: one expression through the player's compiler.
#include <cstdio>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/format.h"
#include "platform/codepage.h"
#include "tools/commands.h"
#include "tools/toolchain/expr_decompiler.h"
#include "tools/toolchain/expr_stream.h"

namespace nova::tools {
namespace {

int run_expr(const std::vector<std::string>& args) {
  bool sjis = false, hex = false, help = false;
  std::vector<std::string> positional;
  for (const std::string& a : args) {
    if (a == "--sjis") {
      sjis = true;
    } else if (a == "--hex") {
      hex = true;
    } else if (a == "--help" || a == "-h") {
      help = true;
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      std::fprintf(stderr, "nova expr: unknown option %s\n", a.c_str());
      return 2;
    } else {
      positional.push_back(a);
    }
  }
  if (help || positional.size() != 1) {
    std::printf(
        "usage: nova expr TEXT [--sjis] [--hex]\n\n"
        "Compiles one expression and prints its operations, one a line. TEXT is\n"
        "UTF-8 and converted to Shift-JIS; with --sjis its bytes are taken as they\n"
        "are. --hex prints the compiled stream's bytes in hexadecimal instead. A text\n"
        "that does not compile ends with status 1 and the compiler's message.\n");
    return help ? 0 : 2;
  }
  std::string text = positional[0];
  if (!sjis) {
    auto converted = platform::codepage::from_utf8(text);
    if (!converted) {
      auto at = platform::codepage::first_unconvertible(text);
      std::fprintf(stderr, "nova expr: the text has a character that Shift-JIS cannot hold, at byte %zu\n",
                   at.value_or(0));
      return 1;
    }
    text = *converted;
  }
  std::string bytes;
  try {
    bytes = compile_expression_text(text);
  } catch (const core::Error& e) {
    std::fprintf(stderr, "%s\n", platform::codepage::to_utf8(e.message()).c_str());
    return 1;
  }
  if (hex) {
    std::string out;
    for (unsigned char c : bytes) out += core::format("%02X", {c});
    std::printf("%s\n", out.c_str());
    return 0;
  }
  for (const std::string& line : format_operations(parse_expr_stream(bytes))) {
    std::printf("%s\n", platform::codepage::to_utf8(line).c_str());
  }
  return 0;
}

NOVA_TOOL_COMMAND("expr", "compile one expression and show its operations", run_expr);

}  // namespace
}  // namespace nova::tools
