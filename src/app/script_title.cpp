#include "app/script_title.h"

#include "core/error.h"
#include "core/log.h"
#include "files/archive.h"
#include "files/big_stream.h"
#include "files/host_lookup.h"
#include "files/resource.h"
#include "platform/codepage.h"

namespace nova::app {
namespace {

// The last two bytes of a resource are "vf" when it holds an archive.
bool resource_is_archive(const std::filesystem::path& module) {
  auto found = files::find_resource(module, "DUMMY", "BINTYPE");
  if (!found || found->range.size < 2) return false;
  try {
    files::TKvBigFileStream file(found->module, files::file_mode::kOpenRead | files::file_mode::kShareDenyWrite,
                                 INT64_MAX);
    char tail[2] = {};
    file.SetPosition(found->range.offset + found->range.size - 2);
    return file.Read(tail, 2) == 2 && tail[0] == 'v' && tail[1] == 'f';
  } catch (const core::Error&) {
    return false;
  }
}

}  // namespace

bool ScriptProjectHost::perform_pending_save_load() {
  if (m_project->pending_load_slot >= 0) {
    m_project->pending_load_slot = -1;
    core::throw_error("GameLoad: game loads are not built yet");
  }
  if (m_project->pending_save_slot >= 0) {
    m_project->pending_save_slot = -1;
    core::throw_error("GameSave: game saves are not built yet");
  }
  return false;
}

TraceFile::TraceFile(const std::filesystem::path& path) : m_file(platform::LineFile::create(path)) {
  if (!m_file) {
    core::logf(core::Channel::App, core::Level::Error, "cannot write the trace file %s",
               {platform::codepage::from_utf8_lossy(path.string())});
  }
}

void TraceFile::write(std::string_view sjis_line) {
  if (m_file) m_file->write_line(platform::codepage::to_utf8(sjis_line));
}

void mount_title_data(files::TVrFileManager& files, const std::filesystem::path& executable,
                      const std::vector<std::filesystem::path>& arguments) {
  if (arguments.empty()) {
    files.SetBaseFolder(executable.parent_path());
    if (resource_is_archive(executable)) files.MountResource(executable, "DUMMY", "BINTYPE");
    if (files::has_appended_trailer(executable)) files.Mount(executable);
    return;
  }
  files.SetBaseFolder(arguments.front());
  files::HostFileFinder finder;
  for (const auto& argument : arguments) {
    std::error_code ec;
    if (std::filesystem::is_directory(argument, ec)) {
      if (auto game = finder.FindFile(argument, "game.dat")) files.Mount(*game);
    } else if (std::filesystem::is_regular_file(argument, ec) && files::has_appended_trailer(argument)) {
      files.Mount(argument);
    }
  }
}

}  // namespace nova::app
