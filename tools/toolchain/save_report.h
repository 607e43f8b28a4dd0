// What a save file holds, as text for people and tests: its game slots with
// their captions, its status variables with their values, and the files
// that scripts stored in it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace nova::expr {
class TCustomParam;
}

namespace nova::tools {

// The report (UTF-8): one line per slot ("slot 3: version 140, caption
// \"...\""), one per status variable ("status int score = 12", arrays with
// their sizes and elements), one per stored file. Raises core::Error for a
// file that is no save archive.
std::string save_report(const std::filesystem::path& save_file);

// Element `i` of a variable's value as the source language writes it
// (strings quoted), shared by the status and the game reports.
std::string element_text(const expr::TCustomParam& v, std::int32_t i);

}  // namespace nova::tools
