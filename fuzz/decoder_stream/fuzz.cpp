// The first byte: bit 0 is the is-Ogg hint, the rest picks where to seek.
// The decoder stream opens or not, never reads past its size, and ends.
#include <mutex>
#include <vector>

#include "files/big_stream.h"
#include "files/range_stream.h"
#include "media/decoder_stream.h"

using namespace nova;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t control = data[0];
  const auto length = static_cast<std::int64_t>(size - 1);
  files::TRangeStream source(std::make_unique<files::TKvBigMemoryStream>(std::span(data + 1, size - 1)), 0, length);
  std::mutex lock;
  media::DecoderStream d(source, (control & 1) != 0, lock);
  if (!d.ok()) {
    if (d.frames() != 0) std::abort();
    return 0;
  }
  const media::WaveFormatEx& f = d.format();
  if (f.block_align == 0 || f.channels < 1 || f.channels > 2) std::abort();
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(f.block_align) * 4096);
  std::int64_t total = 0;
  // At most a few seconds of sound per input, so that the fuzzer keeps its pace.
  for (int i = 0; i < 64; ++i) {
    const std::int64_t n = d.read_frames(buf.data(), 4096);
    if (n < 0 || n > 4096) std::abort();
    if (n == 0) break;
    total += n;
  }
  if (d.frames() > 0 && total > d.frames()) std::abort();
  for (int k = 1; k <= 3; ++k) {
    d.seek_frame(d.frames() * ((control >> k) & 3) / 4);
    if (d.read_bytes(buf.data(), 1000) % f.block_align != 0) std::abort();
  }
  return 0;
}
