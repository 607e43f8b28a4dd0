// The SDL2 backend (see platform.h).
#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace nova::platform {

// Throws PlatformError when SDL's video subsystem cannot start.
std::unique_ptr<Platform> create_sdl_platform();

#ifdef NOVA_TEST_HOOKS
// Pushes the event SDL sends when an output device goes away, as if the
// device of that id (SoundStatus::device_id) had been unplugged.
void push_sound_device_removed(std::uint32_t device_id);
#endif

}  // namespace nova::platform
