// Message boxes and file dialogs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace nova::platform {

class Window;

enum class MessageIcon : std::uint8_t { None, Warning, Information, Question, Error };
enum class MessageButtons : std::uint8_t { Ok, OkCancel, YesNo };
enum class MessageAnswer : std::uint8_t { Ok, Cancel, Yes, No };

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
  std::string filter;  // the system's filter text ("Text|*.txt|All|*.*"), Shift-JIS
  std::filesystem::path start_folder;
  bool must_exist = true;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Blocks until answered. Headless answers at once (see HeadlessOptions).
  virtual MessageAnswer message_box(const MessageBoxSpec& spec) = 0;

  // Throws PlatformError until a backend implements it.
  virtual std::optional<std::filesystem::path> open_file(const FileDialogSpec& spec) = 0;
  virtual std::optional<std::filesystem::path> save_file(const FileDialogSpec& spec) = 0;
  virtual std::optional<std::filesystem::path> select_folder(const FileDialogSpec& spec) = 0;
};

}  // namespace nova::platform
