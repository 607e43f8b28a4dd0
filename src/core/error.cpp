#include "core/error.h"

#include "platform/codepage.h"

namespace nova::core {

void throw_error_utf8(std::string_view text) { throw Error(platform::codepage::from_utf8_lossy(text)); }

}  // namespace nova::core
