#include "../common/seeds.h"
#include "media/decoders/smf_writer.h"

using namespace nova::media::writers;

int main(int argc, char** argv) {
  const auto folder = nova::fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 2;
  const std::uint8_t gs[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
  SmfSpec two;
  two.tracks = {SmfTrack{{tempo(0, 600000), program(0, 0, 5), note_on(0, 0, 60, 90), control(120, 0, 64, 127),
                          tempo(480, 250000), note_off(480, 0, 60), pitch_bend(600, 0, 9000)}},
                SmfTrack{{sysex(0, gs), note_on(240, 9, 36, 100), note_off(300, 9, 36)}}};
  SmfSpec zero = two;
  zero.format = 0;
  zero.running_status = false;
  zero.tracks.resize(1);
  SmfSpec frames = two;
  frames.division = 0xE728;
  SmfSpec open_end = two;
  open_end.tracks[0].end_of_track = false;
  int n = 0;
  for (const auto& s : {two, zero, frames, open_end}) {
    const auto bytes = write_smf(s);
    nova::fuzz::write_seed(folder, n++, bytes);
    nova::fuzz::write_seed(folder, n++, wrap_rmid(bytes));
  }
  return 0;
}
