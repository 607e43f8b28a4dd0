extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "media/decoders/writers.h"

namespace nova::media::writers {
namespace {

struct Memory {
  std::vector<std::uint8_t> bytes;
  std::int64_t position = 0;
};

int write_cb(void* opaque, std::uint8_t* buf, int size) {
  auto* m = static_cast<Memory*>(opaque);
  const auto end = static_cast<std::size_t>(m->position) + static_cast<std::size_t>(size);
  if (m->bytes.size() < end) m->bytes.resize(end);
  std::memcpy(m->bytes.data() + m->position, buf, static_cast<std::size_t>(size));
  m->position += size;
  return size;
}

std::int64_t seek_cb(void* opaque, std::int64_t offset, int whence) {
  auto* m = static_cast<Memory*>(opaque);
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return static_cast<std::int64_t>(m->bytes.size());
    case SEEK_SET: m->position = offset; break;
    case SEEK_CUR: m->position += offset; break;
    case SEEK_END: m->position = static_cast<std::int64_t>(m->bytes.size()) + offset; break;
    default: return -1;
  }
  return m->position;
}

void check(int r, const char* what) {
  if (r < 0) throw std::runtime_error(std::string("wma writer: ") + what);
}

}  // namespace

std::vector<std::uint8_t> write_wma(int channels, int rate, std::span<const float> samples, int bit_rate) {
  Memory memory;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
  if (!codec) throw std::runtime_error("wma writer: no wmav2 encoder");
  AVFormatContext* oc = nullptr;
  check(avformat_alloc_output_context2(&oc, nullptr, "asf", nullptr), "no ASF muxer");
  auto* io_buffer = static_cast<std::uint8_t*>(av_malloc(32768));
  AVIOContext* io = avio_alloc_context(io_buffer, 32768, 1, &memory, nullptr, write_cb, seek_cb);
  oc->pb = io;
  oc->flags |= AVFMT_FLAG_CUSTOM_IO;
  AVStream* st = avformat_new_stream(oc, nullptr);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
  ctx->sample_rate = rate;
  av_channel_layout_default(&ctx->ch_layout, channels);
  ctx->bit_rate = bit_rate;
  ctx->time_base = AVRational{1, rate};
  if (oc->oformat->flags & AVFMT_GLOBALHEADER) ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  check(avcodec_open2(ctx, codec, nullptr), "encoder does not open");
  check(avcodec_parameters_from_context(st->codecpar, ctx), "parameters");
  st->time_base = ctx->time_base;
  check(avformat_write_header(oc, nullptr), "header");

  AVFrame* frame = av_frame_alloc();
  AVPacket* pkt = av_packet_alloc();
  const int frame_size = ctx->frame_size > 0 ? ctx->frame_size : 1024;
  const std::size_t total = samples.size() / static_cast<std::size_t>(channels);
  std::int64_t pts = 0;
  auto drain = [&] {
    while (avcodec_receive_packet(ctx, pkt) == 0) {
      av_packet_rescale_ts(pkt, ctx->time_base, st->time_base);
      pkt->stream_index = st->index;
      check(av_interleaved_write_frame(oc, pkt), "write");
    }
  };
  for (std::size_t at = 0; at < total; at += static_cast<std::size_t>(frame_size)) {
    frame->nb_samples = frame_size;
    frame->format = ctx->sample_fmt;
    check(av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout), "layout");
    frame->sample_rate = rate;
    check(av_frame_get_buffer(frame, 0), "frame");
    for (int c = 0; c < channels; ++c) {
      auto* plane = reinterpret_cast<float*>(frame->extended_data[c]);
      for (int i = 0; i < frame_size; ++i) {
        const std::size_t f = at + static_cast<std::size_t>(i);
        plane[i] = f < total ? samples[f * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] : 0.f;
      }
    }
    frame->pts = pts;
    pts += frame_size;
    check(avcodec_send_frame(ctx, frame), "encode");
    av_frame_unref(frame);
    drain();
  }
  check(avcodec_send_frame(ctx, nullptr), "flush");
  drain();
  check(av_write_trailer(oc), "trailer");
  av_packet_free(&pkt);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
  avio_flush(io);
  av_freep(&io->buffer);
  avio_context_free(&io);
  avformat_free_context(oc);
  return memory.bytes;
}

}  // namespace nova::media::writers
