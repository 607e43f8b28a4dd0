// Any bytes to FFmpeg: an error naming the fault, or 44100 Hz stereo frames
// from the first packets.
#include <vector>

#include "core/error.h"
#include "files/stream.h"
#include "media/decoders/pcm_decoder.h"

using namespace nova;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  files::TKvMemoryStream s({data, size});
  try {
    auto d = media::decoders::open_ffmpeg_decoder(s);
    if (d->format().channels != 2 || d->format().rate != 44100) std::abort();
    std::vector<std::int16_t> buf(4096 * 2);
    for (int i = 0; i < 8; ++i) {
      if (d->read(buf.data(), 4096) == 0) break;
    }
    d->seek(0);
    d->read(buf.data(), 1024);
  } catch (const core::Error&) {
  }
  return 0;
}
