// ScriptValues: what components reach of the script's values without
// holding the variable store and the builtin functions themselves: running
// an expression they keep (the extra pause of an animation's last frame)
// and the selection values (@SelStr, @SelIndex) that choices set. The
// component system implements it over the title's store; tests give their
// own.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace nova::expr {
class TNovaParser;
}

namespace nova::components {

class ScriptValues {
 public:
  virtual ~ScriptValues() = default;
  // Runs the expression and answers its result as an integer; none when the
  // run stopped at an error or gave no result.
  virtual std::optional<std::int32_t> run_int(expr::TNovaParser& expression) = 0;
  // @SelStr and @SelIndex.
  virtual void set_selection(std::string_view text, std::int32_t index) = 0;
};

}  // namespace nova::components
