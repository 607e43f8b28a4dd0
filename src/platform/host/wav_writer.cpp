#include "platform/wav_writer.h"

#include <cstring>

namespace nova::platform {
namespace {

void put_u32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put_u16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

WavWriter::WavWriter(const std::filesystem::path& path, int sample_rate, int channels)
    : m_rate(sample_rate), m_channels(channels) {
  m_file = std::fopen(path.c_str(), "wb");
  if (!m_file) return;
  std::uint8_t header[44] = {};
  std::fwrite(header, 1, sizeof header, m_file);
}

WavWriter::~WavWriter() { close(); }

void WavWriter::write(std::span<const std::int16_t> samples) {
  if (!m_file) return;
  // WAV is little-endian, as is every machine we build for; write byte by
  // byte anyway so the file is right everywhere.
  std::uint8_t buffer[4096];
  std::size_t n = 0;
  for (std::int16_t s : samples) {
    put_u16(buffer + n, static_cast<std::uint16_t>(s));
    n += 2;
    if (n == sizeof buffer) {
      std::fwrite(buffer, 1, n, m_file);
      n = 0;
    }
  }
  if (n) std::fwrite(buffer, 1, n, m_file);
  m_data_bytes += static_cast<std::uint32_t>(samples.size() * 2);
}

void WavWriter::close() {
  if (!m_file) return;
  std::uint8_t h[44];
  std::memcpy(h, "RIFF", 4);
  put_u32(h + 4, 36 + m_data_bytes);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put_u32(h + 16, 16);
  put_u16(h + 20, 1);
  put_u16(h + 22, static_cast<std::uint16_t>(m_channels));
  put_u32(h + 24, static_cast<std::uint32_t>(m_rate));
  put_u32(h + 28, static_cast<std::uint32_t>(m_rate * m_channels * 2));
  put_u16(h + 32, static_cast<std::uint16_t>(m_channels * 2));
  put_u16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  put_u32(h + 40, m_data_bytes);
  std::fseek(m_file, 0, SEEK_SET);
  std::fwrite(h, 1, sizeof h, m_file);
  std::fclose(m_file);
  m_file = nullptr;
}

}  // namespace nova::platform
