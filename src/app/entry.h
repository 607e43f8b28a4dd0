// The program entry: the CD-ROM refusal, the instance lock, and then the
// settings dialog or the main window.
#pragma once

#include <filesystem>

#include "app/player_context.h"
#include "app/title_host.h"

namespace nova::app {

// Runs a player in `ctx` to its end. `exe_path` is the executable (its
// drive decides the CD-ROM rule). Answers the exit status (always 0, as the
// system's entry; failures were shown to the user).
int run_entry(PlayerContext& ctx, TitleFactory& factory, const std::filesystem::path& exe_path);

}  // namespace nova::app
