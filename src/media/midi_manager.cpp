#include "media/midi_manager.h"

#include <algorithm>

#include "core/error.h"
#include "core/log.h"
#include "core/sjis.h"
#include "media/media_source.h"

namespace nova::media {
namespace {

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

// --- TMidiItem ------------------------------------------------------------------------------

TMidiItem::TMidiItem(TMidiManager& manager, std::string_view name)
    : TMarkedItem(manager), m_midi(manager), m_name(name) {}

TMidiItem::~TMidiItem() {
  if (!is_current()) return;
  TMidiPlayV& player = *m_midi.Player();
  if (player.IsPlaying()) player.Stop();
  player.CloseDevice();
  m_midi.SetCurrentItem(nullptr);
}

bool TMidiItem::is_current() const { return m_midi.Player() && m_midi.CurrentItem() == this; }

std::vector<std::uint8_t> TMidiItem::read_file() const {
  try {
    auto source = open_media_source(m_midi.Files(), m_name);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max<std::int64_t>(0, source->GetSize())));
    const std::int64_t got = bytes.empty() ? 0 : source->Read(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(std::max<std::int64_t>(0, got)));
    if (bytes.empty()) core::log(core::Channel::Media, core::Level::Warning, m_name + ": the MIDI file is empty");
    return bytes;
  } catch (const core::Error& e) {
    core::log(core::Channel::Media, core::Level::Warning, e.message());
    return {};
  }
}

void TMidiItem::load_file() {
  const std::vector<std::uint8_t> bytes = read_file();
  TMidiPlayV& player = *m_midi.Player();
  if (player.IsPlaying()) player.Stop();
  m_midi.SetCurrentItem(this);
  player.Load(bytes);
  player.SetRepeat(m_repeat);
  m_cached_length = player.Length();
}

void TMidiItem::SetRepeat(bool on) {
  m_repeat = on;
  if (is_current()) m_midi.Player()->SetRepeat(on);
}

void TMidiItem::SetVolume(std::int32_t v) {
  m_volume = std::clamp(v, -10000, 0);
  if (is_current()) m_midi.Player()->SetControllerPercentAll(7, m_volume / 100 + 100);
}

std::int32_t TMidiItem::GetPosition() { return is_current() ? m_midi.Player()->Position() : 0; }

void TMidiItem::SetPosition(std::int32_t ms) {
  if (is_current() && !m_paused) {
    m_midi.Player()->PlayFrom(std::max(0, ms));
  } else {
    m_saved_position = std::max(0, ms);
  }
}

std::int32_t TMidiItem::GetLength() {
  if (m_cached_length == 0) {
    TMidiV parser;
    parser.Parse(read_file());
    m_cached_length = parser.Length();
  }
  return m_cached_length;
}

bool TMidiItem::IsEnd() { return is_current() && m_midi.Player()->IsEnd(); }
bool TMidiItem::IsPlaying() { return is_current() && m_midi.Player()->IsPlaying(); }

void TMidiItem::Play() {
  if (!may_play()) return;
  if (TMidiPlayV* player = m_midi.Player()) {
    if (!is_current()) load_file();
    if (!player->DeviceOpen()) player->OpenDevice(m_midi.SelectedDevice() - 1);
    player->ResetDevice();
    m_midi.SetCurrentItem(this);
    player->PlayFrom(m_saved_position);
    SetVolume(GetVolume());
  }
  m_paused = false;
}

void TMidiItem::Pause() {
  m_resume_mark = false;
  if (is_current()) {
    m_saved_position = m_midi.Player()->Position();
    m_midi.Player()->Stop();
  }
  m_paused = true;
}

// --- TMidiManager ---------------------------------------------------------------------------

TMidiManager::TMidiManager(NovaLibrary& library, files::TVrFileManager& files, platform::MidiOutput& output,
                           platform::Clock& clock, TimerFactory make_timer)
    : TMediaManager(library, files, true), m_output(output), m_clock(clock), m_make_timer(std::move(make_timer)) {
  m_devices.push_back(core::sjis("MIDIマッパー"));
  for (const platform::MidiPortInfo& p : m_output.ports()) m_devices.push_back(p.name);
  m_player = std::make_unique<TMidiPlayV>(m_output, m_clock, m_make_timer);
}

TMidiManager::~TMidiManager() {
  Clear();
  m_player.reset();
}

TMidiItem* TMidiManager::Add(std::string_view name) {
  return static_cast<TMidiItem*>(adopt(std::make_unique<TMidiItem>(*this, name)));
}

std::string TMidiManager::DeviceName(int index) const {
  if (index < 0 || index >= DeviceCount()) return m_devices.front();
  return m_devices[static_cast<std::size_t>(index)];
}

void TMidiManager::SelectDeviceByName(std::string_view name) {
  int found = -1;
  for (int i = 0; i < DeviceCount(); ++i) {
    if (same_name(m_devices[static_cast<std::size_t>(i)], name)) {
      found = i;
      break;
    }
  }
  SelectDevice(std::max(0, found));
}

void TMidiManager::SelectDevice(int index) {
  m_selected = std::min(DeviceCount() - 1, std::max(0, index));
  if (!m_player || !m_player->IsPlaying()) return;
  const std::int32_t at = m_player->Position();
  m_player->Stop();
  m_player->CloseDevice();
  m_player->OpenDevice(m_selected - 1);
  m_player->PlayFrom(at);
}

}  // namespace nova::media
