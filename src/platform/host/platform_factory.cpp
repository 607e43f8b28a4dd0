#include "platform/headless/headless_platform.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_platform.h"

namespace nova::platform {

HeadlessPlatform* Platform::headless() {
  return backend() == Backend::Headless ? static_cast<HeadlessPlatform*>(this) : nullptr;
}

std::unique_ptr<Platform> create_platform(Backend backend, const HeadlessOptions& headless) {
  if (backend == Backend::Headless) return std::make_unique<HeadlessPlatform>(headless);
  return create_sdl_platform();
}

}  // namespace nova::platform
