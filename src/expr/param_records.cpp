// The saved forms of the store: game and status variable blocks and the
// pushed-variable stack.
//
//   block    := count:int32, count × (type:u8, record)
//   record   := name:str, value, status:u8, reserved:u8, frame id:int32, local:u8
//   value    := dimension count:int32, sizes:int32..., then the class's part
//   game     := block, text delay:int32, cursor:str, selected string:str,
//               selected index:int32, @Temp name:str, pushed count:int32, pushed blocks
//   pushed   := count:int32, count × (type:int32, name:str, value)
#include <algorithm>

#include "core/error.h"
#include "expr/param_collection.h"
#include "expr/save_order.h"

namespace nova::expr {

struct TParamCollection::StagedItem {
  std::uint8_t type = 0;
  std::string name;
  std::unique_ptr<TCustomParam> value;
  std::uint8_t status = 0;
  std::uint8_t reserved = 0;
  std::int32_t frame_id = -1;
  std::uint8_t local = 0;
};

namespace {

// The fewest bytes one record can take (type, empty name, the smallest value,
// the trailing fields), used to refuse counts the data cannot hold before
// anything is allocated.
constexpr std::size_t kMinRecordBytes = 1 + 4 + 9 + 7;
constexpr std::size_t kMinPushedEntryBytes = 4 + 4 + 9;

struct PushedEntry {
  std::uint8_t type;
  std::string name;
  std::unique_ptr<TCustomParam> value;
};

// Reads one pushed block's entries, refusing counts the data cannot hold and
// codes that name no class.
std::vector<PushedEntry> read_pushed_entries(core::ByteReader& r) {
  std::int32_t count = r.i32();
  if (count < 0 || static_cast<std::size_t>(count) > r.remaining() / kMinPushedEntryBytes) {
    r.fail("pushed variable count out of range");
  }
  std::vector<PushedEntry> entries;
  entries.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    std::int32_t type = r.i32();
    if (type < 0 || type > PT_STR) r.fail("invalid pushed variable type");
    PushedEntry e{static_cast<std::uint8_t>(type), r.str(), make_value(static_cast<std::uint8_t>(type))};
    e.value->load(r);
    entries.push_back(std::move(e));
  }
  return entries;
}

}  // namespace

void TParamCollection::write_record(core::ByteWriter& w, const TParamCollectionItem& item) {
  w.u8(item.class_code());
  w.str(item.name());
  item.value().save(w);
  w.u8(item.m_status ? 1 : 0);
  w.u8(item.m_reserved);
  w.i32(item.m_frame_id);
  w.u8(item.m_local ? 1 : 0);
}

std::vector<const TParamCollectionItem*> TParamCollection::save_order(bool status) const {
  std::vector<const TParamCollectionItem*> pending;
  pending.reserve(m_size);
  for (const TParamCollectionItem* it = m_first; it; it = it->m_order_next) {
    if (!it->m_system && !it->m_temp_counter && it->m_status == status) pending.push_back(it);
  }
  if (m_reference_items == 0) {
    // No saved item refers to another (temporaries are not saved): newest
    // first, without looking at a single value.
    std::reverse(pending.begin(), pending.end());
    return pending;
  }
  return expr::save_order(std::move(pending), [](const TParamCollectionItem* item) -> const TParamCollectionItem* {
    const TParamVar* ref = item->value().as_reference();
    return ref ? ref->bound() : nullptr;
  });
}

void TParamCollection::write_records(core::ByteWriter& w, const std::vector<const TParamCollectionItem*>& order) {
  w.i32(static_cast<std::int32_t>(order.size()));
  // The items lie wherever they were made; fetching the next ones' values
  // while this one is written hides most of the wait for memory.
  constexpr std::size_t kAhead = 4;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (i + kAhead < order.size()) __builtin_prefetch(&order[i + kAhead]->value());
    write_record(w, *order[i]);
  }
}

std::vector<TParamCollection::StagedItem> TParamCollection::read_records(core::ByteReader& r) {
  std::int32_t count = r.i32();
  if (count < 0 || static_cast<std::size_t>(count) > r.remaining() / kMinRecordBytes) {
    r.fail("variable count out of range");
  }
  std::vector<StagedItem> staged(static_cast<std::size_t>(count));
  for (StagedItem& s : staged) {
    s.type = r.u8();
    if (!is_value_type(s.type)) r.fail("invalid variable type");
    s.name = r.str();
    s.value = make_value(s.type);
    s.value->load(r);
    s.status = r.u8();
    s.reserved = r.u8();
    s.frame_id = r.i32();
    s.local = r.u8();
  }
  return staged;
}

void TParamCollection::rebind(TParamVar& ref) {
  TParamCollectionItem* target = ref.loaded_target_name().empty() ? nullptr : find(ref.loaded_target_name());
  std::int32_t index = ref.element_index();
  try {
    ref.bind_element(target, index);
  } catch (const core::Error&) {
    ref.unbind();  // a record that would refer to itself stays unbound
  }
}

void TParamCollection::commit(std::vector<StagedItem>& staged) {
  std::size_t added = 0;
  for (StagedItem& s : staged) {
    if (s.name.empty()) continue;  // read and dropped
    TParamCollectionItem& item = add(std::move(s.name), std::move(s.value));
    ++added;
    item.m_status = s.status != 0;
    item.m_reserved = s.reserved;
    item.m_frame_id = s.frame_id;
    item.m_local = s.local != 0;
    if (TParamVar* ref = item.m_value->as_reference()) rebind(*ref);
  }
  // Blocks are written newest first, so the items are made in the reverse
  // of the block's order: a loaded store writes the block it was loaded
  // from, and a game saved, loaded and saved again gives the same bytes.
  // (They are added in the block's order first, since an alias binds to
  // the variable written before it.)
  reverse_last(added);
}

void TParamCollection::check_records(core::ByteReader& r) {
  std::int32_t count = r.i32();
  if (count < 0 || static_cast<std::size_t>(count) > r.remaining() / kMinRecordBytes) {
    r.fail("variable count out of range");
  }
  std::vector<std::int32_t> dims;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::uint8_t type = r.u8();
    if (!is_value_type(type)) r.fail("invalid variable type");
    const std::int32_t name_length = r.i32();
    if (name_length < 0) r.fail("negative string length");
    r.skip(static_cast<std::size_t>(name_length));
    check_value_record(r, type, dims);
    // Field by field, so that a truncated record fails where reading it
    // would (the error names the byte).
    r.u8();
    r.u8();
    r.i32();
    r.u8();
  }
}

void TParamCollection::build_records(core::ByteReader& r, SpareItems* spares) {
  const std::int32_t count = r.i32();
  std::size_t added = 0;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::uint8_t type = r.u8();
    const auto name_bytes = r.span(static_cast<std::size_t>(r.i32()));
    const std::string_view name(reinterpret_cast<const char*>(name_bytes.data()), name_bytes.size());
    const TParamKind kind = type == PT_NONE ? PK_VAR : static_cast<TParamKind>(type);
    std::unique_ptr<TParamCollectionItem> item;
    if (spares && !(*spares)[kind].empty()) {
      item = std::move((*spares)[kind].back());
      (*spares)[kind].pop_back();
      item->m_name.assign(name);
      item->m_temp_named = is_temporary_name(name);
      item->m_system = false;
      item->m_temp_counter = nullptr;
    } else {
      item = std::make_unique<TParamCollectionItem>(std::string(name), make_value(type));
    }
    switch (kind) {
      case PK_INT: static_cast<TParamInt&>(*item->m_value).load_checked(r); break;
      case PK_FLOAT: static_cast<TParamFloat&>(*item->m_value).load_checked(r); break;
      case PK_FLAG: static_cast<TParamFlag&>(*item->m_value).load_checked(r); break;
      case PK_STR: static_cast<TParamStr&>(*item->m_value).load_checked(r); break;
      default: item->m_value->load(r); break;
    }
    item->m_status = r.u8() != 0;
    item->m_reserved = r.u8();
    item->m_frame_id = r.i32();
    item->m_local = r.u8() != 0;
    if (name.empty()) {
      // Read and dropped; the item waits for the next record of its class.
      if (spares) (*spares)[kind].push_back(std::move(item));
      continue;
    }
    TParamCollectionItem& linked = *item.release();
    link(linked, hash_of_name(linked.m_name));
    ++added;
    if (TParamVar* ref = linked.m_value->as_reference()) {
      ++m_reference_items;
      rebind(*ref);
    }
  }
  // See commit: the block's order reversed.
  reverse_last(added);
}

std::string TParamCollection::read_pushed_block(core::ByteReader& r) {
  std::size_t start = r.position();
  read_pushed_entries(r);  // only to check the block; pop reads it again
  auto bytes = r.data().subspan(start, r.position() - start);
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void TParamCollection::save_game_variables(core::ByteWriter& w) const {
  write_records(w, save_order(false));
  w.i32(m_text_delay);
  w.str(m_cursor);
  w.str(m_sel_str);
  w.i32(m_sel_index);
  w.str(m_temp_name);
  w.i32(static_cast<std::int32_t>(m_pushed.size()));
  for (const std::string& block : m_pushed) w.bytes(block);
}

void TParamCollection::load_game_variables(core::ByteReader& r, std::int32_t version,
                                           const HistorySettingsReader& history) {
  load_game_block(r, version, history, LoadPath::InPlace);
}

void TParamCollection::load_game_variables_reference(core::ByteReader& r, std::int32_t version,
                                                     const HistorySettingsReader& history) {
  load_game_block(r, version, history, LoadPath::Staged);
}

void TParamCollection::load_game_block(core::ByteReader& r, std::int32_t version, const HistorySettingsReader& history,
                                       LoadPath path) {
  // The in-place path checks the records first and builds them only once
  // the whole block has proved good, from the items it frees; the staged
  // path builds every record aside before it changes anything.
  const core::ByteReader records = r;
  std::vector<StagedItem> staged;
  if (path == LoadPath::Staged) {
    staged = read_records(r);
  } else {
    check_records(r);
  }
  std::int32_t text_delay = r.i32();
  std::string cursor = r.str();
  std::string sel_str;
  std::int32_t sel_index = 0;
  if (version > 102) {
    sel_str = r.str();
    sel_index = r.i32();
  }
  if (version > 112 && version < 135) {
    if (history) {
      history(r);
    } else {
      for (int i = 0; i < 6; ++i) r.i32();
    }
  }
  std::string temp_name;
  if (version > 120) temp_name = r.str();
  std::vector<std::string> pushed;
  if (version >= 139) {
    std::int32_t blocks = r.i32();
    if (blocks < 0 || static_cast<std::size_t>(blocks) > r.remaining() / 4) r.fail("pushed block count out of range");
    for (std::int32_t i = 0; i < blocks; ++i) pushed.push_back(read_pushed_block(r));
  }

  if (path == LoadPath::Staged) {
    free_game_variables(nullptr);
    commit(staged);
  } else {
    SpareItems spares;
    free_game_variables(m_run_depth == 0 ? &spares : nullptr);
    core::ByteReader again = records;
    build_records(again, &spares);
  }
  m_text_delay = text_delay;
  m_cursor = std::move(cursor);
  m_sel_str = std::move(sel_str);
  m_sel_index = sel_index;
  m_temp_name = std::move(temp_name);
  m_pushed = std::move(pushed);
}

void TParamCollection::save_status_variables(core::ByteWriter& w) const {
  write_records(w, save_order(true));
}

void TParamCollection::load_status_variables(core::ByteReader& r) {
  core::ByteReader records = r;
  check_records(r);
  build_records(records, nullptr);
}

void TParamCollection::push(std::span<const std::string> names) {
  core::ByteWriter w;
  w.i32(0);
  std::int32_t count = 0;
  for (const std::string& name : names) {
    const TParamCollectionItem* item = find(name);
    if (!item || item->type() == PT_NONE) continue;
    w.i32(item->class_code());
    w.str(item->name());
    item->value().save(w);
    ++count;
  }
  w.patch_u32(0, static_cast<std::uint32_t>(count));
  m_pushed.push_back(w.take_string());
}

void TParamCollection::pop() {
  if (m_pushed.empty()) return;
  std::string block = std::move(m_pushed.back());
  m_pushed.pop_back();

  core::ByteReader r(block);
  std::vector<PushedEntry> entries = read_pushed_entries(r);

  for (PushedEntry& e : entries) {
    TParamCollectionItem* item = find(e.name);
    if (item && item->m_system) {
      // The store's head is fixed: a system variable is written, never
      // replaced, and only when the type still matches.
      if (item->class_code() == e.type) set_scalar_as(item->value(), static_cast<TParamType>(e.type), *e.value);
      continue;
    }
    if (item && item->class_code() != e.type) {
      remove(*item);
      item = nullptr;
    }
    if (item) {
      item->m_value = std::move(e.value);
    } else {
      item = &add(std::move(e.name), std::move(e.value));
    }
    if (TParamVar* ref = item->m_value->as_reference()) rebind(*ref);
  }
}

}  // namespace nova::expr
