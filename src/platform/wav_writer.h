// Writes 16-bit PCM WAV files as samples arrive; the header's sizes are
// filled in when the writer is closed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>

namespace nova::platform {

class WavWriter {
 public:
  WavWriter(const std::filesystem::path& path, int sample_rate, int channels);
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  bool ok() const { return m_file != nullptr; }
  void write(std::span<const std::int16_t> samples);
  void close();

 private:
  std::FILE* m_file = nullptr;
  std::uint32_t m_data_bytes = 0;
  int m_rate;
  int m_channels;
};

}  // namespace nova::platform
