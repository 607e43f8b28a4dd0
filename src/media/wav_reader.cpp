#include "media/wav_reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/error.h"
#include "core/sjis.h"

namespace nova::media {
namespace {

using decoders::PcmDecoder;
using decoders::RawFormat;
using decoders::SampleKind;

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kTagExtensible = 0xFFFE;

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

[[noreturn]] void broken(const char* why) {
  throw core::Error(core::sjis("サウンドデータが不正です") + " (WAVE: " + why + ")");
}

class WavReader final : public PcmDecoder {
 public:
  WavReader(files::Stream& source, RawFormat format, int stored_bytes, std::int64_t data_offset, std::int64_t frames)
      : m_source(source),
        m_format(format),
        m_stored_bytes(stored_bytes),
        m_data_offset(data_offset),
        m_frames(frames) {}

  const RawFormat& format() const override { return m_format; }
  std::int64_t frames() const override { return m_frames; }

  std::int64_t read(void* out, std::int64_t frames) override {
    frames = std::min(frames, m_frames - m_position);
    if (frames <= 0) return 0;
    const std::int64_t stored_frame = static_cast<std::int64_t>(m_stored_bytes) * m_format.channels;
    m_source.Seek(m_data_offset + m_position * stored_frame, files::SeekOrigin::Begin);
    std::int64_t got = 0;
    if (m_stored_bytes == 3) {
      // 24-bit samples widen to 32 bits, in the top three bytes.
      m_packed.resize(static_cast<std::size_t>(frames * stored_frame));
      got = m_source.Read(m_packed.data(), frames * stored_frame) / stored_frame;
      auto* dst = static_cast<std::int32_t*>(out);
      const std::size_t samples = static_cast<std::size_t>(got) * static_cast<std::size_t>(m_format.channels);
      for (std::size_t i = 0; i < samples; ++i) {
        const std::uint8_t* p = &m_packed[i * 3];
        dst[i] =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 8 | static_cast<std::uint32_t>(p[1]) << 16 |
                                      static_cast<std::uint32_t>(p[2]) << 24);
      }
    } else {
      // A short read keeps whole frames only; the rest is read again next time.
      got = m_source.Read(out, frames * stored_frame) / stored_frame;
    }
    if (got <= 0) {
      // The data ended before its chunk said: what is there was the sound.
      m_frames = m_position;
      return 0;
    }
    m_position += got;
    return got;
  }

  void seek(std::int64_t frame) override { m_position = std::clamp<std::int64_t>(frame, 0, m_frames); }

 private:
  files::Stream& m_source;
  RawFormat m_format;
  int m_stored_bytes;
  std::int64_t m_data_offset;
  std::int64_t m_frames;
  std::int64_t m_position = 0;
  std::vector<std::uint8_t> m_packed;
};

}  // namespace

bool looks_like_wav(std::span<const std::uint8_t> head) {
  return head.size() >= 12 && std::memcmp(head.data(), "RIFF", 4) == 0 && std::memcmp(head.data() + 8, "WAVE", 4) == 0;
}

std::unique_ptr<decoders::PcmDecoder> open_wav_reader(files::Stream& source) {
  const std::int64_t size = source.GetSize();
  std::uint8_t head[12];
  source.Seek(0, files::SeekOrigin::Begin);
  if (source.Read(head, 12) != 12 || !looks_like_wav(head)) broken("not a RIFF WAVE file");

  std::uint8_t fmt[40] = {};
  std::int64_t fmt_size = -1;
  std::int64_t data_offset = -1;
  std::int64_t data_bytes = 0;
  std::int64_t pos = 12;
  // Every chunk moves on by at least 8 bytes, so this ends with the file.
  while (pos + 8 <= size && (fmt_size < 0 || data_offset < 0)) {
    std::uint8_t chunk[8];
    source.Seek(pos, files::SeekOrigin::Begin);
    if (source.Read(chunk, 8) != 8) break;
    const std::int64_t length = le32(chunk + 4);
    const std::int64_t body = pos + 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0 && fmt_size < 0) {
      fmt_size = std::min<std::int64_t>({length, 40, size - body});
      if (fmt_size < 16 || source.Read(fmt, fmt_size) != fmt_size) broken("short format chunk");
    } else if (std::memcmp(chunk, "data", 4) == 0 && data_offset < 0) {
      data_offset = body;
      data_bytes = std::min(length, size - body);
    }
    pos = body + length + (length & 1);
  }
  if (fmt_size < 0) broken("no format chunk");
  if (data_offset < 0) broken("no data chunk");

  std::uint16_t tag = le16(fmt);
  const int channels = le16(fmt + 2);
  const std::uint32_t rate = le32(fmt + 4);
  const int block_align = le16(fmt + 12);
  const int bits = le16(fmt + 14);
  if (tag == kTagExtensible) {
    static const std::uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                               0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    if (fmt_size < 40 || std::memcmp(fmt + 26, kGuidTail, 14) != 0) return nullptr;
    tag = le16(fmt + 24);
  }
  if (tag != kTagPcm && tag != kTagFloat) return nullptr;
  if (!decoders::plausible_format(channels, static_cast<long>(rate))) broken("channels or rate out of range");

  RawFormat format;
  format.channels = channels;
  format.rate = static_cast<int>(rate);
  int stored = bits / 8;
  if (tag == kTagPcm && bits == 8) {
    format.kind = SampleKind::U8;
  } else if (tag == kTagPcm && bits == 16) {
    format.kind = SampleKind::S16;
  } else if (tag == kTagPcm && (bits == 24 || bits == 32)) {
    format.kind = SampleKind::S32;
  } else if (tag == kTagFloat && bits == 32) {
    format.kind = SampleKind::F32;
  } else if (tag == kTagFloat && bits == 64) {
    format.kind = SampleKind::F64;
  } else {
    broken("unsupported sample size");
  }
  if (block_align != stored * channels) broken("block size does not fit the format");
  return std::make_unique<WavReader>(source, format, stored, data_offset, data_bytes / block_align);
}

}  // namespace nova::media
