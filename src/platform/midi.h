// MIDI output ports, in the manner of the midiOut devices: a port is opened,
// takes short messages (status, data1, data2 packed little-endian in a word)
// and long (system-exclusive) messages, and is closed.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace nova::platform {

class MidiPort {
 public:
  virtual ~MidiPort() = default;
  virtual void short_message(std::uint32_t packed) = 0;
  virtual void long_message(std::span<const std::uint8_t> bytes) = 0;
  // All notes off and controllers reset on every channel.
  virtual void reset() = 0;
};

struct MidiPortInfo {
  std::string name;  // Shift-JIS
};

class MidiOutput {
 public:
  virtual ~MidiOutput() = default;
  // SDL: port 0 is the software synthesizer when a sound font is
  // installed. Headless: port 0 records what it is sent (for tests), port 1
  // is the synthesizer, heard in the recorded sound output.
  virtual std::vector<MidiPortInfo> ports() = 0;
  // nullptr when the port cannot be opened.
  virtual std::unique_ptr<MidiPort> open(int index) = 0;
};

}  // namespace nova::platform
