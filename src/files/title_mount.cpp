#include "files/title_mount.h"

#include "core/error.h"
#include "files/archive.h"
#include "files/big_stream.h"
#include "files/host_lookup.h"
#include "files/resource.h"

namespace nova::files {
namespace {

// The last two bytes of a resource are "vf" when it holds an archive.
bool resource_is_archive(const std::filesystem::path& module) {
  auto found = find_resource(module, "DUMMY", "BINTYPE");
  if (!found || found->range.size < 2) return false;
  try {
    TKvBigFileStream file(found->module, file_mode::kOpenRead | file_mode::kShareDenyWrite, INT64_MAX);
    char tail[2] = {};
    file.SetPosition(found->range.offset + found->range.size - 2);
    return file.Read(tail, 2) == 2 && tail[0] == 'v' && tail[1] == 'f';
  } catch (const core::Error&) {
    return false;
  }
}

}  // namespace

void mount_title_data(TVrFileManager& files, const std::filesystem::path& executable,
                      const std::vector<std::filesystem::path>& arguments) {
  if (arguments.empty()) {
    files.SetBaseFolder(executable.parent_path());
    if (resource_is_archive(executable)) files.MountResource(executable, "DUMMY", "BINTYPE");
    if (has_appended_trailer(executable)) files.Mount(executable);
    return;
  }
  files.SetBaseFolder(arguments.front());
  HostFileFinder finder;
  for (const auto& argument : arguments) {
    std::error_code ec;
    if (std::filesystem::is_directory(argument, ec)) {
      if (auto game = finder.FindFile(argument, "game.dat")) files.Mount(*game);
    } else if (std::filesystem::is_regular_file(argument, ec) && has_appended_trailer(argument)) {
      files.Mount(argument);
    }
  }
}

}  // namespace nova::files
