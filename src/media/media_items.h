// The sound items: TWmpItem (Windows Media sound), and the two Ogg/WAV
// items, TOggItem (played by the media library) and TOggWaveItem (played by
// the wave mixer), chosen by the Ogg manager from game.ini's DirectSound.
//
// Every item opens its file through the virtual file manager (a range
// stream it owns) and belongs to its manager. A Play while the manager is
// switched off only sets the resume mark, so the item starts when media
// comes back; a Pause clears the mark.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "files/range_stream.h"
#include "media/media_item.h"
#include "media/ogg_stream.h"
#include "media/wav_out.h"

namespace nova::media {

class TMediaManager;
class TOggManager;
class TWmpManager;

// The resume mark and the manager's switch, shared by the sound items.
class TMarkedItem : public TDMediaItem {
 public:
  bool ResumeMark() const override { return m_resume_mark; }
  void SetResumeMark(bool on) override { m_resume_mark = on; }

 protected:
  explicit TMarkedItem(TMediaManager& manager) : m_manager(manager) {}
  // False when the manager is switched off: the play is deferred.
  bool may_play();
  TMediaManager& m_manager;
  bool m_resume_mark = false;
};

class TWmpItem final : public TMarkedItem {
 public:
  // Raises "%s:ファイルがありません" for a missing file. A file that does
  // not decode still gives an item: length 0, ended at the first query.
  TWmpItem(TWmpManager& manager, std::string_view name);
  ~TWmpItem() override;

  bool GetRepeat() override;
  void SetRepeat(bool on) override;
  std::int32_t GetPan() override;
  std::int32_t GetVolume() override;
  void SetPan(std::int32_t p) override;
  void SetVolume(std::int32_t v) override;
  std::int32_t GetPosition() override;
  // Also lets the item report its end once more.
  void SetPosition(std::int32_t ms) override;
  std::int32_t GetLength() override;
  // True once per end.
  bool IsEnd() override;
  bool IsPlaying() override;
  bool IsPaused() override;
  void Play() override;
  void Pause() override;
  bool AtEnd() override;

 private:
  NovaLibrary& m_library;
  std::unique_ptr<files::TRangeStream> m_source;
  std::int32_t m_handle = 0;
  bool m_end_reported = false;
};

// The base of the two Ogg/WAV items.
class TCustomOggItem : public TMarkedItem {
 protected:
  explicit TCustomOggItem(TOggManager& manager);
};

class TOggItem final : public TCustomOggItem {
 public:
  TOggItem(TOggManager& manager, std::string_view name);
  ~TOggItem() override;

  bool GetRepeat() override;
  void SetRepeat(bool on) override;
  std::int32_t GetRepeatPos() override;
  void SetRepeatPos(std::int32_t ms) override;
  std::int32_t GetPan() override;
  std::int32_t GetVolume() override;
  void SetPan(std::int32_t p) override;
  void SetVolume(std::int32_t v) override;
  std::int32_t GetPosition() override;
  // Does not let the item report its end again: a replayed sound reports
  // no second end.
  void SetPosition(std::int32_t ms) override;
  std::int32_t GetLength() override;
  // True once per item.
  bool IsEnd() override;
  bool IsPlaying() override;
  bool IsPaused() override;
  void Play() override;
  void Pause() override;
  bool AtEnd() override;

 private:
  NovaLibrary& m_library;
  std::int32_t m_handle = 0;
  bool m_end_reported = false;
  std::unique_ptr<files::TRangeStream> m_source;
};

class TOggWaveItem final : public TCustomOggItem {
 public:
  // Raises "サウンドデータが不正です" when the file does not decode (the
  // decoder and the source are released first).
  TOggWaveItem(TOggManager& manager, std::string_view name);
  ~TOggWaveItem() override;

  bool GetRepeat() override;
  void SetRepeat(bool on) override;
  std::int32_t GetRepeatPos() override;
  void SetRepeatPos(std::int32_t ms) override;
  std::int32_t GetVolume() override { return m_volume; }
  // Clamped to -10000..0: the mixer's volume never amplifies.
  void SetVolume(std::int32_t v) override;
  std::int32_t GetPosition() override;
  void SetPosition(std::int32_t ms) override;
  std::int32_t GetLength() override;
  // The level; a repeating sound that drained is started again here.
  bool IsEnd() override;
  bool IsPlaying() override;
  bool IsPaused() override { return m_paused; }
  void Play() override;
  void Pause() override;
  bool AtEnd() override;

  TWavBuffer* Buffer() const { return m_buffer; }

 private:
  // Bits per second of the decoder's format.
  std::int64_t bits_per_second() const;
  std::int64_t ms_to_bytes(std::int64_t ms) const;
  std::int32_t bytes_to_ms(std::int64_t bytes) const;

  TWavOut& m_mixer;
  std::unique_ptr<files::TRangeStream> m_source;
  std::unique_ptr<TOggStream> m_stream;
  bool m_paused = false;
  TWavBuffer* m_buffer = nullptr;  // the mixer's
  std::int32_t m_volume = 0;
};

}  // namespace nova::media
