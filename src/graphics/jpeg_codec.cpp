#include "graphics/jpeg_codec.h"

// jpeglib.h needs the definitions of stdio.h before it.
#include <cstdio>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/format.h"

namespace nova::graphics {
namespace {

// libjpeg reports errors by calling back; we leave through longjmp to the
// one frame that called into it, which holds no object with a destructor.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void on_error(j_common_ptr c) {
  auto* e = reinterpret_cast<ErrorManager*>(c->err);
  (*c->err->format_message)(c, e->message);
  std::longjmp(e->jump, 1);
}

// Warnings (level −1) mean damaged data: they end the decoding like errors.
void on_message(j_common_ptr c, int level) {
  if (level < 0) on_error(c);
}

// The error manager libjpeg calls back, leaving through `e.jump`.
jpeg_error_mgr* arm(ErrorManager& e) {
  jpeg_std_error(&e.pub);
  e.pub.error_exit = on_error;
  e.pub.emit_message = on_message;
  return &e.pub;
}

void set_message(ErrorManager& e, const char* text) { std::snprintf(e.message, sizeof e.message, "%s", text); }

struct DecodeTarget {
  std::uint8_t* base;
  std::size_t pitch;
  int width;
  int height;
  int max_side;
  long long max_pixels;
};

// Answers true when the picture was decoded; otherwise the error manager's
// message says why.
bool decode_into(const std::uint8_t* data, std::size_t size, const DecodeTarget& t, ErrorManager& err) {
  jpeg_decompress_struct cinfo;
  cinfo.err = arm(err);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  const long long jw = cinfo.image_width, jh = cinfo.image_height;
  if (jw > t.max_side || jh > t.max_side || jw * jh > t.max_pixels) {
    set_message(err, "the picture is larger than a picture may be");
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  if (cinfo.jpeg_color_space != JCS_GRAYSCALE && cinfo.jpeg_color_space != JCS_YCbCr &&
      cinfo.jpeg_color_space != JCS_RGB) {
    set_message(err, "the colour space has no RGB form");
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  cinfo.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&cinfo);
  const JDIMENSION rows = std::min<JDIMENSION>(cinfo.output_height, static_cast<JDIMENSION>(t.height));
  const bool direct = cinfo.output_width == static_cast<JDIMENSION>(t.width);
  const std::size_t copy =
      static_cast<std::size_t>(std::min<JDIMENSION>(cinfo.output_width, static_cast<JDIMENSION>(t.width))) * 3;
  JSAMPARRAY temp = direct ? nullptr
                           : (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                        cinfo.output_width * 3, 1);
  while (cinfo.output_scanline < rows) {
    std::uint8_t* target = t.base + cinfo.output_scanline * t.pitch;
    JSAMPROW row = direct ? target : temp[0];
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) {
      set_message(err, "the picture data ends early");
      jpeg_destroy_decompress(&cinfo);
      return false;
    }
    if (!direct) std::memcpy(target, temp[0], copy);
  }
  if (rows == cinfo.output_height) {
    jpeg_finish_decompress(&cinfo);
  } else {
    jpeg_abort_decompress(&cinfo);
  }
  jpeg_destroy_decompress(&cinfo);
  return true;
}

struct EncodeTarget {
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
};

bool encode_from(const TDIBSurface& bitmap, int quality, EncodeTarget& out, ErrorManager& err) {
  jpeg_compress_struct cinfo;
  cinfo.err = arm(err);
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &out.buffer, &out.size);
  cinfo.image_width = static_cast<JDIMENSION>(bitmap.Width());
  cinfo.image_height = static_cast<JDIMENSION>(bitmap.Height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  // Colour at full resolution: titles' pictures are drawn art with sharp
  // colour edges, which halved chroma smears.
  for (int i = 0; i < cinfo.num_components; ++i) {
    cinfo.comp_info[i].h_samp_factor = 1;
    cinfo.comp_info[i].v_samp_factor = 1;
  }
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<std::uint8_t*>(bitmap.Row(static_cast<int>(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

void decode_jpeg(std::span<const std::uint8_t> data, TDIBSurface& out, const PictureLimits& limits) {
  if (out.BitCount() != 24) core::throw_error("JPEG data: the target bitmap is not 24 bits");
  if (out.IsEmpty()) return;
  DecodeTarget t{out.Row(0),   out.RowBytes(),  out.Width(),
                 out.Height(), limits.max_side, static_cast<long long>(limits.max_pixels)};
  ErrorManager err{};
  if (!decode_into(data.data(), data.size(), t, err)) {
    core::throw_error(core::format("JPEG data is damaged (%s)", {std::string(err.message)}));
  }
}

void encode_jpeg(const TDIBSurface& bitmap, int quality, files::MemoryBlock& out) {
  if (bitmap.BitCount() != 24 || bitmap.IsEmpty()) core::throw_error("JPEG: only a 24-bit bitmap can be encoded");
  EncodeTarget target;
  ErrorManager err{};
  const bool ok = encode_from(bitmap, std::clamp(quality, 1, 100), target, err);
  if (ok) out.assign({target.buffer, target.size});
  std::free(target.buffer);
  if (!ok) core::throw_error(core::format("JPEG: cannot encode (%s)", {std::string(err.message)}));
}

}  // namespace nova::graphics
