#include "media/cdda_manager.h"

#include <algorithm>

#include "media/cd_folders.h"

namespace nova::media {
namespace {

bool same_drive(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto upper = [](char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c); };
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
}

}  // namespace

// --- TCddaItem ------------------------------------------------------------------------------

TCddaItem::TCddaItem(TCddaManager& manager, std::string_view name)
    : TMarkedItem(manager), m_cd(manager), m_name(name), m_track(cd_track_number(name)) {}

TCddaItem::~TCddaItem() {
  if (!is_current()) return;
  if (platform::CdDrive* d = m_cd.Drive(); d && d->mode() == platform::CdMode::Playing) d->stop();
  m_cd.CloseDrive();
  m_cd.SetCurrentItem(nullptr);
}

bool TCddaItem::is_current() const { return m_cd.CurrentItem() == this; }

void TCddaItem::prepare() {
  if (m_track < 0) return;
  if (platform::CdDrive* d = m_cd.Drive(); d && d->mode() != platform::CdMode::Stopped) d->stop();
  m_cd.SetCurrentItem(this);
  m_started = false;
  if (!m_cd.Drive()) {
    if (m_cd.DriveList().empty()) return;
    m_cd.FindDrive();
    if (!m_cd.Drive()) return;
  }
  platform::CdDrive& d = *m_cd.Drive();
  if (d.track_count() < m_track) {
    m_cd.SetCurrentItem(nullptr);
    return;
  }
  d.set_repeat(m_repeat);
  m_cd.SetListTrack(m_track);
  m_cached_length = d.track_length_seconds(m_track) * 1000;
}

void TCddaItem::Play() {
  if (!may_play()) return;
  if (!is_current()) prepare();
  // A failed prepare leaves another item's track in the drive: not ours.
  if (!is_current() || !m_cd.Drive()) return;
  platform::CdDrive& d = *m_cd.Drive();
  m_started = d.play(m_cd.ListTrack(), std::max(0, m_saved_seconds));
  SetVolume(GetVolume());
  m_paused = false;
}

void TCddaItem::Pause() {
  m_resume_mark = false;
  if (is_current()) {
    if (platform::CdDrive* d = m_cd.Drive(); d && d->mode() == platform::CdMode::Playing) {
      m_saved_seconds = std::max(0, d->position_seconds() - 1);
      d->stop();
    }
  }
  m_paused = true;
}

bool TCddaItem::IsPlaying() {
  return is_current() && m_cd.Drive() && m_cd.Drive()->mode() == platform::CdMode::Playing;
}

bool TCddaItem::IsEnd() {
  return is_current() && !m_paused && m_started && m_cd.Drive() && m_cd.Drive()->mode() == platform::CdMode::Stopped;
}

std::int32_t TCddaItem::GetLength() {
  if (m_cached_length != 0) return m_cached_length;
  if (m_track < 0) return 0;
  if (!m_cd.Drive()) {
    if (m_cd.DriveList().empty()) return 0;
    m_cd.FindDrive();
    if (!m_cd.Drive()) return 0;
  }
  platform::CdDrive& d = *m_cd.Drive();
  if (d.track_count() < m_track) return 0;
  m_cached_length = d.track_length_seconds(m_track) * 1000;
  return m_cached_length;
}

std::int32_t TCddaItem::GetPosition() {
  if (!is_current() || !m_cd.Drive()) return 0;
  return m_cd.Drive()->position_seconds() * 1000;
}

void TCddaItem::SetPosition(std::int32_t ms) {
  const std::int32_t s = ms / 1000;
  if (is_current() && m_cd.Drive() && !m_paused) {
    m_started = m_cd.Drive()->play(m_track, std::max(0, s));
  } else {
    m_saved_seconds = std::max(0, s);
  }
}

void TCddaItem::SetRepeat(bool on) {
  m_repeat = on;
  if (is_current() && m_cd.Drive()) m_cd.Drive()->set_repeat(on);
}

void TCddaItem::SetVolume(std::int32_t v) {
  m_volume = std::clamp(v, -10000, 0);
  if (!is_current() || !m_cd.Drive() || !m_cd.LineKnown()) return;
  const platform::CdLineVolume& saved = m_cd.SavedLine();
  const std::int64_t level = std::max(m_volume, -5000) + 5000;
  platform::CdLineVolume line;
  line.left = static_cast<int>(level * saved.left / 5000);
  line.right = static_cast<int>(level * saved.right / 5000);
  line.mute = saved.mute;
  m_cd.Audio().set_line_volume(line);
}

// --- TCddaManager ---------------------------------------------------------------------------

TCddaManager::TCddaManager(NovaLibrary& library, files::TVrFileManager& files, platform::CdAudio& audio,
                           std::string registry_key, RegistryReader read_registry)
    : TMediaManager(library, files, true),
      m_audio(audio),
      m_registry_key(std::move(registry_key)),
      m_read_registry(std::move(read_registry)),
      m_drive_list(audio.drives()) {}

TCddaManager::~TCddaManager() {
  Clear();
  RestoreLineVolume();
  m_drive.reset();
}

TCddaItem* TCddaManager::Add(std::string_view name) {
  return static_cast<TCddaItem*>(adopt(std::make_unique<TCddaItem>(*this, name)));
}

void TCddaManager::FindDrive() {
  if (m_drive) return;
  if (m_drive_state == -1) {
    m_drive_state = -2;
    int preferred = -1;
    if (!m_registry_key.empty() && m_read_registry) {
      std::string value = m_read_registry("Software\\" + m_registry_key, "CDDrive").value_or("");
      if (value.size() == 1) value += ':';
      if (!value.empty()) {
        for (std::size_t i = 0; i < m_drive_list.size(); ++i) {
          if (same_drive(m_drive_list[i], value)) preferred = static_cast<int>(i);
        }
      }
    }
    for (int i = 0; i < static_cast<int>(m_drive_list.size()); ++i) {
      if (preferred >= 0 && i != preferred) continue;
      auto drive = m_audio.open(i);
      if (drive && drive->track_count() >= 1) {
        m_drive = std::move(drive);
        m_drive_state = i;
        break;
      }
    }
    if (m_drive_state >= 0) {
      m_line_known = true;
      const platform::CdLineVolume line = m_audio.line_volume();
      m_saved_line = {std::clamp(line.left, 0, 65535), std::clamp(line.right, 0, 65535), line.mute};
    }
  }
  if (m_drive_state >= 0 && !m_drive) m_drive = m_audio.open(m_drive_state);
}

void TCddaManager::RestoreLineVolume() {
  if (m_line_known) m_audio.set_line_volume(m_saved_line);
}

void TCddaManager::ReadLineVolume() {
  if (!m_line_known) return;
  const platform::CdLineVolume line = m_audio.line_volume();
  m_saved_line = {std::clamp(line.left, 0, 65535), std::clamp(line.right, 0, 65535), line.mute};
}

}  // namespace nova::media
