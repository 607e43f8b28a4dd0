// MIDI items and their manager. The manager owns the one player and the
// list of output devices ("MIDIマッパー" first, then the platform's ports);
// its items share the player, so one MIDI file sounds at a time: the item
// that last loaded its file is the current one.
//
// An item keeps its own repeat flag and hands it to the player when it
// becomes current. A file that cannot be read, or is empty, loads an empty
// event list: the item becomes current, plays nothing and ends at once (the
// reason is logged on the media channel); no error escapes an item.
//
// Main thread only (the player's timer thread is the player's business).
// Owned by the media system; the items go before the player.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "media/media_items.h"
#include "media/media_managers.h"
#include "media/midi_player.h"

namespace nova::media {

class TMidiManager;

class TMidiItem final : public TMarkedItem {
 public:
  TMidiItem(TMidiManager& manager, std::string_view name);
  // The current item stops the player and closes the device.
  ~TMidiItem() override;

  bool GetRepeat() override { return m_repeat; }
  void SetRepeat(bool on) override;
  std::int32_t GetVolume() override { return m_volume; }
  // Clamped to −10000..0; the current item's channels get v ÷ 100 + 100 %.
  void SetVolume(std::int32_t v) override;
  std::int32_t GetPosition() override;
  void SetPosition(std::int32_t ms) override;
  // Parsed without the player (a cached length stays).
  std::int32_t GetLength() override;
  bool IsEnd() override;
  bool IsPlaying() override;
  bool IsPaused() override { return m_paused; }
  void Play() override;
  void Pause() override;
  bool AtEnd() override { return IsEnd(); }

  const std::string& Name() const { return m_name; }

 private:
  bool is_current() const;
  std::vector<std::uint8_t> read_file() const;
  void load_file();

  TMidiManager& m_midi;
  std::string m_name;
  std::int32_t m_saved_position = 0;
  bool m_paused = false;
  std::int32_t m_volume = 0;
  std::int32_t m_cached_length = 0;
  bool m_repeat = false;
};

class TMidiManager final : public TMediaManager {
 public:
  TMidiManager(NovaLibrary& library, files::TVrFileManager& files, platform::MidiOutput& output, platform::Clock& clock,
               TimerFactory make_timer);
  ~TMidiManager() override;

  TMidiItem* Add(std::string_view name);

  TMidiPlayV* Player() const { return m_player.get(); }
  TMidiItem* CurrentItem() const { return m_current; }
  void SetCurrentItem(TMidiItem* item) { m_current = item; }

  int DeviceCount() const { return static_cast<int>(m_devices.size()); }
  // "MIDIマッパー" outside the list.
  std::string DeviceName(int index) const;
  std::string CurrentDeviceName() const { return DeviceName(m_selected); }
  int SelectedDevice() const { return m_selected; }
  // Case-insensitive; an unknown name selects the mapper.
  void SelectDeviceByName(std::string_view name);
  // Clamped to the list; a playing player moves to the new port where it
  // was.
  void SelectDevice(int index);

  platform::MidiOutput& Output() const { return m_output; }
  platform::Clock& Clock() const { return m_clock; }
  const TimerFactory& MakeTimer() const { return m_make_timer; }

 private:
  platform::MidiOutput& m_output;
  platform::Clock& m_clock;
  TimerFactory m_make_timer;
  std::vector<std::string> m_devices;
  int m_selected = 0;
  std::unique_ptr<TMidiPlayV> m_player;
  TMidiItem* m_current = nullptr;
};

}  // namespace nova::media
