// Our reader of RIFF WAVE files with integer PCM (8, 16, 24, 32 bits) or
// float PCM (32, 64 bits), plain or in the extensible form. Other codecs in
// a WAVE file (ADPCM, MP3 ...) are left to FFmpeg.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "media/decoders/pcm_decoder.h"

namespace nova::media {

// True when the bytes begin as a RIFF WAVE file.
bool looks_like_wav(std::span<const std::uint8_t> head);

// A reader of the file, or nullptr when it is a RIFF WAVE file of another
// codec. Raises core::Error when it is not a RIFF WAVE file, or its header
// is broken (no format or data chunk, a format outside 1..8 channels and
// 4..192 kHz, a block size that does not fit the format). A data chunk
// longer than the file is cut to what is there.
std::unique_ptr<decoders::PcmDecoder> open_wav_reader(files::Stream& source);

}  // namespace nova::media
