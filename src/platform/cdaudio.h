// CD audio, standing where the MCI CD audio device and the mixer's CD line
// stand. On Linux a "drive" is either a real audio CD (not supported here:
// there are then no drives) or a folder of track files named on the command
// line (track01.wav, track02.ogg ...); those decode, so they live with the
// media library (src/media/cd_folders.h) and implement these interfaces.
// A drive's state is read when asked: nothing polls.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace nova::platform {

enum class CdMode : std::uint8_t { NotReady, Stopped, Playing, Paused, Seeking, Open };

class CdDrive {
 public:
  virtual ~CdDrive() = default;
  virtual CdMode mode() = 0;
  virtual int track_count() = 0;
  virtual int track_length_seconds(int track) = 0;
  // Seconds played in the current track.
  virtual int position_seconds() = 0;
  virtual bool play(int track, int from_second) = 0;
  virtual void stop() = 0;
  // The play list is the one track last played: with repeat on, it starts
  // again at its end without a gap; off, the drive stops there.
  virtual void set_repeat(bool on) = 0;
};

struct CdLineVolume {
  int left = 0xFFFF;
  int right = 0xFFFF;
  bool mute = false;
};

class CdAudio {
 public:
  virtual ~CdAudio() = default;
  // Drive names as the system shows them ("D:" ...), in a stable order.
  virtual std::vector<std::string> drives() = 0;
  // nullptr when the drive cannot be opened.
  virtual std::unique_ptr<CdDrive> open(int index) = 0;
  virtual CdLineVolume line_volume() = 0;
  virtual void set_line_volume(const CdLineVolume& v) = 0;
};

// CD audio without drives: what both backends offer until track folders
// are supported. The line volume is kept as set.
std::unique_ptr<CdAudio> create_driveless_cd_audio();

}  // namespace nova::platform
