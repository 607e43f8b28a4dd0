// File dialogs in the desktop's order (the portal, a dialog program, the
// player's own), and the texts they share with every backend.
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/codepage.h"
#include "platform/dialogs.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace nova::platform {

namespace fs = std::filesystem;

const char* answer_name(MessageAnswer a) {
  switch (a) {
    case MessageAnswer::Ok: return "OK";
    case MessageAnswer::Cancel: return "Cancel";
    case MessageAnswer::Yes: return "Yes";
    case MessageAnswer::No: return "No";
    case MessageAnswer::YesToAll: return "Yes to all";
    case MessageAnswer::NoToAll: return "No to all";
  }
  return "?";
}

std::vector<FileFilter> parse_file_filter(std::string_view sjis_filter) {
  // "|" (0x7C) can be a trail byte: split on whole characters only.
  std::vector<std::string> fields(1);
  for (std::size_t i = 0; i < sjis_filter.size();) {
    const std::size_t n = codepage::char_length(sjis_filter, i);
    if (n == 1 && sjis_filter[i] == '|') {
      fields.emplace_back();
    } else {
      fields.back().append(sjis_filter.substr(i, n));
    }
    i += n;
  }
  std::vector<FileFilter> out;
  for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
    FileFilter f;
    f.description = codepage::to_utf8(fields[i]);
    const std::string patterns = codepage::to_utf8(fields[i + 1]);
    std::size_t start = 0;
    while (start <= patterns.size()) {
      const std::size_t semi = patterns.find(';', start);
      std::string p = patterns.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
      if (!p.empty()) f.patterns.push_back(p);
      if (semi == std::string::npos) break;
      start = semi + 1;
    }
    if (!f.patterns.empty()) out.push_back(std::move(f));
  }
  return out;
}

std::vector<std::string> zenity_arguments(int kind, const FileDialogSpec& spec, const fs::path& start) {
  std::vector<std::string> a = {"zenity", "--file-selection"};
  if (!spec.title.empty()) a.push_back("--title=" + codepage::to_utf8(spec.title));
  if (kind == 1) a.push_back("--save");
  if (kind == 2) a.push_back("--directory");
  std::string folder = start.string();
  if (!folder.empty() && folder.back() != '/') folder.push_back('/');
  a.push_back("--filename=" + folder);
  if (kind != 2) {
    for (const FileFilter& f : parse_file_filter(spec.filter)) {
      std::string arg = "--file-filter=" + f.description + " |";
      for (const std::string& p : f.patterns) arg += " " + p;
      a.push_back(arg);
    }
  }
  return a;
}

std::vector<std::string> kdialog_arguments(int kind, const FileDialogSpec& spec, const fs::path& start) {
  std::vector<std::string> a = {"kdialog"};
  if (!spec.title.empty()) {
    a.push_back("--title");
    a.push_back(codepage::to_utf8(spec.title));
  }
  a.push_back(kind == 0 ? "--getopenfilename" : kind == 1 ? "--getsavefilename" : "--getexistingdirectory");
  a.push_back(start.string());
  if (kind != 2) {
    std::string filters;
    for (const FileFilter& f : parse_file_filter(spec.filter)) {
      std::string one;
      for (const std::string& p : f.patterns) one += (one.empty() ? "" : " ") + p;
      filters += (filters.empty() ? "" : "\n") + one + "|" + f.description;
    }
    if (!filters.empty()) a.push_back(filters);
  }
  return a;
}

fs::path desktop_folder() {
  const char* home_env = std::getenv("HOME");
  const fs::path home = home_env && *home_env ? fs::path(home_env) : fs::path("/");
  const char* config_env = std::getenv("XDG_CONFIG_HOME");
  const fs::path config = config_env && *config_env ? fs::path(config_env) : home / ".config";
  std::ifstream dirs(config / "user-dirs.dirs");
  std::string line;
  std::error_code ec;
  while (std::getline(dirs, line)) {
    constexpr std::string_view key = "XDG_DESKTOP_DIR=\"";
    if (line.rfind(key, 0) != 0 || line.size() < key.size() + 1 || line.back() != '"') continue;
    std::string value = line.substr(key.size(), line.size() - key.size() - 1);
    if (value.rfind("$HOME", 0) == 0) value = home.string() + value.substr(5);
    if (fs::is_directory(value, ec)) return value;
  }
  if (fs::is_directory(home / "Desktop", ec)) return home / "Desktop";
  return home;
}

std::optional<fs::path> run_desktop_file_dialog(Platform& platform, int kind, const FileDialogSpec& spec) {
  const fs::path start = spec.start_folder.empty() ? desktop_folder() : spec.start_folder;
  auto log = [&spec](const std::string& line) {
    if (spec.log) {
      spec.log(line);
    } else {
      std::fprintf(stderr, "novaplayer: %s\n", line.c_str());
    }
  };
  const PortalAnswer portal = run_portal_file_dialog(platform, kind, spec, start);
  switch (portal.outcome) {
    case PortalOutcome::Chosen: return portal.path;
    case PortalOutcome::Cancelled:
      if (!portal.reason.empty()) log("file dialog: " + portal.reason);
      return std::nullopt;
    case PortalOutcome::Unavailable: log("file dialog: no desktop portal (" + portal.reason + ")"); break;
  }
  std::vector<std::string> argv;
  if (program_on_path("zenity")) {
    argv = zenity_arguments(kind, spec, start);
  } else if (program_on_path("kdialog")) {
    argv = kdialog_arguments(kind, spec, start);
  } else {
    log("file dialog: neither zenity nor kdialog is on PATH; the player's own dialog stands in");
    return run_window_file_dialog(platform, kind, spec, start);
  }
  bool quit = false;
  auto idle = [&platform, &quit] {
    Event e;
    while (platform.poll_event(e)) {
      if (e.type == EventType::Close) {
        quit = true;
        return true;
      }
    }
    return false;
  };
  const auto result = run_program(argv, idle);
  if (quit) {
    // The dialog gives way; the main loop still gets its close.
    platform.requeue_quit();
    return std::nullopt;
  }
  if (!result || result->exit_status != 0) return std::nullopt;
  std::string path = result->output;
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  if (path.empty()) return std::nullopt;
  return fs::path(path);
}

}  // namespace nova::platform
