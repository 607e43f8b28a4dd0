// What every `nova` subcommand does with a bad argument or a failed step:
// raise it as the one error main() prints, and read whole-number options
// with their allowed range in the message.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <string>

#include "core/error.h"
#include "core/format.h"
#include "platform/codepage.h"

namespace nova::tools {

// Messages are written in UTF-8; errors carry Shift-JIS like the player's.
[[noreturn]] inline void fail(const std::string& utf8_message) {
  throw core::Error(platform::codepage::from_utf8_lossy(utf8_message));
}

inline int parse_int(const std::string& option, const std::string& text, int lo, int hi) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || errno || !end || *end || v < lo || v > hi) {
    fail(core::format("%s needs a whole number from %d to %d, not \"%s\"", {option, lo, hi, text}));
  }
  return static_cast<int>(v);
}

}  // namespace nova::tools
