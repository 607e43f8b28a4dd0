#include <cstring>

#include "media/decoders/writers.h"

namespace nova::media::writers {
namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}
void put_tag(std::vector<std::uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

std::vector<std::uint8_t> build(std::uint16_t tag, bool extensible, int channels, int rate, int bits, int block_align,
                                std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> out;
  const std::uint32_t fmt_size = extensible ? 40 : 16;
  put_tag(out, "RIFF");
  put32(out, static_cast<std::uint32_t>(4 + 8 + fmt_size + 8 + data.size() + (data.size() & 1)));
  put_tag(out, "WAVE");
  put_tag(out, "fmt ");
  put32(out, fmt_size);
  put16(out, extensible ? 0xFFFE : tag);
  put16(out, static_cast<std::uint32_t>(channels));
  put32(out, static_cast<std::uint32_t>(rate));
  put32(out, static_cast<std::uint32_t>(rate * block_align));
  put16(out, static_cast<std::uint32_t>(block_align));
  put16(out, static_cast<std::uint32_t>(bits));
  if (extensible) {
    put16(out, 22);
    put16(out, static_cast<std::uint32_t>(bits));
    put32(out, channels == 1 ? 0x4u : channels == 2 ? 0x3u : (1u << channels) - 1);
    put16(out, tag);
    static const std::uint8_t kTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                           0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    out.insert(out.end(), kTail, kTail + 14);
  }
  put_tag(out, "data");
  put32(out, static_cast<std::uint32_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
  if (data.size() & 1) out.push_back(0);
  return out;
}

}  // namespace

std::vector<std::uint8_t> write_wav(const PcmSpec& spec, std::span<const std::int32_t> samples) {
  const int bytes = spec.bits / 8;
  std::vector<std::uint8_t> data;
  data.reserve(samples.size() * static_cast<std::size_t>(bytes));
  for (std::int32_t s : samples) {
    for (int b = 0; b < bytes; ++b) data.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(s) >> (8 * b)));
  }
  return build(1, spec.extensible, spec.channels, spec.rate, spec.bits, bytes * spec.channels, data);
}

std::vector<std::uint8_t> write_wav_float(const PcmSpec& spec, std::span<const double> samples) {
  std::vector<std::uint8_t> data;
  for (double s : samples) {
    std::uint8_t raw[8];
    if (spec.bits == 64) {
      std::memcpy(raw, &s, 8);
      data.insert(data.end(), raw, raw + 8);
    } else {
      const auto f = static_cast<float>(s);
      std::memcpy(raw, &f, 4);
      data.insert(data.end(), raw, raw + 4);
    }
  }
  const int bits = spec.bits == 64 ? 64 : 32;
  return build(3, spec.extensible, spec.channels, spec.rate, bits, bits / 8 * spec.channels, data);
}

std::vector<std::uint8_t> write_wav_raw(std::uint16_t format_tag, int channels, int rate, int bits, int block_align,
                                        std::span<const std::uint8_t> data) {
  return build(format_tag, false, channels, rate, bits, block_align, data);
}

}  // namespace nova::media::writers
