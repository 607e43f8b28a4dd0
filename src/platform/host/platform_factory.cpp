#include "platform/headless/headless_platform.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_platform.h"

namespace nova::platform {

std::unique_ptr<Platform> create_platform(Backend backend, const HeadlessOptions& headless) {
  if (backend == Backend::Headless) return std::make_unique<HeadlessPlatform>(headless);
  return create_sdl_platform();
}

}  // namespace nova::platform
