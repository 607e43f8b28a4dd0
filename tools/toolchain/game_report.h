// One game slot of a save file as text for people and tests: the record
// loaded into a game of its own (with the title's pages, which the
// interpreter's state refers to) and described part by part.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace nova::tools {

// The report (UTF-8): the caption, the after-load place, the screen with
// the component tree by type and name, the focus, the event queue, the
// interpreter's position and stack, the game variables, the game tables
// and the history formats in full. The pages are looked up in `title_folder` (the
// nearest folder at or above the save file that holds "nova.npb" when
// empty). Raises core::Error for a missing slot or a record that does not
// load.
std::string game_report(const std::filesystem::path& save_file, std::int32_t slot,
                        const std::filesystem::path& title_folder = {});

}  // namespace nova::tools
