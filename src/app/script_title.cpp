#include "app/script_title.h"

#include "core/log.h"
#include "platform/codepage.h"

namespace nova::app {

bool ScriptProjectHost::perform_pending_save_load() { return m_project->PerformPendingSaveLoad(); }

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
