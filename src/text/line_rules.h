// The Japanese line-breaking prohibitions of the layout: characters that may
// not begin a line (closing brackets and punctuation) and characters that may
// not end one (opening brackets). Full-width and half-width forms are both
// listed, as the title's text uses either.
#pragma once

#include <cstdint>

namespace nova::text {

// Character codes: the byte, or lead byte × 256 + trail byte.
bool may_not_begin_line(std::uint16_t code);
bool may_not_end_line(std::uint16_t code);

}  // namespace nova::text
