#include "expr/system_variable_router.h"

#include <algorithm>

#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"

namespace nova::expr {

void TSystemVariableRouter::attach(std::string_view name, TSystemVariableProvider& provider,
                                   std::span<const int> indexes, Claim claim) {
  // Everything is checked before anything is registered.
  for (int index : indexes) {
    if (index < 0 || index >= kSystemVariableCount) {
      core::throw_error(core::format("%s: no system variable has the index %d", {name, index}));
    }
    const auto& holders = m_holders[static_cast<std::size_t>(index)];
    if (!holders.empty() && holders.back().claim == Claim::Owned) {
      core::throw_error(
          core::format("%s: the system variable %s is already answered by %s",
                       {name, kSystemVariables[static_cast<std::size_t>(index)].name, holders.back().name}));
    }
  }
  for (int index : indexes) {
    m_holders[static_cast<std::size_t>(index)].push_back({&provider, std::string(name), claim});
    refresh(index);
  }
}

void TSystemVariableRouter::detach(const TSystemVariableProvider& provider) {
  for (int index = 0; index < kSystemVariableCount; ++index) {
    auto& holders = m_holders[static_cast<std::size_t>(index)];
    std::erase_if(holders, [&](const Registration& r) { return r.provider == &provider; });
    refresh(index);
  }
}

void TSystemVariableRouter::refresh(int index) {
  const auto& holders = m_holders[static_cast<std::size_t>(index)];
  m_active[static_cast<std::size_t>(index)] = holders.empty() ? nullptr : holders.back().provider;
}

std::vector<int> TSystemVariableRouter::unclaimed() const {
  std::vector<int> out;
  for (int index = 0; index < kSystemVariableCount; ++index) {
    if (!m_active[static_cast<std::size_t>(index)]) out.push_back(index);
  }
  return out;
}

void TSystemVariableRouter::check_complete() const {
  std::string names;
  for (int index : unclaimed()) {
    if (!names.empty()) names += ", ";
    names += kSystemVariables[static_cast<std::size_t>(index)].name;
  }
  if (!names.empty()) core::throw_error(core::format("system variables without a provider: %s", {names}));
}

std::string_view TSystemVariableRouter::holder_name(int index) const {
  if (index < 0 || index >= kSystemVariableCount) return {};
  const auto& holders = m_holders[static_cast<std::size_t>(index)];
  return holders.empty() ? std::string_view() : std::string_view(holders.back().name);
}

void TSystemVariableRouter::unattached(int index) {
  if (index < 0 || index >= kSystemVariableCount) core::throw_error(core::sjis("内部エラー"));
  core::throw_error(core::format("system variable %s is not available (nothing answers it)",
                                 {kSystemVariables[static_cast<std::size_t>(index)].name}));
}

}  // namespace nova::expr
