// Ogg Vorbis through libvorbisfile, reading the source stream through
// callbacks. The first link's channels and rate are the sound's; later links
// of a chained file are mapped onto its channels.
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>

#include "core/error.h"
#include "core/sjis.h"
#include "media/decoders/pcm_decoder.h"

namespace nova::media::decoders {
namespace {

[[noreturn]] void broken(const char* why) {
  throw core::Error(core::sjis("サウンドデータが不正です") + " (Vorbis: " + why + ")");
}

std::size_t read_cb(void* ptr, std::size_t size, std::size_t count, void* source) {
  if (size == 0) return 0;
  const auto want = static_cast<std::int64_t>(size * count);
  const std::int64_t got = static_cast<files::Stream*>(source)->Read(ptr, want);
  return got <= 0 ? 0 : static_cast<std::size_t>(got) / size;
}

int seek_cb(void* source, ogg_int64_t offset, int whence) {
  auto* s = static_cast<files::Stream*>(source);
  const files::SeekOrigin origin = whence == SEEK_CUR   ? files::SeekOrigin::Current
                                   : whence == SEEK_END ? files::SeekOrigin::End
                                                        : files::SeekOrigin::Begin;
  s->Seek(offset, origin);
  return 0;
}

long tell_cb(void* source) { return static_cast<long>(static_cast<files::Stream*>(source)->GetPosition()); }

class VorbisDecoder final : public PcmDecoder {
 public:
  explicit VorbisDecoder(files::Stream& source) {
    source.Seek(0, files::SeekOrigin::Begin);
    const ov_callbacks callbacks{read_cb, seek_cb, nullptr, tell_cb};
    if (ov_open_callbacks(&source, &m_file, nullptr, 0, callbacks) != 0) broken("no Vorbis stream");
    m_open = true;
    // A failed check frees the file: the destructor does not run then.
    try {
      check();
    } catch (...) {
      ov_clear(&m_file);
      throw;
    }
  }

  void check() {
    const vorbis_info* info = ov_info(&m_file, 0);
    if (!info || !plausible_format(info->channels, info->rate)) broken("channels or rate out of range");
    m_format = {SampleKind::S16, info->channels, static_cast<int>(info->rate)};
    const ogg_int64_t total = ov_pcm_total(&m_file, -1);
    m_frames = total > 0 ? total : 0;
    // A chained file is left in its last link once its links were counted:
    // start at the first.
    if (ov_pcm_seek(&m_file, 0) != 0) broken("cannot seek to the start");
  }
  ~VorbisDecoder() override {
    if (m_open) ov_clear(&m_file);
  }

  const RawFormat& format() const override { return m_format; }
  std::int64_t frames() const override { return m_frames; }

  std::int64_t read(void* out, std::int64_t frames) override {
    auto* dst = static_cast<std::int16_t*>(out);
    std::int64_t done = 0;
    int holes = 0;
    while (done < frames) {
      float** pcm = nullptr;
      int link = 0;
      const int want = static_cast<int>(std::min<std::int64_t>(frames - done, 4096));
      const long got = ov_read_float(&m_file, &pcm, want, &link);
      if (got == 0) break;
      if (got == OV_HOLE && ++holes < 16) continue;  // a gap in the data: go on after it
      if (got < 0) broken("damaged stream");
      const vorbis_info* info = ov_info(&m_file, link);
      const int link_channels = info ? info->channels : m_format.channels;
      const int channels = m_format.channels;
      for (long i = 0; i < got; ++i) {
        for (int c = 0; c < channels; ++c) {
          const float* src = pcm[std::min(c, link_channels - 1)];
          // The conversion of the library's own 16-bit reader: round to
          // nearest, then clip.
          const long v = std::lrintf(src[i] * 32768.f);
          dst[(done + i) * channels + c] = static_cast<std::int16_t>(std::clamp<long>(v, -32768, 32767));
        }
      }
      done += got;
    }
    return done;
  }

  void seek(std::int64_t frame) override {
    frame = std::clamp<std::int64_t>(frame, 0, m_frames);
    if (ov_pcm_seek(&m_file, frame) != 0) broken("cannot seek");
  }

 private:
  OggVorbis_File m_file{};
  bool m_open = false;
  RawFormat m_format;
  std::int64_t m_frames = 0;
};

}  // namespace

std::unique_ptr<PcmDecoder> open_vorbis_decoder(files::Stream& source) {
  return std::make_unique<VorbisDecoder>(source);
}

}  // namespace nova::media::decoders
