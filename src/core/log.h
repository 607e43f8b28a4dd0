// Logging by channel. Nothing in the engine prints; it logs here, and the
// sinks decide where lines go. The default sink writes to standard error what
// reaches the channel's level (warnings and errors unless NOVA_LOG says more,
// for example NOVA_LOG=debug or NOVA_LOG=script=trace,files=debug).
//
// Messages are Shift-JIS like all engine text; sinks that write to the host
// convert them to UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/format.h"

namespace nova::core {

enum class Channel : std::uint8_t {
  Core,
  Platform,
  App,
  Files,
  Expr,
  Script,
  Data,
  Components,
  Text,
  Graphics,
  Media,
  Tools,
  Count
};

enum class Level : std::uint8_t { Error, Warning, Info, Debug, Trace };

std::string_view channel_name(Channel c);
std::string_view level_name(Level l);

using LogSinkFn = std::function<void(Channel, Level, std::string_view message)>;

// A registered sink; unregisters itself when destroyed. Sinks are called under
// the logger's lock, one line at a time, from whatever thread logs.
class LogSink {
 public:
  explicit LogSink(LogSinkFn fn);
  ~LogSink();
  LogSink(const LogSink&) = delete;
  LogSink& operator=(const LogSink&) = delete;

 private:
  int m_id;
};

// True when a message of this level on this channel would reach any sink.
bool log_enabled(Channel c, Level l);

void log(Channel c, Level l, std::string_view message);

inline void logf(Channel c, Level l, std::string_view pattern, std::initializer_list<FormatArg> args) {
  if (log_enabled(c, l)) log(c, l, format(pattern, args));
}

// Changes the level from which a channel's messages reach the sinks.
void set_log_level(Channel c, Level l);
void set_log_level_all(Level l);

// Parses a NOVA_LOG-style setting ("debug", "script=trace,files=debug").
// Returns false and changes nothing when the text is malformed.
bool configure_log_levels(std::string_view setting);

// The entry points' reading of the NOVA_LOG environment setting: applies
// it, or says once on standard error (naming the program) that it cannot be
// read and leaves the levels as they are.
void apply_log_setting(std::string_view setting, std::string_view program);

// Turns the standard-error sink off (tests that check output) or on again.
void set_stderr_logging(bool on);

}  // namespace nova::core
