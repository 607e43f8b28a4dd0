// The script engine as the main window drives it: the project behind the
// ProjectHost interface, and the trace file.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "app/player_context.h"
#include "app/title_host.h"
#include "files/file_manager.h"
#include "platform/line_file.h"
#include "script/project.h"

namespace nova::app {

// --trace FILE: one line per interpreter trace line or swallowed error,
// in UTF-8.
class TraceFile {
 public:
  explicit TraceFile(const std::filesystem::path& path);
  void write(std::string_view sjis_line);

 private:
  std::unique_ptr<platform::LineFile> m_file;
};

class ScriptProjectHost final : public ProjectHost {
 public:
  // The trace file, when given, is where the project's trace hook writes;
  // it goes after the project, whose end still traces.
  ScriptProjectHost(std::unique_ptr<TraceFile> trace, std::unique_ptr<script::TProject> project)
      : m_trace(std::move(trace)), m_project(std::move(project)) {}

  std::string title() const override { return m_project->title(); }
  int screen_width() const override { return m_project->screen_width(); }
  int screen_height() const override { return m_project->screen_height(); }
  int display_option_a() const override { return m_project->display_option_a(); }
  int display_option_b() const override { return m_project->display_option_b(); }
  std::string registry_key() const override { return m_project->registry_key(); }
  bool pause_when_inactive() const override { return m_project->pause_when_inactive(); }
  std::int32_t image_key() const override { return m_project->image_key(); }
  void run_tick() override { m_project->RunTick(); }
  // The project's save and load step (it raises nothing).
  bool perform_pending_save_load() override;

  script::TProject& project() { return *m_project; }
  // A line of the --trace file, when there is one (Shift-JIS).
  void trace(std::string_view sjis_line) {
    if (m_trace) m_trace->write(sjis_line);
  }

 private:
  std::unique_ptr<TraceFile> m_trace;
  std::unique_ptr<script::TProject> m_project;
};

}  // namespace nova::app
