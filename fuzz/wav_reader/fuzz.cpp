// WAVE files from outside: refused with core::Error, left to FFmpeg, or read
// to their end in whole frames, with a seek.
#include <vector>

#include "core/error.h"
#include "files/stream.h"
#include "media/wav_reader.h"

using namespace nova;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  files::TKvMemoryStream s({data, size});
  std::unique_ptr<media::decoders::PcmDecoder> r;
  try {
    r = media::open_wav_reader(s);
  } catch (const core::Error&) {
    return 0;
  }
  if (!r) return 0;
  const auto frame = static_cast<std::size_t>(r->format().frame_bytes());
  if (frame == 0 || r->frames() < 0) std::abort();
  std::vector<std::uint8_t> buf(frame * 1024);
  std::int64_t total = 0;
  while (const std::int64_t n = r->read(buf.data(), 1024)) {
    if (n < 0 || n > 1024) std::abort();
    total += n;
  }
  if (total > r->frames()) std::abort();
  r->seek(total / 2);
  r->read(buf.data(), 1024);
  return 0;
}
