#include "files/codec.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <limits>

#include "core/error.h"
#include "core/format.h"

namespace nova::files {
namespace {

[[noreturn]] void fail_damaged(std::string_view why) {
  throw core::Error(core::format("compressed data is damaged (%s)", {why}));
}

[[noreturn]] void fail_too_large(std::size_t max_size) {
  throw core::Error(
      core::format("compressed data inflates to more than %u bytes", {static_cast<unsigned long long>(max_size)}));
}

// A zlib inflate stream, ended when it goes.
class ZlibInflate {
 public:
  ZlibInflate() {
    if (inflateInit(&m_z) != Z_OK) core::throw_error("zlib: cannot start inflating");
  }
  ~ZlibInflate() { inflateEnd(&m_z); }
  ZlibInflate(const ZlibInflate&) = delete;
  ZlibInflate& operator=(const ZlibInflate&) = delete;
  z_stream& get() { return m_z; }

 private:
  z_stream m_z{};
};

// Runs one zlib call on the next slices of input and output (zlib counts in
// 32-bit units) and advances the counts; `call` gets whether the slice
// holds the last of the input.
template <typename Call>
int zlib_step(z_stream& z, std::span<const std::uint8_t> in, std::size_t& consumed, MemoryBlock& out,
              std::size_t& produced, Call call) {
  constexpr std::size_t kSlice = 1u << 30;
  z.next_in = const_cast<Bytef*>(in.data() + consumed);
  z.avail_in = static_cast<uInt>(std::min(in.size() - consumed, kSlice));
  z.next_out = out.data() + produced;
  z.avail_out = static_cast<uInt>(std::min(out.size() - produced, kSlice));
  const uInt in_before = z.avail_in;
  const uInt out_before = z.avail_out;
  int r = call(consumed + z.avail_in == in.size());
  consumed += in_before - z.avail_in;
  produced += out_before - z.avail_out;
  return r;
}

}  // namespace

Inflater::Inflater(InflateBackend backend) : m_backend(backend) {
  if (m_backend == InflateBackend::Libdeflate) {
    m_decompressor = libdeflate_alloc_decompressor();
    if (!m_decompressor) m_backend = InflateBackend::Zlib;
  }
}

Inflater::~Inflater() {
  if (m_decompressor) libdeflate_free_decompressor(m_decompressor);
}

void Inflater::Inflate(std::span<const std::uint8_t> in, MemoryBlock& out, std::size_t max_size) {
  if (m_backend == InflateBackend::Zlib) {
    InflateWithZlib(in, out, max_size);
    return;
  }
  // The guess: the largest ratio seen so far, plus some room.
  std::size_t guess = in.size() > max_size / m_ratio ? max_size : in.size() * m_ratio + 4096;
  guess = std::min(std::max<std::size_t>(guess, 16384), max_size);
  while (true) {
    out.resize_uninitialized(guess);
    std::size_t got = 0;
    std::size_t used = 0;
    libdeflate_result r =
        libdeflate_zlib_decompress_ex(m_decompressor, in.data(), in.size(), out.data(), out.size(), &used, &got);
    if (r == LIBDEFLATE_SUCCESS) {
      out.resize_uninitialized(got);
      // Capped, so that one extreme entry does not make every later guess huge.
      if (used > 0) m_ratio = std::min<std::size_t>(std::max(m_ratio, got / used + 1), 16);
      return;
    }
    if (r != LIBDEFLATE_INSUFFICIENT_SPACE) break;
    if (guess >= max_size) fail_too_large(max_size);
    guess = guess > max_size / 2 ? max_size : guess * 2;
  }
  // Let the reference decide what damaged data means.
  InflateWithZlib(in, out, max_size);
}

void Inflater::InflateWithZlib(std::span<const std::uint8_t> in, MemoryBlock& out, std::size_t max_size) {
  ZlibInflate stream;
  z_stream& z = stream.get();

  out.resize_uninitialized(std::min<std::size_t>(std::max<std::size_t>(in.size() * 4, 16384), max_size));
  std::size_t produced = 0;
  std::size_t consumed = 0;
  while (true) {
    if (produced == out.size()) {
      if (out.size() >= max_size) fail_too_large(max_size);
      out.resize_uninitialized(out.size() > max_size / 2 ? max_size : out.size() * 2);
    }
    int r = zlib_step(z, in, consumed, out, produced, [&](bool) { return inflate(&z, Z_NO_FLUSH); });
    if (r == Z_STREAM_END) break;
    if (r == Z_NEED_DICT) fail_damaged("needs a preset dictionary");
    if (r == Z_DATA_ERROR) fail_damaged(z.msg ? z.msg : "bad data");
    if (r == Z_MEM_ERROR) core::throw_error("zlib: out of memory");
    // Z_OK or Z_BUF_ERROR: no progress is possible once the input is used up
    // while output room remains.
    if (consumed == in.size() && produced < out.size()) fail_damaged("the stream is truncated");
  }
  out.resize_uninitialized(produced);
}

std::size_t Inflater::InflateInto(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  if (m_backend == InflateBackend::Libdeflate) {
    std::size_t got = 0;
    std::size_t used = 0;
    libdeflate_result r =
        libdeflate_zlib_decompress_ex(m_decompressor, in.data(), in.size(), out.data(), out.size(), &used, &got);
    if (r == LIBDEFLATE_SUCCESS) return got;
    if (r == LIBDEFLATE_INSUFFICIENT_SPACE) fail_too_large(out.size());
  }
  return InflateIntoWithZlib(in, out);
}

std::size_t Inflater::InflateIntoWithZlib(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  ZlibInflate stream;
  z_stream& z = stream.get();
  constexpr std::size_t kSlice = 1u << 30;
  std::size_t consumed = 0;
  std::size_t produced = 0;
  // One byte of room beyond the limit tells a stream that fits exactly from
  // one that goes on.
  std::uint8_t beyond = 0;
  while (true) {
    const bool past = produced == out.size();
    z.next_in = const_cast<Bytef*>(in.data() + consumed);
    z.avail_in = static_cast<uInt>(std::min(in.size() - consumed, kSlice));
    z.next_out = past ? &beyond : out.data() + produced;
    z.avail_out = past ? 1u : static_cast<uInt>(std::min(out.size() - produced, kSlice));
    const uInt in_before = z.avail_in;
    const uInt out_before = z.avail_out;
    int r = inflate(&z, Z_NO_FLUSH);
    consumed += in_before - z.avail_in;
    const std::size_t made = out_before - z.avail_out;
    if (past && made > 0) fail_too_large(out.size());
    produced += made;
    if (r == Z_STREAM_END) return produced;
    if (r == Z_NEED_DICT) fail_damaged("needs a preset dictionary");
    if (r == Z_DATA_ERROR) fail_damaged(z.msg ? z.msg : "bad data");
    if (r == Z_MEM_ERROR) core::throw_error("zlib: out of memory");
    if (consumed == in.size() && made == 0) fail_damaged("the stream is truncated");
  }
}

void DeflateLevel1(std::span<const std::uint8_t> in, MemoryBlock& out) {
  z_stream z{};
  if (deflateInit(&z, 1) != Z_OK) core::throw_error("zlib: cannot start compressing");
  struct End {
    z_stream& z;
    ~End() { deflateEnd(&z); }
  } end{z};
  out.resize_uninitialized(deflateBound(&z, static_cast<uLong>(std::min<std::size_t>(in.size(), 0xFFFFFFFFu))) +
                           (in.size() >> 10) + 64);
  std::size_t consumed = 0;
  std::size_t produced = 0;
  while (true) {
    if (produced == out.size()) out.resize_uninitialized(out.size() * 2);
    int r =
        zlib_step(z, in, consumed, out, produced, [&](bool last) { return deflate(&z, last ? Z_FINISH : Z_NO_FLUSH); });
    if (r == Z_STREAM_END) break;
    if (r != Z_OK && r != Z_BUF_ERROR) core::throw_error("zlib: compressing failed");
  }
  out.resize_uninitialized(produced);
}

std::uint32_t Crc32(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
  return libdeflate_crc32(crc, bytes.data(), bytes.size());
}

}  // namespace nova::files
