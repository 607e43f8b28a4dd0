#include "platform/fonts.h"

#include "platform/error.h"

namespace nova::platform {

std::unique_ptr<FontService> create_font_service() { throw PlatformError("font service: not built yet"); }

}  // namespace nova::platform
