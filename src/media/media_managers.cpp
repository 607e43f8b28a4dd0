#include "media/media_managers.h"

#include <algorithm>

#include "core/error.h"

namespace nova::media {

TMediaManager::TMediaManager(NovaLibrary& library, files::TVrFileManager& files, bool has_enabled_flag)
    : m_library(library), m_files(files), m_has_enabled_flag(has_enabled_flag) {}

TMediaManager::~TMediaManager() { Clear(); }

TDMediaItem* TMediaManager::adopt(std::unique_ptr<TDMediaItem> item) {
  m_items.push_back(std::move(item));
  return m_items.back().get();
}

void TMediaManager::Remove(TDMediaItem* item) {
  auto it = std::find_if(m_items.begin(), m_items.end(), [item](const auto& p) { return p.get() == item; });
  if (it == m_items.end()) return;
  std::unique_ptr<TDMediaItem> gone = std::move(*it);
  m_items.erase(it);
}

void TMediaManager::Clear() {
  // Last first, each out of the list before it goes.
  while (!m_items.empty()) {
    std::unique_ptr<TDMediaItem> gone = std::move(m_items.back());
    m_items.pop_back();
  }
}

TDMediaItem* TMediaManager::Items(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return m_items[static_cast<std::size_t>(index)].get();
}

void TMediaManager::PauseAll() {
  if ((m_has_enabled_flag && !m_enabled) || m_paused) return;
  m_paused = true;
  for (auto& item : m_items) {
    // AtEnd, not IsEnd: asking IsEnd here would use up an item's one end
    // report, and its sound would never hear of the end.
    if (item->IsPlaying() && !item->IsPaused() && !item->AtEnd()) {
      item->Pause();
      item->SetResumeMark(true);
    } else {
      item->SetResumeMark(false);
    }
  }
}

void TMediaManager::ResumeAll() {
  if ((m_has_enabled_flag && !m_enabled) || !m_paused) return;
  m_paused = false;
  for (auto& item : m_items) {
    if (!item->ResumeMark()) continue;
    item->SetResumeMark(false);
    item->Play();
  }
}

void TMediaManager::SetEnabled(bool enabled) {
  if (enabled == m_enabled) return;
  if (!enabled) {
    PauseAll();
    m_enabled = false;
  } else {
    m_enabled = true;
    ResumeAll();
  }
}

TWmpItem* TWmpManager::Add(std::string_view name) {
  return static_cast<TWmpItem*>(adopt(std::make_unique<TWmpItem>(*this, name)));
}

TOggManager::TOggManager(NovaLibrary& library, files::TVrFileManager& files, platform::Platform& platform,
                         const SoundSettings& settings)
    : TMediaManager(library, files, true),
      m_direct_sound(settings.direct_sound),
      m_mixer(std::make_unique<TWavOut>(platform, std::clamp(settings.delay_time, 100, 500))) {}

TOggManager::~TOggManager() {
  Clear();
  m_mixer.reset();
}

TCustomOggItem* TOggManager::Add(std::string_view name) {
  if (m_direct_sound) return static_cast<TCustomOggItem*>(adopt(std::make_unique<TOggItem>(*this, name)));
  m_mixer->OpenDevice();
  return static_cast<TCustomOggItem*>(adopt(std::make_unique<TOggWaveItem>(*this, name)));
}

TVideoItem* TVideoManager::Add(std::string_view name, bool capture) {
  // The library raises the error that names the file.
  Library().novaVidmanAdd(name, nullptr, capture);
  throw core::Error(std::string(name) + ": video playback is not built yet");
}

void TVideoManager::FrameShown() {
  for (int i = 0; i < Count(); ++i) static_cast<TVideoItem*>(Items(i))->FrameShown();
}

}  // namespace nova::media
