#include "core/log.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/codepage.h"

namespace nova::core {
namespace {

constexpr std::array<std::string_view, static_cast<std::size_t>(Channel::Count)> kChannelNames = {
    "core", "platform", "app", "files", "expr", "script", "data", "components", "text", "graphics", "media", "tools"};
constexpr std::array<std::string_view, 5> kLevelNames = {"error", "warning", "info", "debug", "trace"};

struct Logger {
  std::mutex mutex;
  std::vector<std::pair<int, LogSinkFn>> sinks;
  int next_id = 1;
  std::array<std::atomic<std::uint8_t>, static_cast<std::size_t>(Channel::Count)> levels{};
  std::atomic<bool> stderr_on{true};

  Logger() {
    for (auto& l : levels) l.store(static_cast<std::uint8_t>(Level::Warning));
  }
};

// The logger is process-wide on purpose: log lines are diagnostics for the
// developer, not state of a player, and every thread must reach it.
Logger& logger() {
  static Logger instance;
  return instance;
}

std::optional<Level> parse_level(std::string_view text) {
  for (std::size_t i = 0; i < kLevelNames.size(); ++i) {
    if (text == kLevelNames[i]) return static_cast<Level>(i);
  }
  return std::nullopt;
}

}  // namespace

std::string_view channel_name(Channel c) {
  auto i = static_cast<std::size_t>(c);
  return i < kChannelNames.size() ? kChannelNames[i] : "?";
}

std::string_view level_name(Level l) {
  auto i = static_cast<std::size_t>(l);
  return i < kLevelNames.size() ? kLevelNames[i] : "?";
}

LogSink::LogSink(LogSinkFn fn) {
  Logger& lg = logger();
  std::lock_guard lock(lg.mutex);
  m_id = lg.next_id++;
  lg.sinks.emplace_back(m_id, std::move(fn));
}

LogSink::~LogSink() {
  Logger& lg = logger();
  std::lock_guard lock(lg.mutex);
  std::erase_if(lg.sinks, [this](const auto& s) { return s.first == m_id; });
}

bool log_enabled(Channel c, Level l) {
  auto i = static_cast<std::size_t>(c);
  if (i >= kChannelNames.size()) return false;
  return static_cast<std::uint8_t>(l) <= logger().levels[i].load(std::memory_order_relaxed);
}

void log(Channel c, Level l, std::string_view message) {
  if (!log_enabled(c, l)) return;
  Logger& lg = logger();
  std::lock_guard lock(lg.mutex);
  for (auto& [id, fn] : lg.sinks) fn(c, l, message);
  if (lg.stderr_on.load()) {
    std::string utf8 = platform::codepage::to_utf8(message);
    std::fprintf(stderr, "[%.*s %.*s] %s\n", static_cast<int>(channel_name(c).size()), channel_name(c).data(),
                 static_cast<int>(level_name(l).size()), level_name(l).data(), utf8.c_str());
  }
}

void set_log_level(Channel c, Level l) {
  auto i = static_cast<std::size_t>(c);
  if (i < kChannelNames.size()) logger().levels[i].store(static_cast<std::uint8_t>(l));
}

void set_log_level_all(Level l) {
  for (auto& v : logger().levels) v.store(static_cast<std::uint8_t>(l));
}

bool configure_log_levels(std::string_view setting) {
  std::vector<std::pair<int, Level>> changes;  // channel -1 means all
  std::size_t pos = 0;
  while (pos <= setting.size()) {
    std::size_t comma = setting.find(',', pos);
    std::string_view item = setting.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
    if (!item.empty()) {
      std::size_t eq = item.find('=');
      if (eq == std::string_view::npos) {
        auto l = parse_level(item);
        if (!l) return false;
        changes.emplace_back(-1, *l);
      } else {
        auto l = parse_level(item.substr(eq + 1));
        if (!l) return false;
        std::string_view name = item.substr(0, eq);
        int found = -1;
        for (std::size_t i = 0; i < kChannelNames.size(); ++i) {
          if (kChannelNames[i] == name) found = static_cast<int>(i);
        }
        if (found < 0) return false;
        changes.emplace_back(found, *l);
      }
    }
    if (comma == std::string_view::npos) break;
    pos = comma + 1;
  }
  for (auto [ch, l] : changes) {
    if (ch < 0)
      set_log_level_all(l);
    else
      set_log_level(static_cast<Channel>(ch), l);
  }
  return true;
}

void apply_log_setting(std::string_view setting, std::string_view program) {
  if (setting.empty() || configure_log_levels(setting)) return;
  std::fprintf(stderr,
               "%.*s: NOVA_LOG=%.*s is not a log setting (for example debug, or script=trace,files=debug); "
               "ignored\n",
               static_cast<int>(program.size()), program.data(), static_cast<int>(setting.size()), setting.data());
}

void set_stderr_logging(bool on) { logger().stderr_on.store(on); }

}  // namespace nova::core
