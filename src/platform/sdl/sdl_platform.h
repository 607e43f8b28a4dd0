// The SDL2 backend (see platform.h).
#pragma once

#include <memory>

#include "platform/platform.h"

namespace nova::platform {

// Throws PlatformError when SDL's video subsystem cannot start.
std::unique_ptr<Platform> create_sdl_platform();

}  // namespace nova::platform
