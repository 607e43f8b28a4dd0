// "@MidiPort" (the port in use; writing selects a port by name) and
// "@MidiPorts" (the ports' names) for a player with a MIDI manager. The
// player registers it with its system-variable router for indexes 45 and
// 46, over the shell's answers for a player without MIDI.
//
// Main thread only. The manager must outlive the provider's registration.
#pragma once

#include <array>

#include "expr/system_variables.h"
#include "media/midi_manager.h"

namespace nova::media {

class MidiPortVariables final : public expr::TSystemVariableProvider {
 public:
  static constexpr std::array<int, 2> kIndexes = {45, 46};

  explicit MidiPortVariables(TMidiManager& manager) : m_manager(manager) {}

  expr::TCustomParam* referred(int) override { return nullptr; }
  // The port count for @MidiPorts.
  std::int32_t count(int index) override;
  void read(int index, std::int32_t element, expr::TSysValue& out) override;
  void write(int index, std::int32_t element, const expr::TSysValue& in) override;

 private:
  TMidiManager& m_manager;
};

}  // namespace nova::media
