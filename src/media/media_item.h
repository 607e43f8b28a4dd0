// The media item: one sound or movie, driven through one fixed set of
// operations by the components (through their managers, which own the
// items). Positions, lengths and repeat positions are milliseconds; volumes
// hundredths of a decibel (0 full, -10000 silent). A query of the base
// class answers 0 or false and a command does nothing.
//
// Main thread only.
#pragma once

#include <cstdint>

namespace nova::media {

class TDMediaItem {
 public:
  virtual ~TDMediaItem() = default;

  virtual bool GetRepeat() { return false; }
  virtual void SetRepeat(bool) {}
  virtual std::int32_t GetRepeatPos() { return 0; }
  virtual void SetRepeatPos(std::int32_t) {}
  virtual std::int32_t GetPan() { return 0; }
  virtual std::int32_t GetVolume() { return 0; }
  virtual void SetPan(std::int32_t) {}
  virtual void SetVolume(std::int32_t) {}
  virtual std::int32_t GetPosition() { return 0; }
  virtual void SetPosition(std::int32_t) {}
  virtual std::int32_t GetLength() { return 0; }
  // Each item's own rule: a one-shot report for the media-player and Ogg
  // items, the level for the wave-mixer item (which also restarts a
  // repeating sound here).
  virtual bool IsEnd() { return false; }
  virtual bool IsPlaying() { return false; }
  virtual bool IsPaused() { return false; }
  // Start, or continue after Pause.
  virtual void Play() {}
  virtual void Pause() {}

  // Whether the sound has ended, as a level and without side effects: for
  // every caller but the sound's own update, which asks IsEnd.
  virtual bool AtEnd() { return false; }

  // The mark PauseAll leaves on an item it paused (and a deferred Play on
  // an item of a switched-off manager), so that ResumeAll plays it.
  virtual bool ResumeMark() const { return false; }
  virtual void SetResumeMark(bool) {}
};

}  // namespace nova::media
