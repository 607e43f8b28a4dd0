// CD audio items and their manager. The manager holds the one CD player (a
// drive of the platform's CD audio, or of the --cd-folder drives) shared by
// every item: the item that last prepared its track is the current one, and
// the play list is always that one track. The drive is found once
// ("CDDrive" under the project's registry key picks one); a search that
// finds nothing is final for the run. Volumes reach the CD line, whose
// level is kept when the manager finds its drive and given back when the
// application loses the focus and when the manager goes.
//
// Main thread only. Owned by the media system; the CD audio must outlive
// it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "media/media_items.h"
#include "media/media_managers.h"
#include "platform/cdaudio.h"

namespace nova::media {

class TCddaManager;

class TCddaItem final : public TMarkedItem {
 public:
  TCddaItem(TCddaManager& manager, std::string_view name);
  // The current item stops the player and closes the drive.
  ~TCddaItem() override;

  bool GetRepeat() override { return m_repeat; }
  void SetRepeat(bool on) override;
  std::int32_t GetVolume() override { return m_volume; }
  // Clamped to −10000..0; −5000 and below silence the line.
  void SetVolume(std::int32_t v) override;
  std::int32_t GetPosition() override;
  void SetPosition(std::int32_t ms) override;
  // Looks for a drive when needed; never stops the player nor changes the
  // current item.
  std::int32_t GetLength() override;
  // Current, not paused, and the drive stopped after the track played.
  bool IsEnd() override;
  bool IsPlaying() override;
  bool IsPaused() override { return m_paused; }
  void Play() override;
  void Pause() override;
  bool AtEnd() override { return IsEnd(); }

  int Track() const { return m_track; }
  const std::string& Name() const { return m_name; }

 private:
  bool is_current() const;
  void prepare();

  TCddaManager& m_cd;
  std::string m_name;
  int m_track;
  std::int32_t m_saved_seconds = 0;
  bool m_paused = false;
  std::int32_t m_volume = 0;
  std::int32_t m_cached_length = 0;
  bool m_repeat = false;
  // The track was started since this item last became current.
  bool m_started = false;
};

// Reads a string value of the registry substitute: (key path, value name).
using RegistryReader = std::function<std::optional<std::string>(std::string_view, std::string_view)>;

class TCddaManager final : public TMediaManager {
 public:
  // `registry_key`: the project's (empty: none).
  TCddaManager(NovaLibrary& library, files::TVrFileManager& files, platform::CdAudio& audio, std::string registry_key,
               RegistryReader read_registry);
  // The items, the line's level, then the drive.
  ~TCddaManager() override;

  TCddaItem* Add(std::string_view name);

  void FindDrive();
  void RestoreLineVolume();
  void ReadLineVolume();

  // −1 not searched, −2 searched in vain (final), else the drive's index.
  int DriveState() const { return m_drive_state; }
  platform::CdDrive* Drive() const { return m_drive.get(); }
  void CloseDrive() { m_drive.reset(); }
  const std::vector<std::string>& DriveList() const { return m_drive_list; }
  TCddaItem* CurrentItem() const { return m_current; }
  void SetCurrentItem(TCddaItem* item) { m_current = item; }
  bool LineKnown() const { return m_line_known; }
  const platform::CdLineVolume& SavedLine() const { return m_saved_line; }
  platform::CdAudio& Audio() const { return m_audio; }
  // The play list's one track (0: none).
  int ListTrack() const { return m_list_track; }
  void SetListTrack(int track) { m_list_track = track; }

 private:
  platform::CdAudio& m_audio;
  std::string m_registry_key;
  RegistryReader m_read_registry;
  std::vector<std::string> m_drive_list;
  std::unique_ptr<platform::CdDrive> m_drive;
  TCddaItem* m_current = nullptr;
  int m_drive_state = -1;
  bool m_line_known = false;
  platform::CdLineVolume m_saved_line;
  int m_list_track = 0;
};

}  // namespace nova::media
