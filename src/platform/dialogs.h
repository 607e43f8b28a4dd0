// Message boxes and file dialogs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
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
  // Where the quiet fallbacks are told (no portal on the bus, a refused
  // answer): the caller's log channel. Empty: standard error.
  std::function<void(const std::string&)> log;
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

// The host path of a "file://" URI (empty or "localhost" host, %-escapes
// decoded); nullopt for another scheme, a remote host, a bad escape, an
// escaped NUL or a relative path.
std::optional<std::filesystem::path> file_uri_to_path(std::string_view uri);

// The desktop portal's file chooser (org.freedesktop.portal.FileChooser on
// the session bus). Unavailable, with the reason, when there is no session
// bus, nobody owns the portal's name, the portal cannot pick folders
// (interface version below 3) or it answers the call with an error: the
// caller then tries the next way. Every blocking bus call is bounded by a
// few seconds; the wait for the user's answer is not, and takes the
// platform's events meanwhile (a close request closes the portal's dialog,
// cancels and is handed on).
enum class PortalOutcome : std::uint8_t { Chosen, Cancelled, Unavailable };
struct PortalAnswer {
  PortalOutcome outcome = PortalOutcome::Unavailable;
  std::filesystem::path path;  // when chosen
  std::string reason;          // when unavailable, or why an answer was refused
};
PortalAnswer run_portal_file_dialog(Platform& platform, int kind, const FileDialogSpec& spec,
                                    const std::filesystem::path& start);

// The small dialog the player draws itself when the desktop offers none: a
// window of its own with a path field prefilled with the start folder and
// "/", OK and Cancel (Enter and Escape). Relative input is taken relative to
// the start folder; an open that must find its file, or a folder, stays open
// with a short note while the path names nothing. The dialog's close box
// cancels; a close request of the application (or of another window)
// cancels and is handed on.
std::optional<std::filesystem::path> run_window_file_dialog(Platform& platform, int kind, const FileDialogSpec& spec,
                                                            const std::filesystem::path& start);

// A file dialog for a backend with windows, in the desktop's order: the
// portal, else a dialog program (zenity, else kdialog) started without a
// shell, else the in-window dialog. The platform's events go on being taken
// while it is open, and a close request ends it as cancelled and is handed
// on.
std::optional<std::filesystem::path> run_desktop_file_dialog(Platform& platform, int kind, const FileDialogSpec& spec);

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Blocks until answered. Headless answers at once (see HeadlessOptions).
  virtual MessageAnswer message_box(const MessageBoxSpec& spec) = 0;

  // Headless: the next answer of --dialog (a path, or cancel), else cancel.
  // SDL: run_desktop_file_dialog (the portal, zenity or kdialog, else the
  // in-window dialog) while the window goes on handling its events; a close
  // request cancels the dialog and is handed on.
  virtual std::optional<std::filesystem::path> open_file(const FileDialogSpec& spec) = 0;
  virtual std::optional<std::filesystem::path> save_file(const FileDialogSpec& spec) = 0;
  virtual std::optional<std::filesystem::path> select_folder(const FileDialogSpec& spec) = 0;
};

}  // namespace nova::platform
