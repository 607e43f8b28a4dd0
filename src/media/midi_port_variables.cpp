#include "media/midi_port_variables.h"

namespace nova::media {
namespace {

constexpr int kMidiPort = 45;
constexpr int kMidiPorts = 46;

}  // namespace

std::int32_t MidiPortVariables::count(int index) { return index == kMidiPorts ? m_manager.DeviceCount() : 1; }

void MidiPortVariables::read(int index, std::int32_t element, expr::TSysValue& out) {
  if (index == kMidiPort) {
    out.s = m_manager.CurrentDeviceName();
  } else if (index == kMidiPorts) {
    // Without an index, element 0; outside the list, empty, as every system
    // array's.
    const std::int32_t i = element < 0 ? 0 : element;
    out.s = i < m_manager.DeviceCount() ? m_manager.DeviceName(i) : std::string();
  }
}

void MidiPortVariables::write(int index, std::int32_t, const expr::TSysValue& in) {
  if (index == kMidiPort) m_manager.SelectDeviceByName(in.s);
}

}  // namespace nova::media
