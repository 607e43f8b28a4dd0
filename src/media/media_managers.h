// The media managers: one per kind of item, each a list that owns its
// items. They pause everything when the application loses the focus and
// resume it afterwards, and the script switches them off and on (the base
// list's media flag).
//
// Main thread only. Owned by the media system, in its order.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "files/file_manager.h"
#include "media/media_item.h"
#include "media/media_items.h"
#include "media/nova_library.h"
#include "media/video_item.h"
#include "media/wav_out.h"
#include "platform/platform.h"

namespace nova::media {

class TMediaManager {
 public:
  virtual ~TMediaManager();
  TMediaManager(const TMediaManager&) = delete;
  TMediaManager& operator=(const TMediaManager&) = delete;

  // Frees the item when it is in the list; otherwise nothing.
  void Remove(TDMediaItem* item);
  void Clear();
  TDMediaItem* Items(int index) const;
  int Count() const { return static_cast<int>(m_items.size()); }

  // Pauses every item that plays (and has not ended), marking it; does
  // nothing when switched off or paused already.
  void PauseAll();
  // Plays the marked items again; does nothing when switched off or not
  // paused.
  void ResumeAll();
  void SetEnabled(bool enabled);
  bool Enabled() const { return m_enabled; }
  bool Paused() const { return m_paused; }

  NovaLibrary& Library() const { return m_library; }
  files::TVrFileManager& Files() const { return m_files; }

  // Appends an item made elsewhere (the kinds of later work; tests).
  TDMediaItem* adopt(std::unique_ptr<TDMediaItem> item);

 protected:
  TMediaManager(NovaLibrary& library, files::TVrFileManager& files, bool has_enabled_flag);

 private:
  NovaLibrary& m_library;
  files::TVrFileManager& m_files;
  const bool m_has_enabled_flag;
  std::vector<std::unique_ptr<TDMediaItem>> m_items;
  bool m_paused = false;
  bool m_enabled = true;
};

class TWmpManager final : public TMediaManager {
 public:
  TWmpManager(NovaLibrary& library, files::TVrFileManager& files) : TMediaManager(library, files, true) {}
  ~TWmpManager() override { Clear(); }
  TWmpItem* Add(std::string_view name);
  void Restore() { Library().novaWmpmanRestore(); }
};

struct SoundSettings {
  bool direct_sound = true;  // game.ini Sound/DirectSound
  int delay_time = 500;      // game.ini Sound/DelayTime, 100..500 ms
};

class TOggManager final : public TMediaManager {
 public:
  // The mixer is made with the manager (closed) and sized by DelayTime.
  TOggManager(NovaLibrary& library, files::TVrFileManager& files, platform::Platform& platform,
              const SoundSettings& settings);
  // The items first, then the mixer.
  ~TOggManager() override;
  // A TOggItem with DirectSound on; else the mixer's device is opened
  // (when it is not yet) and a TOggWaveItem made.
  TCustomOggItem* Add(std::string_view name);
  void Restore() { Library().novaOggmanRestore(); }
  bool DirectSound() const { return m_direct_sound; }
  TWavOut& Mixer() { return *m_mixer; }

 private:
  bool m_direct_sound;
  std::unique_ptr<TWavOut> m_mixer;
};

class TVideoManager final : public TMediaManager {
 public:
  TVideoManager(NovaLibrary& library, files::TVrFileManager& files) : TMediaManager(library, files, false) {}
  ~TVideoManager() override { Clear(); }
  // Movies are not built yet: raises core::Error naming the file.
  TVideoItem* Add(std::string_view name, bool capture);
  // Tells every item its frame was shown.
  void FrameShown();
};

}  // namespace nova::media
