// Whole titles: a source tree built into a title, and a title dumped into a
// source tree.
//
// A source tree holds project.nvp (the project, project_source.h), one page
// source per page (NAME.nvs, which builds the page NAME.nsb; a name that
// already ends in ".nsb" in any case, as in "OLD.NSB.nvs", keeps it), and
// assets: every other file, copied as it is. Folders become "\" in page
// and file names. Files and folders whose names begin with "." are left out.
//
// A title is a folder (its files, and the entries of a "game.dat" in it) or
// an archive.
#pragma once

#include <filesystem>
#include <string>

#include "tools/toolchain/source_text.h"

namespace nova::tools {

inline constexpr std::string_view kProjectSourceName = "project.nvp";
inline constexpr std::string_view kPageSourceExtension = ".nvs";

struct BuildOptions {
  // Everything into one "game.dat" in the output folder.
  bool pack = false;
};

struct BuildReport {
  int pages = 0;
  int assets = 0;
};

// Builds the tree `source` into the folder `output` (which may lie inside
// the tree: it is not read as a source). Nothing is written when any source
// has an error; every error of every file is reported.
bool build_title(const std::filesystem::path& source, const std::filesystem::path& output, const BuildOptions& options,
                 Diagnostics& diagnostics, BuildReport& report);

struct DumpOptions {
  bool exact = false;
  bool ops = false;
};

struct DumpReport {
  int pages = 0;
  int assets = 0;
  int expressions = 0;
  int raw_expressions = 0;
  int texts = 0;
  int raw_texts = 0;
  int unverified_pages = 0;  // exact dumps that did not build back to the same bytes
  bool project_verified = true;
};

// Writes the source tree of a title into `output`. The arguments are the
// player's data arguments: a folder (with more folders or archives after
// it), mounted as the player mounts them and read by its lookup, so that a
// base-folder file shadows an archive entry of its name (a note says so);
// or an archive alone, dumped entry by entry. Nothing in the title is
// changed. Problems that do not stop the dump (a page that does not parse,
// kept as an asset) are reported as warnings.
bool dump_title(const std::vector<std::filesystem::path>& arguments, const std::filesystem::path& output,
                const DumpOptions& options, Diagnostics& diagnostics, DumpReport& report);

// The title name of a file below a title or source folder ("sub/a.png" →
// "sub\a.png"), in Shift-JIS; nullopt when the name has no Shift-JIS form.
std::optional<std::string> title_name_of_path(const std::filesystem::path& relative);
// The relative host path of a title name ("sub\a.png" → "sub/a.png").
std::filesystem::path path_of_title_name(std::string_view sjis_name);

// The page name a source file builds ("sub/menu.nvs" → "sub\menu.nsb"), in
// Shift-JIS; nullopt when the name has no Shift-JIS form.
std::optional<std::string> page_name_of_source(const std::filesystem::path& relative);
// The source file of a page name ("sub\menu.nsb" → "sub/menu.nvs").
std::filesystem::path source_of_page_name(std::string_view sjis_name);

}  // namespace nova::tools
