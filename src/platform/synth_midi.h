// The software synthesizer MIDI port: FluidSynth with a General MIDI sound
// font from the system, playing through a sound-output stream.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "platform/midi.h"
#include "platform/sound.h"

namespace nova::platform {

// The General MIDI sound font to use ($NOVA_SOUNDFONT, else the Debian
// default-GM.sf2 or TimGM6mb.sf2), or nullopt when none is installed.
std::optional<std::filesystem::path> find_sound_font();

// Opens a synthesizer port on `output`; nullptr when FluidSynth cannot start,
// the sound font cannot be loaded or no stream opens.
std::unique_ptr<MidiPort> open_synth_port(SoundOutput& output, const std::filesystem::path& sound_font);

}  // namespace nova::platform
