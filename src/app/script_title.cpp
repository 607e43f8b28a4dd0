#include "app/script_title.h"

#include "core/error.h"
#include "core/log.h"
#include "platform/codepage.h"

namespace nova::app {

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

}  // namespace nova::app
