#include <cstring>

#include "core/error.h"
#include "core/sjis.h"
#include "media/decoders/pcm_decoder.h"
#include "media/wav_reader.h"

namespace nova::media::decoders {
namespace {

bool is_mixer_native(const RawFormat& f) {
  return (f.kind == SampleKind::U8 || f.kind == SampleKind::S16) && (f.channels == 1 || f.channels == 2) &&
         (f.rate == 44100 || f.rate == 22050);
}

std::unique_ptr<PcmDecoder> by_content(files::Stream& source, bool is_ogg) {
  std::uint8_t head[12] = {};
  source.Seek(0, files::SeekOrigin::Begin);
  const std::int64_t got = source.Read(head, sizeof head);
  const bool ogg = got >= 4 && std::memcmp(head, "OggS", 4) == 0;
  // The extension only says where to look first; an Ogg file that is not
  // Vorbis (or a misnamed file) still goes to FFmpeg.
  if (ogg || (is_ogg && got < 4)) {
    try {
      return open_vorbis_decoder(source);
    } catch (const core::Error&) {
      if (!ogg) throw;
    }
    return open_ffmpeg_decoder(source);
  }
  if (looks_like_wav({head, static_cast<std::size_t>(got > 0 ? got : 0)})) {
    if (auto wav = open_wav_reader(source)) return wav;
  }
  return open_ffmpeg_decoder(source);
}

}  // namespace

std::unique_ptr<PcmDecoder> open_decoder(files::Stream& source, bool is_ogg) {
  auto d = by_content(source, is_ogg);
  if (is_mixer_native(d->format())) return d;
  return convert_to_output(std::move(d));
}

}  // namespace nova::media::decoders
