#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <stdexcept>

#include "media/decoders/writers.h"

namespace nova::media::writers {
namespace {

void append_page(std::vector<std::uint8_t>& out, const ogg_page& page) {
  out.insert(out.end(), page.header, page.header + page.header_len);
  out.insert(out.end(), page.body, page.body + page.body_len);
}

}  // namespace

std::vector<std::uint8_t> write_vorbis(int channels, int rate, std::span<const float> samples, float quality,
                                       int serial) {
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, channels, rate, quality) != 0) {
    vorbis_info_clear(&vi);
    throw std::runtime_error("vorbis encoder refuses the format");
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, serial);
  std::vector<std::uint8_t> out;
  ogg_packet header, comment, code;
  vorbis_analysis_headerout(&vd, &vc, &header, &comment, &code);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comment);
  ogg_stream_packetin(&os, &code);
  ogg_page page;
  while (ogg_stream_flush(&os, &page) != 0) append_page(out, page);

  const std::size_t frames = samples.size() / static_cast<std::size_t>(channels);
  std::size_t at = 0;
  bool eos = false;
  while (!eos) {
    const std::size_t n = std::min<std::size_t>(1024, frames - at);
    if (n == 0) {
      vorbis_analysis_wrote(&vd, 0);
    } else {
      float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(n));
      for (std::size_t i = 0; i < n; ++i) {
        for (int c = 0; c < channels; ++c) buffer[c][i] = samples[(at + i) * static_cast<std::size_t>(channels) + c];
      }
      vorbis_analysis_wrote(&vd, static_cast<int>(n));
      at += n;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet op;
      while (vorbis_bitrate_flushpacket(&vd, &op)) {
        ogg_stream_packetin(&os, &op);
        while (ogg_stream_pageout(&os, &page) != 0) {
          append_page(out, page);
          if (ogg_page_eos(&page)) eos = true;
        }
      }
    }
    if (n == 0) {
      while (ogg_stream_flush(&os, &page) != 0) append_page(out, page);
      eos = true;
    }
  }
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

}  // namespace nova::media::writers
