#include "script/page_file.h"

#include <algorithm>

#include "core/error.h"

namespace nova::script {
namespace {

// The smallest command record: the code byte and the head.
constexpr std::size_t kMinCommandBytes = 1 + 4 + 1 + 1 + 4;

}  // namespace

TPropertyTable TPageFile::property_table() const {
  TPropertyTable table{};
  const std::size_t n = std::min(property_records.size(), static_cast<std::size_t>(kCommandCount));
  for (std::size_t i = 0; i < n; ++i) {
    const std::string& rec = property_records[i];
    auto& bytes = table[i].bytes();
    const std::size_t used = std::min(rec.size(), bytes.size());
    std::copy_n(reinterpret_cast<const std::uint8_t*>(rec.data()), used, bytes.begin());
  }
  return table;
}

void TPageFile::set_property_table(const TPropertyTable& table) {
  record_size = kPropertySetBytes;
  record_count = kCommandCount;
  extra_records.clear();
  property_records.clear();
  for (const TPropertySet& set : table) {
    property_records.emplace_back(reinterpret_cast<const char*>(set.bytes().data()), set.bytes().size());
  }
}

TPageFile TPageFile::parse(std::span<const std::uint8_t> bytes, std::string_view name) {
  core::ByteReader r(bytes);
  r.set_context(std::string(name));
  TPageFile page;
  page.version = r.i32();
  if (page.is_newer()) {
    page.newer_body = r.bytes(r.remaining());
    return page;
  }
  page.return_type = r.u8();
  const std::int32_t n = r.i32();
  page.record_size = r.i32();
  if (n < 0 || page.record_size < 0) r.fail("property-set record count or size out of range");
  if (n > 0 && static_cast<std::uint64_t>(page.record_size) * static_cast<std::uint64_t>(n) > r.remaining()) {
    r.fail("property-set records truncated");
  }
  page.record_count = n;
  const std::int32_t used = std::min(n, static_cast<std::int32_t>(kCommandCount));
  for (std::int32_t i = 0; i < used; ++i)
    page.property_records.push_back(r.bytes(static_cast<std::size_t>(page.record_size)));
  page.extra_records = r.bytes(static_cast<std::size_t>(page.record_size) * static_cast<std::size_t>(n - used));
  const TPropertyTable table = page.property_table();

  const std::int32_t m = r.i32();
  if (m < 0 || static_cast<std::size_t>(m) > r.remaining() / kMinCommandBytes) r.fail("command count out of range");
  page.commands.reserve(static_cast<std::size_t>(m));
  for (std::int32_t i = 0; i < m; ++i) page.commands.push_back(read_command_record(r, page.version, table));
  page.trailing = r.bytes(r.remaining());
  return page;
}

void TPageFile::write(core::ByteWriter& w) const {
  w.i32(version);
  if (is_newer()) {
    w.bytes(newer_body);
    return;
  }
  w.u8(return_type);
  const std::size_t used = std::min<std::size_t>(static_cast<std::size_t>(std::max(record_count, 0)), kCommandCount);
  const std::size_t size = static_cast<std::size_t>(std::max(record_size, 0));
  if (record_count < 0 || record_size < 0 || property_records.size() != used ||
      extra_records.size() != size * (static_cast<std::size_t>(record_count) - used)) {
    core::throw_error("property-set records that do not match their count and size");
  }
  w.i32(record_count);
  w.i32(record_size);
  for (const std::string& rec : property_records) {
    if (rec.size() != size) core::throw_error("property-set record of the wrong size");
    w.bytes(rec);
  }
  w.bytes(extra_records);
  const TPropertyTable table = property_table();
  w.i32(static_cast<std::int32_t>(commands.size()));
  for (const TCommandRecord& c : commands) write_command_record(w, c, version, table);
  w.bytes(trailing);
}

std::vector<std::uint8_t> TPageFile::bytes() const {
  core::ByteWriter w;
  write(w);
  return w.take();
}

TPropertyTable property_table_for(std::span<const TCommandRecord> commands) {
  TPropertyTable table{};
  for (const TCommandRecord& c : commands) {
    for (const TPropertyExpression& p : c.properties) table[static_cast<std::size_t>(c.code())].set(p.id);
  }
  return table;
}

}  // namespace nova::script
