// Everything the other decoders do not take (Windows Media audio, ADPCM or
// MP3 inside WAVE, other containers) through FFmpeg, delivered as 44100 Hz
// 16-bit stereo.
//
// FFmpeg only ever sees the source stream through our own I/O context: no
// protocols, no nested opens (playlists and references fail), a whitelist of
// demuxers, bounded probing, at most 8 streams and 2 decoding threads.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/error.h"
#include "core/sjis.h"
#include "media/decoders/pcm_decoder.h"

namespace nova::media::decoders {
namespace {

constexpr const char* kDemuxers = "asf,avi,mpeg,mpegts,mov,matroska,ogg,wav,mp3";
constexpr int kIoBuffer = 32768;
constexpr int kMaxStreams = 8;

[[noreturn]] void broken(const char* why) {
  throw core::Error(core::sjis("サウンドデータが不正です") + " (FFmpeg: " + why + ")");
}

int read_cb(void* opaque, std::uint8_t* buf, int size) {
  const std::int64_t got = static_cast<files::Stream*>(opaque)->Read(buf, size);
  return got <= 0 ? AVERROR_EOF : static_cast<int>(got);
}

std::int64_t seek_cb(void* opaque, std::int64_t offset, int whence) {
  auto* s = static_cast<files::Stream*>(opaque);
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return s->GetSize();
    case SEEK_SET: return s->Seek(offset, files::SeekOrigin::Begin);
    case SEEK_CUR: return s->Seek(offset, files::SeekOrigin::Current);
    case SEEK_END: return s->Seek(offset, files::SeekOrigin::End);
    default: return -1;
  }
}

// Refuses every nested open (a playlist's or a reference movie's).
int refuse_open(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

class FfmpegDecoder final : public PcmDecoder {
 public:
  explicit FfmpegDecoder(files::Stream& source) {
    // A failed open frees what it made: the destructor does not run then.
    try {
      open(source);
    } catch (...) {
      release();
      throw;
    }
  }
  ~FfmpegDecoder() override { release(); }

 private:
  void open(files::Stream& source) {
    source.Seek(0, files::SeekOrigin::Begin);
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBuffer));
    if (!buffer) broken("out of memory");
    m_io = avio_alloc_context(buffer, kIoBuffer, 0, &source, read_cb, nullptr, seek_cb);
    if (!m_io) {
      av_free(buffer);
      broken("out of memory");
    }
    m_format_ctx = avformat_alloc_context();
    if (!m_format_ctx) broken("out of memory");
    m_format_ctx->pb = m_io;
    m_format_ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
    m_format_ctx->format_whitelist = av_strdup(kDemuxers);
    m_format_ctx->protocol_whitelist = av_strdup("none");
    m_format_ctx->io_open = refuse_open;
    m_format_ctx->probesize = 1 << 20;
    m_format_ctx->max_analyze_duration = 5 * AV_TIME_BASE;
    m_format_ctx->max_streams = kMaxStreams;
    if (avformat_open_input(&m_format_ctx, nullptr, nullptr, nullptr) < 0) {
      m_format_ctx = nullptr;  // freed by the failed open
      broken("no known format");
    }
    if (m_format_ctx->nb_streams > kMaxStreams) broken("too many streams");
    if (avformat_find_stream_info(m_format_ctx, nullptr) < 0) broken("no stream information");
    const AVCodec* codec = nullptr;
    m_stream = av_find_best_stream(m_format_ctx, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (m_stream < 0 || !codec) broken("no audio stream or no decoder for it");
    AVStream* st = m_format_ctx->streams[m_stream];
    m_codec = avcodec_alloc_context3(codec);
    if (!m_codec || avcodec_parameters_to_context(m_codec, st->codecpar) < 0) broken("decoder parameters");
    m_codec->thread_count = 2;
    if (avcodec_open2(m_codec, codec, nullptr) < 0) broken("decoder does not open");
    if (!plausible_format(m_codec->ch_layout.nb_channels, m_codec->sample_rate)) {
      broken("channels or rate out of range");
    }
    open_resampler();
    m_packet = av_packet_alloc();
    m_frame = av_frame_alloc();
    if (!m_packet || !m_frame) broken("out of memory");
    m_format = {SampleKind::S16, 2, 44100};
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
      m_frames = av_rescale_q(st->duration, st->time_base, AVRational{1, 44100});
    } else if (m_format_ctx->duration != AV_NOPTS_VALUE && m_format_ctx->duration > 0) {
      m_frames = av_rescale(m_format_ctx->duration, 44100, AV_TIME_BASE);
    }
    m_known_length = m_frames > 0;
  }

  void release() {
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    swr_free(&m_swr);
    avcodec_free_context(&m_codec);
    if (m_format_ctx) avformat_close_input(&m_format_ctx);
    if (m_io) {
      av_freep(&m_io->buffer);
      avio_context_free(&m_io);
    }
  }

 public:
  const RawFormat& format() const override { return m_format; }
  std::int64_t frames() const override { return m_frames; }

  std::int64_t read(void* out, std::int64_t frames) override {
    auto* dst = static_cast<std::int16_t*>(out);
    if (m_known_length) frames = std::min(frames, m_frames - m_position);
    std::int64_t done = 0;
    while (done < frames) {
      const std::int64_t pending = static_cast<std::int64_t>(m_pending.size() / 2) - m_pending_at;
      if (pending > 0) {
        const std::int64_t n = std::min(pending, frames - done);
        std::memcpy(dst + done * 2, m_pending.data() + m_pending_at * 2, static_cast<std::size_t>(n) * 4);
        m_pending_at += n;
        done += n;
        continue;
      }
      m_pending.clear();
      m_pending_at = 0;
      if (!decode_more()) break;
    }
    m_position += done;
    return done;
  }

  void seek(std::int64_t frame) override {
    if (m_known_length) frame = std::clamp<std::int64_t>(frame, 0, m_frames);
    AVStream* st = m_format_ctx->streams[m_stream];
    const std::int64_t ts = av_rescale_q(frame, AVRational{1, 44100}, st->time_base);
    if (av_seek_frame(m_format_ctx, m_stream, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
        av_seek_frame(m_format_ctx, -1, 0, AVSEEK_FLAG_BYTE | AVSEEK_FLAG_BACKWARD) < 0) {
      broken("cannot seek");
    }
    avcodec_flush_buffers(m_codec);
    swr_free(&m_swr);
    open_resampler();
    m_pending.clear();
    m_pending_at = 0;
    m_eof = false;
    m_flushed = false;
    // Decode up to the frame itself: what comes before it is dropped.
    m_skip_to = frame;
    m_position = frame;
  }

 private:
  // The resampler from what the decoder says it gives; a frame that comes
  // in another layout, format or rate gets a resampler of its own.
  void open_resampler() { open_resampler(m_codec->ch_layout, m_codec->sample_fmt, m_codec->sample_rate); }
  void open_resampler(const AVChannelLayout& layout, int sample_format, int rate) {
    if (!plausible_format(layout.nb_channels, rate) || sample_format < 0) broken("channels or rate out of range");
    AVChannelLayout in{};
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC) {
      av_channel_layout_default(&in, layout.nb_channels);
    } else if (av_channel_layout_copy(&in, &layout) < 0) {
      broken("channel layout");
    }
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    swr_free(&m_swr);
    const int r = swr_alloc_set_opts2(&m_swr, &stereo, AV_SAMPLE_FMT_S16, 44100, &in,
                                      static_cast<AVSampleFormat>(sample_format), rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    if (r < 0 || swr_init(m_swr) < 0) broken("no conversion to the output format");
    m_in_channels = layout.nb_channels;
    m_in_format = sample_format;
    m_in_rate = rate;
  }

  // Converts one decoded frame (or, with nullptr, what the resampler still
  // holds) into m_pending, dropping what lies before a seek's target.
  void convert(const AVFrame* frame) {
    if (frame && (frame->ch_layout.nb_channels != m_in_channels || frame->format != m_in_format ||
                  frame->sample_rate != m_in_rate)) {
      open_resampler(frame->ch_layout, frame->format, frame->sample_rate);
    }
    if (frame && (!frame->extended_data || !frame->extended_data[0])) return;
    const int in_samples = frame ? frame->nb_samples : 0;
    const int room = swr_get_out_samples(m_swr, in_samples);
    if (room <= 0) return;
    if (room > 44100 * 60) broken("frame too long");
    std::vector<std::int16_t> buf(static_cast<std::size_t>(room) * 2);
    auto* out = reinterpret_cast<std::uint8_t*>(buf.data());
    const int got = swr_convert(m_swr, &out, room,
                                frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr, in_samples);
    if (got < 0) broken("conversion failed");
    std::int64_t start = 0;
    if (m_skip_to >= 0) {
      std::int64_t at = m_decoded_at;
      if (frame && frame->best_effort_timestamp != AV_NOPTS_VALUE) {
        at = av_rescale_q(frame->best_effort_timestamp, m_format_ctx->streams[m_stream]->time_base,
                          AVRational{1, 44100});
      }
      start = std::clamp<std::int64_t>(m_skip_to - at, 0, got);
      if (start < got) m_skip_to = -1;
      m_decoded_at = at + got;
    }
    m_pending.insert(m_pending.end(), buf.begin() + start * 2, buf.begin() + got * 2);
  }

  // Decodes until something is pending; false at the end.
  bool decode_more() {
    while (m_pending.empty()) {
      const int r = avcodec_receive_frame(m_codec, m_frame);
      if (r == 0) {
        convert(m_frame);
        av_frame_unref(m_frame);
        continue;
      }
      if (r == AVERROR_EOF) {
        if (m_flushed) return false;
        m_flushed = true;
        convert(nullptr);
        return !m_pending.empty();
      }
      if (r != AVERROR(EAGAIN)) broken("decoding failed");
      if (m_eof) return false;
      const int rr = av_read_frame(m_format_ctx, m_packet);
      if (rr < 0) {
        m_eof = true;
        avcodec_send_packet(m_codec, nullptr);
        continue;
      }
      if (m_packet->stream_index == m_stream) {
        const int s = avcodec_send_packet(m_codec, m_packet);
        if (s < 0 && s != AVERROR(EAGAIN)) {
          av_packet_unref(m_packet);
          broken("damaged packet");
        }
      }
      av_packet_unref(m_packet);
    }
    return true;
  }

  AVIOContext* m_io = nullptr;
  AVFormatContext* m_format_ctx = nullptr;
  AVCodecContext* m_codec = nullptr;
  SwrContext* m_swr = nullptr;
  AVPacket* m_packet = nullptr;
  AVFrame* m_frame = nullptr;
  int m_stream = -1;
  int m_in_channels = 0;
  int m_in_format = -1;
  int m_in_rate = 0;
  RawFormat m_format;
  std::int64_t m_frames = 0;
  bool m_known_length = false;
  std::int64_t m_position = 0;
  std::vector<std::int16_t> m_pending;
  std::int64_t m_pending_at = 0;
  bool m_eof = false;
  bool m_flushed = false;
  std::int64_t m_skip_to = -1;
  std::int64_t m_decoded_at = 0;
};

// A decoder of another format delivered as 44100 Hz 16-bit stereo.
class Converter final : public PcmDecoder {
 public:
  explicit Converter(std::unique_ptr<PcmDecoder> inner) : m_inner(std::move(inner)) {
    const RawFormat& f = m_inner->format();
    m_format = {SampleKind::S16, 2, 44100};
    m_frames = av_rescale_rnd(m_inner->frames(), 44100, f.rate, AV_ROUND_UP);
    try {
      open();
    } catch (...) {
      swr_free(&m_swr);
      throw;
    }
  }
  ~Converter() override { swr_free(&m_swr); }

  const RawFormat& format() const override { return m_format; }
  std::int64_t frames() const override { return m_frames; }

  std::int64_t read(void* out, std::int64_t frames) override {
    frames = std::min(frames, m_frames - m_position);
    auto* dst = static_cast<std::uint8_t*>(out);
    std::int64_t done = 0;
    const RawFormat& f = m_inner->format();
    while (done < frames) {
      std::uint8_t* o = dst + done * 4;
      const int want = static_cast<int>(std::min<std::int64_t>(frames - done, 4096));
      // What the resampler holds comes first; an input of no samples (but
      // not a null one, which would end the input) only takes it out.
      const std::uint8_t* none = m_in.data();
      int got = swr_convert(m_swr, &o, want, &none, 0);
      if (got == 0 && m_inner_done) {
        got = swr_convert(m_swr, &o, want, nullptr, 0);
        if (got == 0) break;
      } else if (got == 0) {
        const int in_frames = 1024;
        m_in.resize(static_cast<std::size_t>(in_frames) * static_cast<std::size_t>(f.frame_bytes()));
        const std::int64_t n = m_inner->read(m_in.data(), in_frames);
        if (n <= 0) {
          m_inner_done = true;
          continue;
        }
        const std::uint8_t* in = m_in.data();
        got = swr_convert(m_swr, &o, want, &in, static_cast<int>(n));
      }
      if (got < 0) throw core::Error(core::sjis("サウンドデータが不正です"));
      done += got;
    }
    m_position += done;
    return done;
  }

  void seek(std::int64_t frame) override {
    frame = std::clamp<std::int64_t>(frame, 0, m_frames);
    m_inner->seek(av_rescale(frame, m_inner->format().rate, 44100));
    swr_free(&m_swr);
    open();
    m_inner_done = false;
    m_position = frame;
  }

 private:
  void open() {
    const RawFormat& f = m_inner->format();
    AVSampleFormat in_fmt = AV_SAMPLE_FMT_S16;
    switch (f.kind) {
      case SampleKind::U8: in_fmt = AV_SAMPLE_FMT_U8; break;
      case SampleKind::S16: in_fmt = AV_SAMPLE_FMT_S16; break;
      case SampleKind::S32: in_fmt = AV_SAMPLE_FMT_S32; break;
      case SampleKind::F32: in_fmt = AV_SAMPLE_FMT_FLT; break;
      case SampleKind::F64: in_fmt = AV_SAMPLE_FMT_DBL; break;
    }
    AVChannelLayout in{};
    av_channel_layout_default(&in, f.channels);
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    const int r = swr_alloc_set_opts2(&m_swr, &stereo, AV_SAMPLE_FMT_S16, 44100, &in, in_fmt, f.rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    if (r < 0 || swr_init(m_swr) < 0) throw core::Error(core::sjis("サウンドデータが不正です"));
  }

  std::unique_ptr<PcmDecoder> m_inner;
  SwrContext* m_swr = nullptr;
  RawFormat m_format;
  std::int64_t m_frames = 0;
  std::int64_t m_position = 0;
  bool m_inner_done = false;
  std::vector<std::uint8_t> m_in = std::vector<std::uint8_t>(16);
};

}  // namespace

std::unique_ptr<PcmDecoder> open_ffmpeg_decoder(files::Stream& source) {
  return std::make_unique<FfmpegDecoder>(source);
}

std::unique_ptr<PcmDecoder> convert_to_output(std::unique_ptr<PcmDecoder> inner) {
  return std::make_unique<Converter>(std::move(inner));
}

}  // namespace nova::media::decoders
