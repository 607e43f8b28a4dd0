// The start-up and shut-down trace: every step of the main window's start
// and end names itself here ("FormCreate", "TProject.Create", "MediaInit",
// "SetFullScreen.Full" ...). The player records nothing; a test installs a
// sink to see the order.
#pragma once

#include <functional>
#include <string_view>

namespace nova::app {

class StepTrace {
 public:
  void operator()(std::string_view name) const {
    if (m_sink) m_sink(name);
  }
  void set_sink(std::function<void(std::string_view)> sink) { m_sink = std::move(sink); }

 private:
  std::function<void(std::string_view)> m_sink;
};

}  // namespace nova::app
