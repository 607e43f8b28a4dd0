// How a player mounts a title's data, shared by the player and the tools
// that must see a title exactly as it plays (nova dump).
//
// Without arguments: the executable's folder is the base folder, and its
// resource archive and its appended archive are mounted. With arguments:
// the first is the base folder; then each argument's "game.dat" and each
// argument that is an archive with the "nv" trailer are mounted, in order.
// Lookups then find a base-folder file before any archive entry of its name.
#pragma once

#include <filesystem>
#include <vector>

#include "files/file_manager.h"

namespace nova::files {

void mount_title_data(TVrFileManager& files, const std::filesystem::path& executable,
                      const std::vector<std::filesystem::path>& arguments);

}  // namespace nova::files
