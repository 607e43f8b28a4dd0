// TSystemVariableRouter: the variable store's one provider of the "@"
// variables. Each subsystem that answers some of them registers the indexes
// it answers; the router hands every read and write of an index to its
// holder.
//
// Holders are providers or placeholders. A placeholder stands for a
// subsystem this build does not have (it answers a fixed value, or raises an
// error naming what is missing); a provider may take over its indexes, and
// so may a provider over a placeholder's indexes that another provider
// holds as a stand-in (the shell's answer for a player without MIDI). Any
// other second registration of an index is refused, so two subsystems can
// never both believe they own a variable.
//
// Once a title has started, every index 0 ... 50 has a holder
// (check_complete); an index without one raises an error naming the
// variable when it is used.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "expr/system_variables.h"

namespace nova::expr {

class TSystemVariableRouter final : public TSystemVariableProvider {
 public:
  // Whether a later provider may take an index over from this holder.
  enum class Claim : std::uint8_t { Owned, Replaceable };

  // Registers `provider` (not owned; it must stay registered no longer than
  // it lives) for the indexes, under a name used in messages. Raises
  // core::Error, registering nothing, when an index is outside 0 ... 50 or
  // held by another holder that is not replaceable.
  void attach(std::string_view name, TSystemVariableProvider& provider, std::span<const int> indexes,
              Claim claim = Claim::Owned);
  // Removes every registration of the provider; the indexes it took over go
  // back to their former holders.
  void detach(const TSystemVariableProvider& provider);

  // The indexes that have no holder, in order.
  std::vector<int> unclaimed() const;
  // Raises core::Error naming the variables without a holder.
  void check_complete() const;
  // The name under which the index's holder registered ("" when none).
  std::string_view holder_name(int index) const;

  // TSystemVariableProvider
  TCustomParam* referred(int index) override { return holder(index).referred(index); }
  std::int32_t count(int index) override { return holder(index).count(index); }
  void read(int index, std::int32_t element, TSysValue& out) override { holder(index).read(index, element, out); }
  void write(int index, std::int32_t element, const TSysValue& in) override { holder(index).write(index, element, in); }

 private:
  struct Registration {
    TSystemVariableProvider* provider;
    std::string name;
    Claim claim;
  };
  TSystemVariableProvider& holder(int index) const {
    const auto i = static_cast<std::size_t>(index);
    if (i >= m_active.size() || !m_active[i]) [[unlikely]]
      unattached(index);
    return *m_active[i];
  }
  [[noreturn]] static void unattached(int index);
  void refresh(int index);

  // Per index, the holders in the order they came; the last one answers.
  std::array<std::vector<Registration>, kSystemVariableCount> m_holders;
  std::array<TSystemVariableProvider*, kSystemVariableCount> m_active{};
};

}  // namespace nova::expr
