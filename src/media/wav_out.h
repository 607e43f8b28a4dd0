// The wave mixer: when DirectSound is off, Ogg and WAV sounds are mixed here
// in software, one block of DelayTime milliseconds at a time, and queued on
// the platform's block device. A periodic timer at a quarter of DelayTime
// pumps: it reclaims the blocks the device played and keeps at most two
// queued, so the latency is one to two blocks.
//
// Owned by the Ogg manager, with one TWavBuffer per playing sound. The main
// thread works on buffers, the timer's thread pumps; both take the mixer's
// lock, which comes before the media library's locks (a fill reads the
// decoder stream while holding it).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "files/stream.h"
#include "media/wave_format.h"
#include "platform/platform.h"

namespace nova::media {

class TWavOut;

// One sound of the mixer, reading PCM bytes from its stream.
class TWavBuffer {
 public:
  TWavBuffer(TWavOut& mixer, const WaveFormatEx& format, files::Stream* stream);
  TWavBuffer(const TWavBuffer&) = delete;
  TWavBuffer& operator=(const TWavBuffer&) = delete;

  // Every operation takes the mixer's lock.
  void Play();
  void Pause();
  // Bytes; aligned down to whole frames.
  void SetReadPosition(std::int64_t bytes);
  std::int64_t ReadPosition() const;
  // 0..256; 256 leaves the samples unchanged.
  void SetVolume(int volume);
  int Volume() const;
  // Ended, and more than 2 × DelayTime + 10 ms since the last fill.
  bool Drained() const;
  // The estimated position of what is heard, in bytes of the source.
  std::int64_t GetPosition() const;
  bool Loop() const;
  void SetLoop(bool on);
  std::int64_t RepeatPosition() const;
  // Bytes; aligned down to whole frames.
  void SetRepeatPosition(std::int64_t bytes);
  bool Started() const;
  bool Paused() const;
  bool Finished() const;
  const WaveFormatEx& Format() const { return m_format; }

 private:
  friend class TWavOut;

  TWavOut& m_mixer;
  WaveFormatEx m_format;
  files::Stream* m_stream;  // not owned
  std::vector<std::uint8_t> m_scratch;
  bool m_finished = false;
  std::uint32_t m_last_fill = 0;
  std::int64_t m_read_position = 0;
  int m_volume = 256;
  bool m_started = false;
  bool m_paused = false;
  bool m_loop = false;
  std::int64_t m_repeat_position = 0;
};

class TWavOut {
 public:
  // `delay_time` (ms, 100..500) is the length of one block. The platform
  // gives the block device, the timer and the clock, and must outlive the
  // mixer. The device stays closed.
  TWavOut(platform::Platform& platform, int delay_time);
  // Free: CloseDevice, then the buffers and blocks.
  ~TWavOut();
  TWavOut(const TWavOut&) = delete;
  TWavOut& operator=(const TWavOut&) = delete;

  // False when open already or when the device cannot be opened; else
  // starts the output timer.
  bool OpenDevice();
  // Stops and joins the timer first, then under the lock resets the device,
  // frees every buffer and waits for the queued blocks (at most 2 s,
  // logged), and closes the device.
  void CloseDevice();
  bool DeviceOpen() const;

  TWavBuffer* AddBuffer(const WaveFormatEx& format, files::Stream* stream);
  // Frees the buffer; its stream is no longer read once this returns.
  void RemoveBuffer(TWavBuffer* buffer);
  int BufferCount() const;

  int DelayTime() const { return m_delay_time; }
  int BlockSize() const { return m_block_size; }
  std::uint32_t Now() const { return m_platform.clock().ticks_ms(); }

  // One run of the output timer (public for tests that step it by hand).
  void Pump();
  // Mixes every started buffer into `block` (BlockSize bytes); false when
  // none produced anything.
  bool Mix(std::uint8_t* block);
  // Blocks handed to the device and not yet reclaimed.
  int QueuedBlocks() const;
  int PoolSize() const;

 private:
  friend class TWavBuffer;
  struct PoolEntry {
    std::shared_ptr<platform::WaveBlock> block;
    bool in_use = false;
  };

  bool FillAndAdd(TWavBuffer& b, std::uint8_t* block);
  std::int64_t Fill(TWavBuffer& b, std::int64_t count, bool& ended);
  void Reclaim();
  std::size_t TakeBlock();
  void FreeBlock(std::size_t entry);

  platform::Platform& m_platform;
  const WaveFormatEx m_format = kOutputFormat;
  const int m_delay_time;
  const int m_block_size;
  std::unique_ptr<platform::WaveOut> m_device;
  std::vector<std::unique_ptr<TWavBuffer>> m_buffers;
  std::vector<TWavBuffer*> m_active;
  std::vector<std::size_t> m_queued;  // pool entries handed to the device, oldest first
  std::vector<PoolEntry> m_pool;
  mutable std::mutex m_lock;
  std::unique_ptr<platform::PeriodicTimer> m_thread;
};

}  // namespace nova::media
