// The one error class of the system. Every failure the player reports to the
// user or to a script travels as a core::Error whose message is in the title's
// code page (Shift-JIS), ready to be shown in a message box.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace nova::core {

class Error : public std::exception {
 public:
  // `message` is Shift-JIS text (ASCII is Shift-JIS too).
  explicit Error(std::string message) : m_message(std::move(message)) {}

  const std::string& message() const noexcept { return m_message; }
  const char* what() const noexcept override { return m_message.c_str(); }

 private:
  std::string m_message;
};

// Raises an Error whose message is the UTF-8 `text` converted to Shift-JIS.
// Our sources are UTF-8; the system's Japanese messages are written in them as
// they stand and converted here.
[[noreturn]] void throw_error_utf8(std::string_view text);

// Raises an Error with a Shift-JIS message as it stands.
[[noreturn]] inline void throw_error(std::string message) { throw Error(std::move(message)); }

}  // namespace nova::core
