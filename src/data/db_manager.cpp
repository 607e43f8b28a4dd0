#include "data/db_manager.h"

#include <algorithm>
#include <numeric>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "data/db_search.h"
#include "expr/number_text.h"

namespace nova::data {

namespace {

// The fewest bytes a stored table and a stored field take, so a count can
// be checked against the bytes left before anything is made for it.
constexpr std::uint64_t kMinTableBytes = 1 + 4 + 1 + 4 + 4 + 4;
constexpr std::uint64_t kMinFieldBytes = 4 + 4 + 1;
constexpr std::uint8_t kTableClassCode = 0;

std::int32_t read_count(core::ByteReader& r, std::uint64_t each, std::string_view what) {
  const std::int32_t n = r.i32();
  if (n < 0 || static_cast<std::uint64_t>(n) * each > r.remaining()) {
    r.fail(core::format("%s count %d does not fit the record", {what, n}));
  }
  return n;
}

// Halves go to the even neighbour, as the processor's default rounding does.
std::int32_t round_to_int(long double v) { return expr::float_to_int(std::nearbyintl(v)); }

bool valid_type(std::uint8_t t) { return t >= 1 && t <= 4; }

}  // namespace

std::int64_t field_size_of(DBFieldType type, std::int64_t string_length) {
  switch (type) {
    case DBFieldType::Integer: return 4;
    case DBFieldType::Float: return static_cast<std::int64_t>(core::kExtendedSize);
    case DBFieldType::Flag: return 1;
    case DBFieldType::String: return string_length + 1;
  }
  return 0;
}

// --- Tables ----------------------------------------------------------------------------

TDBTable::TDBTable(std::string name, bool status) : m_name(std::move(name)), m_status(status) {}
TDBTable::~TDBTable() = default;

void TDBTable::changed() { m_search.reset(); }

DBSearchCache& TDBTable::search_cache() const {
  if (!m_search) m_search = std::make_unique<DBSearchCache>();
  return *m_search;
}

std::int32_t TDBTable::field_index(std::string_view name) const {
  for (std::size_t i = 0; i < m_fields.size(); ++i) {
    if (core::equal_ci(m_fields[i].name(), name)) return static_cast<std::int32_t>(i);
  }
  return -1;
}

std::span<std::uint8_t> TDBTable::record_bytes(std::int32_t index) {
  return std::span(m_records).subspan(static_cast<std::size_t>(index) * static_cast<std::size_t>(m_record_size),
                                      static_cast<std::size_t>(m_record_size));
}

std::span<const std::uint8_t> TDBTable::record(std::int32_t index) const {
  return std::span(m_records).subspan(static_cast<std::size_t>(index) * static_cast<std::size_t>(m_record_size),
                                      static_cast<std::size_t>(m_record_size));
}

void TDBTable::push_field(TDBField field) {
  m_offsets.push_back(m_record_size);
  m_record_size += field.size();
  m_fields.push_back(std::move(field));
}

bool TDBTable::can_add(std::int64_t more) const {
  const std::int64_t count = static_cast<std::int64_t>(m_count) + more;
  return more >= 0 && count <= kMaxRecords && count * m_record_size <= kMaxTableBytes;
}

bool TDBTable::can_add_field(DBFieldType type, std::int64_t string_length) const {
  if (string_length > kMaxStringLength) return false;
  const std::int64_t size = field_size_of(type, std::max<std::int64_t>(string_length, 0));
  const std::int64_t record = static_cast<std::int64_t>(m_record_size) + size;
  return size > 0 && record <= kMaxRecordSize && record * m_count <= kMaxTableBytes;
}

void TDBTable::add_field(std::string name, DBFieldType type, std::int32_t string_length) {
  string_length = std::max(string_length, 0);
  if (!can_add_field(type, string_length)) {
    core::throw_error(core::format("%s: the field %s (length %d) would make records of more than %d bytes, "
                                   "or a table of more than %d MiB",
                                   {m_name, name, string_length, kMaxRecordSize, kMaxTableBytes >> 20}));
  }
  const std::int64_t size = field_size_of(type, string_length);
  const auto old_size = static_cast<std::size_t>(m_record_size);
  const auto grown = old_size + static_cast<std::size_t>(size);
  std::vector<std::uint8_t> records(grown * static_cast<std::size_t>(m_count), 0);
  // Records of a table without fields hold no bytes (and no buffer).
  for (std::size_t i = 0; old_size > 0 && i < static_cast<std::size_t>(m_count); ++i) {
    std::memcpy(records.data() + i * grown, m_records.data() + i * old_size, old_size);
  }
  push_field(TDBField(std::move(name), type, static_cast<std::int32_t>(size)));
  m_records = std::move(records);
  changed();
}

void TDBTable::reserve(std::int64_t records) {
  const std::int64_t n = std::clamp<std::int64_t>(records, 0, kMaxRecords);
  m_records.reserve(static_cast<std::size_t>(std::min(n * m_record_size, kMaxTableBytes)));
}

std::int32_t TDBTable::append() {
  if (!can_add(1)) core::throw_error(core::format("%s: a table holds at most %d records", {m_name, kMaxRecords}));
  m_records.resize(m_records.size() + static_cast<std::size_t>(m_record_size), 0);
  m_current = m_count++;
  changed();
  return m_current;
}

std::int32_t TDBTable::append_raw(std::span<const std::uint8_t> bytes) {
  const auto size = static_cast<std::size_t>(m_record_size);
  if (size == 0 ? !bytes.empty() : bytes.size() % size != 0) {
    core::throw_error(core::format("%s: %d bytes are no whole records of %d", {m_name, bytes.size(), m_record_size}));
  }
  // Records without fields have no bytes: such a table takes one record.
  const std::size_t n = size == 0 ? 1 : bytes.size() / size;
  if (n == 0) return -1;
  if (!can_add(static_cast<std::int64_t>(n))) {
    core::throw_error(core::format("%s: a table holds at most %d records", {m_name, kMaxRecords}));
  }
  // The bytes may be this table's own: copy them before the buffer moves.
  const std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
  m_records.insert(m_records.end(), copy.begin(), copy.end());
  m_count += static_cast<std::int32_t>(n);
  changed();
  return m_count - 1;
}

void TDBTable::delete_record(std::int32_t index) {
  if (index < 0 || index >= m_count) return;
  const auto size = static_cast<std::size_t>(m_record_size);
  const auto at = m_records.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(index) * size);
  m_records.erase(at, at + static_cast<std::ptrdiff_t>(size));
  --m_count;
  if (m_current >= m_count) m_current = m_count - 1;
  changed();
}

void TDBTable::clear_records() {
  m_records.clear();
  m_count = 0;
  m_current = -1;
  changed();
}

void TDBTable::clear() {
  clear_records();
  m_fields.clear();
  m_offsets.clear();
  m_record_size = 0;
}

std::span<std::uint8_t> TDBTable::cell(std::int32_t rec, std::int32_t field) {
  if (rec < 0 || rec >= m_count || field < 0 || field >= static_cast<std::int32_t>(m_fields.size())) return {};
  const auto f = static_cast<std::size_t>(field);
  return record_bytes(rec).subspan(static_cast<std::size_t>(m_offsets[f]),
                                   static_cast<std::size_t>(m_fields[f].size()));
}

std::span<const std::uint8_t> TDBTable::cell(std::int32_t rec, std::int32_t field) const {
  return const_cast<TDBTable*>(this)->cell(rec, field);
}

std::string_view field_text(std::span<const std::uint8_t> cell) {
  const auto end = std::find(cell.begin(), cell.end(), std::uint8_t{0});
  return {reinterpret_cast<const char*>(cell.data()), static_cast<std::size_t>(end - cell.begin())};
}

std::string_view cut_text(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = 0;
  while (end < limit) {
    const std::size_t n = core::char_length(text, end);
    if (end + n > limit) break;
    end += n;
  }
  return text.substr(0, end);
}

int compare_by_code(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  if (common == 0 || std::memcmp(a.data(), b.data(), common) == 0) {
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
  }
  std::size_t k = 0;
  while (a[k] == b[k]) ++k;
  const auto ua = static_cast<std::uint8_t>(a[k]), ub = static_cast<std::uint8_t>(b[k]);
  // A byte after one below 0x81 (a single character or a trail byte) starts
  // a character; when neither differing byte begins a double-byte one, the
  // codes are the bytes.
  const bool starts = k == 0 || static_cast<std::uint8_t>(a[k - 1]) < 0x81;
  const bool a_double = core::is_lead_byte(ua) && k + 1 < a.size();
  const bool b_double = core::is_lead_byte(ub) && k + 1 < b.size();
  if (starts && !a_double && !b_double) return ua < ub ? -1 : 1;
  // Otherwise find the character holding k: the bytes before it are equal,
  // so both texts have a character starting there.
  std::size_t start = 0;
  while (true) {
    const std::size_t n = core::char_length(a, start);
    if (start + n > k) break;
    start += n;
  }
  return core::compare_codes(a.substr(start), b.substr(start));
}

std::int32_t field_int(std::span<const std::uint8_t> c) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(c[0]) | static_cast<std::uint32_t>(c[1]) << 8 |
                                   static_cast<std::uint32_t>(c[2]) << 16 | static_cast<std::uint32_t>(c[3]) << 24);
}

namespace {

// The raw cell readers and writers of each type. A string cell holds its
// text up to the first zero byte, at most its declared length.
void put_int(std::span<std::uint8_t> c, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  for (int i = 0; i < 4; ++i) c[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(u >> (8 * i));
}
long double raw_float(std::span<const std::uint8_t> c) { return core::extended_from_bytes(c.data()); }
void put_float(std::span<std::uint8_t> c, long double v) { core::extended_to_bytes(v, c.data()); }
std::string raw_str(std::span<const std::uint8_t> c) { return std::string(field_text(c)); }
void put_str(std::span<std::uint8_t> c, std::string_view v) {
  const std::string_view kept = cut_text(v, c.size() - 1);
  const std::size_t n = kept.size();
  if (n > 0) std::memcpy(c.data(), kept.data(), n);
  // The rest of the cell is zeroed, so saves hold no stale bytes.
  std::fill(c.begin() + static_cast<std::ptrdiff_t>(n), c.end(), std::uint8_t{0});
}

}  // namespace

std::optional<std::int32_t> TDBTable::get_int(std::int32_t rec, std::int32_t field) const {
  const auto c = cell(rec, field);
  if (c.empty()) return std::nullopt;
  switch (m_fields[static_cast<std::size_t>(field)].type()) {
    case DBFieldType::Integer: return field_int(c);
    case DBFieldType::Float: return round_to_int(raw_float(c));
    case DBFieldType::Flag: return c[0] != 0 ? 1 : 0;
    case DBFieldType::String: return expr::parse_int(raw_str(c)).value_or(0);
  }
  return std::nullopt;
}

std::optional<long double> TDBTable::get_float(std::int32_t rec, std::int32_t field) const {
  const auto c = cell(rec, field);
  if (c.empty()) return std::nullopt;
  switch (m_fields[static_cast<std::size_t>(field)].type()) {
    case DBFieldType::Integer: return static_cast<long double>(field_int(c));
    case DBFieldType::Float: return raw_float(c);
    case DBFieldType::Flag: return c[0] != 0 ? 1.0L : 0.0L;
    case DBFieldType::String: return expr::parse_float(raw_str(c)).value_or(0.0L);
  }
  return std::nullopt;
}

std::optional<bool> TDBTable::get_flag(std::int32_t rec, std::int32_t field) const {
  const auto c = cell(rec, field);
  if (c.empty()) return std::nullopt;
  switch (m_fields[static_cast<std::size_t>(field)].type()) {
    case DBFieldType::Integer: return field_int(c) != 0;
    case DBFieldType::Float: return raw_float(c) != 0.0L;
    case DBFieldType::Flag: return c[0] != 0;
    case DBFieldType::String: return raw_str(c) == "TRUE";
  }
  return std::nullopt;
}

std::optional<std::string> TDBTable::get_str(std::int32_t rec, std::int32_t field) const {
  const auto c = cell(rec, field);
  if (c.empty()) return std::nullopt;
  switch (m_fields[static_cast<std::size_t>(field)].type()) {
    case DBFieldType::Integer: return expr::int_text(field_int(c));
    case DBFieldType::Float: return expr::float_text(raw_float(c));
    case DBFieldType::Flag: return std::string(c[0] != 0 ? "TRUE" : "FALSE");
    case DBFieldType::String: return raw_str(c);
  }
  return std::nullopt;
}

bool TDBTable::set_int(std::int32_t rec, std::int32_t field, std::int32_t v) {
  const auto c = cell(rec, field);
  if (c.empty()) return false;
  switch (m_fields[static_cast<std::size_t>(field)].type()) {
    case DBFieldType::Integer: put_int(c, v); break;
    case DBFieldType::Float: put_float(c, static_cast<long double>(v)); break;
    case DBFieldType::Flag: c[0] = v != 0 ? 1 : 0; break;
    case DBFieldType::String: put_str(c, expr::int_text(v)); break;
  }
  changed();
  return true;
}

bool TDBTable::set_float(std::int32_t rec, std::int32_t field, long double v) {
  const auto c = cell(rec, field);
  if (c.empty()) return false;
  switch (m_fields[static_cast<std::size_t>(field)].type()) {
    case DBFieldType::Integer: put_int(c, round_to_int(v)); break;
    case DBFieldType::Float: put_float(c, v); break;
    case DBFieldType::Flag: c[0] = v != 0.0L ? 1 : 0; break;
    case DBFieldType::String: put_str(c, expr::float_text(v)); break;
  }
  changed();
  return true;
}

bool TDBTable::set_flag(std::int32_t rec, std::int32_t field, bool v) {
  const auto c = cell(rec, field);
  if (c.empty()) return false;
  switch (m_fields[static_cast<std::size_t>(field)].type()) {
    case DBFieldType::Integer: put_int(c, v ? 1 : 0); break;
    case DBFieldType::Float: put_float(c, v ? 1.0L : 0.0L); break;
    case DBFieldType::Flag: c[0] = v ? 1 : 0; break;
    case DBFieldType::String: put_str(c, v ? "TRUE" : "FALSE"); break;
  }
  changed();
  return true;
}

bool TDBTable::set_str(std::int32_t rec, std::int32_t field, std::string_view v) {
  const auto c = cell(rec, field);
  if (c.empty()) return false;
  switch (m_fields[static_cast<std::size_t>(field)].type()) {
    case DBFieldType::Integer: put_int(c, expr::parse_int(v).value_or(0)); break;
    case DBFieldType::Float: put_float(c, expr::parse_float(v).value_or(0.0L)); break;
    case DBFieldType::Flag: c[0] = v == "TRUE" ? 1 : 0; break;
    case DBFieldType::String: put_str(c, v); break;
  }
  changed();
  return true;
}

// --- The manager ------------------------------------------------------------------------------

TDBTable* TDBManager::find(std::string_view name) const {
  const std::int32_t i = index_of(name);
  return i < 0 ? nullptr : m_tables[static_cast<std::size_t>(i)].get();
}

std::int32_t TDBManager::index_of(std::string_view name) const {
  for (std::size_t i = 0; i < m_tables.size(); ++i) {
    if (core::equal_ci(m_tables[i]->name(), name)) return static_cast<std::int32_t>(i);
  }
  return -1;
}

TDBTable* TDBManager::active() const {
  if (m_active < 0 || m_active >= static_cast<std::int32_t>(m_tables.size())) return nullptr;
  return m_tables[static_cast<std::size_t>(m_active)].get();
}

TDBTable& TDBManager::create(std::string name, bool status) {
  m_tables.push_back(std::make_unique<TDBTable>(std::move(name), status));
  m_active = static_cast<std::int32_t>(m_tables.size()) - 1;
  return *m_tables.back();
}

void TDBManager::remove(std::int32_t index) {
  if (index < 0 || index >= static_cast<std::int32_t>(m_tables.size())) return;
  const bool was_active = index == m_active;
  const std::string active_name = active() ? active()->name() : std::string();
  m_tables.erase(m_tables.begin() + index);
  m_active = was_active || active_name.empty() ? -1 : index_of(active_name);
}

void TDBManager::clear() {
  m_tables.clear();
  m_active = -1;
}

void TDBManager::delete_game_tables() {
  std::erase_if(m_tables, [](const std::unique_ptr<TDBTable>& t) { return !t->is_status(); });
  m_active = -1;
}

void TDBManager::save(core::ByteWriter& w, Form form) const {
  const bool status = form == Form::Status;
  w.i32(kRecordVersion);
  const auto count = std::count_if(m_tables.begin(), m_tables.end(),
                                   [status](const std::unique_ptr<TDBTable>& t) { return t->is_status() == status; });
  w.i32(static_cast<std::int32_t>(count));
  for (const auto& t : m_tables) {
    if (t->is_status() != status) continue;
    w.u8(kTableClassCode);
    w.str(t->name());
    w.u8(t->is_status() ? 1 : 0);
    w.i32(static_cast<std::int32_t>(t->fields().size()));
    for (const TDBField& f : t->fields()) {
      w.i32(f.size());
      w.str(f.name());
      w.u8(static_cast<std::uint8_t>(f.type()));
    }
    w.i32(t->record_count());
    w.bytes(std::span<const std::uint8_t>(t->records()));
    w.i32(t->current());
  }
  if (form == Form::Game) w.str(active() ? active()->name() : std::string());
}

TDBManager::Block TDBManager::read(core::ByteReader& r, Form form) {
  Block block;
  block.form = form;
  const std::int32_t version = r.i32();
  if (version != kRecordVersion) r.fail(core::format("DB table block version %d is not %d", {version, kRecordVersion}));
  const std::int32_t tables = read_count(r, kMinTableBytes, "DB table");
  block.tables.reserve(static_cast<std::size_t>(tables));
  for (std::int32_t t = 0; t < tables; ++t) {
    const std::uint8_t code = r.u8();
    if (code != kTableClassCode) r.fail(core::format("DB table class code %d is unknown", {code}));
    std::string name = r.str();
    // The form decides what a table is: a stored flag that disagrees with it
    // would make a status table of a game save that no load ever replaces.
    (void)r.u8();
    auto table = std::make_unique<TDBTable>(std::move(name), form == Form::Status);
    const std::int32_t fields = read_count(r, kMinFieldBytes, "DB field");
    table->m_fields.reserve(static_cast<std::size_t>(fields));
    table->m_offsets.reserve(static_cast<std::size_t>(fields));
    for (std::int32_t f = 0; f < fields; ++f) {
      const std::int32_t size = r.i32();
      std::string field_name = r.str();
      const std::uint8_t type = r.u8();
      if (!valid_type(type)) r.fail(core::format("DB field %s has the unknown type %d", {field_name, type}));
      const auto field_type = static_cast<DBFieldType>(type);
      // A size that does not fit the type would let the accessors read
      // past the field (or the record).
      const bool fits = field_type == DBFieldType::String
                            ? size >= 1 && size <= TDBTable::kMaxStringLength + 1
                            : size == field_size_of(field_type, 0);
      if (!fits) r.fail(core::format("DB field %s of type %d has the size %d", {field_name, type, size}));
      if (static_cast<std::int64_t>(table->m_record_size) + size > TDBTable::kMaxRecordSize) {
        r.fail(core::format("DB table %s has records of more than %d bytes", {table->name(), TDBTable::kMaxRecordSize}));
      }
      table->push_field(TDBField(std::move(field_name), field_type, size));
    }
    const std::int32_t count = r.i32();
    const std::uint64_t bytes = static_cast<std::uint64_t>(count) * static_cast<std::uint64_t>(table->m_record_size);
    if (count < 0 || bytes > r.remaining()) {
      r.fail(core::format("DB table %s: %d records of %d bytes do not fit the record",
                          {table->name(), count, table->m_record_size}));
    }
    if (!table->can_add(count)) {
      r.fail(core::format("DB table %s: %d records of %d bytes are more than a table holds",
                          {table->name(), count, table->m_record_size}));
    }
    const auto raw = r.span(static_cast<std::size_t>(bytes));
    table->m_records.assign(raw.begin(), raw.end());
    table->m_count = count;
    const std::int32_t current = r.i32();
    table->m_current = current >= 0 && current < count ? current : -1;
    block.tables.push_back(std::move(table));
  }
  if (form == Form::Game) block.active_name = r.str();
  return block;
}

void TDBManager::apply(Block block) {
  const bool status = block.form == Form::Status;
  std::erase_if(m_tables, [status](const std::unique_ptr<TDBTable>& t) { return t->is_status() == status; });
  m_active = -1;
  for (auto& t : block.tables) {
    m_tables.push_back(std::move(t));
    m_active = static_cast<std::int32_t>(m_tables.size()) - 1;
  }
  if (block.form == Form::Game) m_active = block.active_name.empty() ? -1 : index_of(block.active_name);
}

void TDBManager::load(core::ByteReader& r, Form form) { apply(read(r, form)); }

}  // namespace nova::data
