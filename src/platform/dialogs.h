// Message boxes and file dialogs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nova::platform {

class Window;
class Platform;

enum class MessageIcon : std::uint8_t { None, Warning, Information, Question, Error };
// YesNoAllCancel: yes, no, yes to all, no to all and cancel (the question
// before files are overwritten one after another).
enum class MessageButtons : std::uint8_t { Ok, OkCancel, YesNo, YesNoAllCancel };
enum class MessageAnswer : std::uint8_t { Ok, Cancel, Yes, No, YesToAll, NoToAll };

// The answer's English name ("OK", "Yes to all" ...), for logs and echoes.
const char* answer_name(MessageAnswer a);

struct MessageBoxSpec {
  std::string caption;  // Shift-JIS
  std::string text;     // Shift-JIS
  MessageIcon icon = MessageIcon::None;
  MessageButtons buttons = MessageButtons::Ok;
  const Window* owner = nullptr;
};

// File dialogs answer host paths; nullopt when the user cancels.
struct FileDialogSpec {
  std::string title;   // Shift-JIS
  std::string filter;  // the system's filter text ("Text|*.txt;*.log|All|*.*"), Shift-JIS
  // Empty: the desktop folder (XDG), else the home folder.
  std::filesystem::path start_folder;
  bool must_exist = true;
  const Window* owner = nullptr;
};

// The pairs of a filter text: description and its patterns.
struct FileFilter {
  std::string description;            // UTF-8
  std::vector<std::string> patterns;  // UTF-8
};
std::vector<FileFilter> parse_file_filter(std::string_view sjis_filter);

// The argument vectors of the desktop's dialog programs (zenity, kdialog)
// for a dialog: kind 0 open, 1 save, 2 folder.
std::vector<std::string> zenity_arguments(int kind, const FileDialogSpec& spec, const std::filesystem::path& start);
std::vector<std::string> kdialog_arguments(int kind, const FileDialogSpec& spec, const std::filesystem::path& start);

// The desktop folder: XDG_DESKTOP_DIR of the user's folders file, else
// ~/Desktop when it exists, else the home folder.
std::filesystem::path desktop_folder();

// A file dialog of a desktop program (zenity, else kdialog), for a backend
// with windows: the platform's events go on being taken while it is open,
// and a close request ends it as cancelled and is handed on.
std::optional<std::filesystem::path> run_desktop_file_dialog(Platform& platform, int kind, const FileDialogSpec& spec);

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Blocks until answered. Headless answers at once (see HeadlessOptions).
  virtual MessageAnswer message_box(const MessageBoxSpec& spec) = 0;

  // Headless: the next answer of --dialog (a path, or cancel), else cancel.
  // SDL: the desktop's dialog program (zenity, else kdialog) started
  // without a shell while the window goes on handling its events; a close
  // request cancels the dialog and is handed on. Without either program
  // PlatformError names what is missing.
  virtual std::optional<std::filesystem::path> open_file(const FileDialogSpec& spec) = 0;
  virtual std::optional<std::filesystem::path> save_file(const FileDialogSpec& spec) = 0;
  virtual std::optional<std::filesystem::path> select_folder(const FileDialogSpec& spec) = 0;
};

}  // namespace nova::platform
