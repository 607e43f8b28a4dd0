#include "text/decoration.h"

namespace nova::text {

namespace {

// Versions of the record layout.
constexpr int kWideBorderVersion = 100;  // border width as int32, shadow fields added

// The smallest record: counts and colors, two flag bytes, a border byte and
// two empty strings.
constexpr std::size_t kMinRecordSize = 4 * 4 + 2 + 1 + 2 * 4;

}  // namespace

std::int32_t TDecorateList::find(const TDecorate& d) const {
  for (std::size_t i = 0; i < m_records.size(); ++i) {
    if (m_records[i].decoration == d) return static_cast<std::int32_t>(i);
  }
  return -1;
}

void TDecorateList::add_ref(std::int32_t index) { ++m_records.at(static_cast<std::size_t>(index)).ref_count; }

void TDecorateList::save(core::ByteWriter& w, int version) const {
  w.i32(size());
  for (const Record& r : m_records) {
    const TDecorate& d = r.decoration;
    w.i32(r.ref_count);
    w.i32(d.color);
    w.i32(d.border_color);
    w.i32(d.size);
    w.u8(d.style);
    w.boolean(d.no_break);
    if (version >= kWideBorderVersion) {
      w.i32(d.border_width);
    } else {
      // Old records only know "bordered or not"; the engine default (-1) and
      // no border both become 0.
      w.boolean(d.border_width > 0);
    }
    w.str(d.font_name);
    w.str(d.ruby);
    if (version >= kWideBorderVersion) {
      w.i32(d.shadow_width);
      w.i32(d.shadow_color);
    }
  }
}

void TDecorateList::load(core::ByteReader& r, int version) {
  const std::int32_t count = r.i32();
  if (count < 0) r.fail("negative decoration count");
  if (static_cast<std::size_t>(count) > r.remaining() / kMinRecordSize) r.fail("decoration count beyond the data");
  m_records.reserve(m_records.size() + static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    Record rec;
    TDecorate& d = rec.decoration;
    rec.ref_count = r.i32();
    d.color = r.i32();
    d.border_color = r.i32();
    d.size = r.i32();
    d.style = r.u8();
    d.no_break = r.boolean();
    d.border_width = version >= kWideBorderVersion ? r.i32() : (r.boolean() ? 1 : 0);
    d.font_name = r.str();
    d.ruby = r.str();
    if (version >= kWideBorderVersion) {
      d.shadow_width = r.i32();
      d.shadow_color = r.i32();
    }
    m_records.push_back(std::move(rec));
  }
}

}  // namespace nova::text
