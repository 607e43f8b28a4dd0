// CD drives made of folders of track files (the player's --cd-folder
// option): each folder is a drive, named "D:", "E:" ... in order. Its tracks
// are the files "trackNN.*" (NN 01 to 99, any case, further dots allowed,
// as "track01.cdda.wav") in any format the media library decodes, numbered
// as on the disc; the track count is the highest NN, and a missing number
// is a track of length 0 (a mixed-mode disc's data track). A folder is
// ready at once. A track plays as a voice of the library, the line volume
// is a gain on that voice, and the drive's repeat is the voice's seamless
// repeat. Without folders there are no drives.
//
// Main thread only (the voices mix on the output's thread). The library
// must outlive the audio and its drives; a drive must not outlive its
// audio.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/range_stream.h"
#include "media/nova_library.h"
#include "platform/cdaudio.h"

namespace nova::media {

// The track of a CD sound's name "CD_n": n of 1 to 99 in decimal digits
// only; −1 for anything else ("CD_0", "CD_x", "CD_100", "CD_+3").
int cd_track_number(std::string_view name);
// NN of a track file's name "trackNN.…" (01 to 99, any case); −1 for any
// other name.
int track_file_number(std::string_view file_name);

class FolderCdDrive;

class CdFolderAudio final : public platform::CdAudio {
 public:
  CdFolderAudio(NovaLibrary& library, std::vector<std::filesystem::path> folders);
  ~CdFolderAudio() override;

  std::vector<std::string> drives() override;
  // Every folder opens (an empty or missing one has no tracks).
  std::unique_ptr<platform::CdDrive> open(int index) override;
  platform::CdLineVolume line_volume() override { return m_line; }
  // Also the gain of every track that sounds now.
  void set_line_volume(const platform::CdLineVolume& v) override;

 private:
  friend class FolderCdDrive;
  void apply_line(Voice& voice) const;

  NovaLibrary& m_library;
  std::vector<std::filesystem::path> m_folders;
  platform::CdLineVolume m_line;
  std::vector<FolderCdDrive*> m_open;
};

class FolderCdDrive final : public platform::CdDrive {
 public:
  FolderCdDrive(CdFolderAudio& audio, const std::filesystem::path& folder);
  ~FolderCdDrive() override;

  platform::CdMode mode() override;
  int track_count() override { return m_count; }
  int track_length_seconds(int track) override;
  int position_seconds() override;
  bool play(int track, int from_second) override;
  void stop() override;
  void set_repeat(bool on) override;

  Voice* voice() const;

 private:
  CdFolderAudio& m_audio;
  std::map<int, std::filesystem::path> m_tracks;
  int m_count = 0;
  std::map<int, int> m_lengths;
  bool m_repeat = false;
  std::unique_ptr<files::TRangeStream> m_source;
  std::int32_t m_handle = 0;
};

}  // namespace nova::media
