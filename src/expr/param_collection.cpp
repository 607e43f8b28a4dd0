// The store's lookups, lifetimes and pushed-variable stack. The saved
// records are in param_records.cpp.
#include "expr/param_collection.h"

#include <atomic>

#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"

namespace nova::expr {

namespace {

bool is_name_blank(std::string_view name) {
  for (std::size_t pos = 0; pos < name.size(); pos += core::char_length(name, pos)) {
    auto b = static_cast<std::uint8_t>(name[pos]);
    if (b <= 0x20) return true;
    if (b == 0x81 && pos + 1 < name.size() && static_cast<std::uint8_t>(name[pos + 1]) == 0x40) return true;
  }
  return false;
}

bool same_name(const std::string& a, std::string_view b) {
  // Case folding never changes a byte length, so a length test first is safe
  // and spares the folding comparison for nearly every non-match.
  return a.size() == b.size() && (a == b || core::equal_ci(a, b));
}

}  // namespace

namespace {

// Each store counts its generations from its own epoch, so a cached lookup
// made against one store is never taken for valid in another (a store built
// where a freed one stood would otherwise start with the same count).
std::uint64_t next_epoch() {
  static std::atomic<std::uint64_t> epochs{1};
  return epochs.fetch_add(1) << 32;
}

}  // namespace

TParamCollection::TParamCollection() : m_generation(next_epoch()) {
  for (int i = 0; i < kSystemVariableCount; ++i) {
    auto* item = new TParamCollectionItem(std::string(kSystemVariables[static_cast<std::size_t>(i)].name),
                                          std::make_unique<TParamSystem>(i, *this));
    item->m_system = true;
    link(*item, hash_of_name(item->m_name));
  }
}

TParamCollection::~TParamCollection() {
  for (TParamCollectionItem* it = m_first; it;) {
    TParamCollectionItem* next = it->m_order_next;
    if (it->m_temp_counter) {
      --*it->m_temp_counter;
      it->m_temp_counter = nullptr;
      it->m_linked = false;
    } else {
      delete it;
    }
    it = next;
  }
}

std::uint8_t TParamCollection::hash_of_name(std::string_view name) {
  bool ascii = true;
  for (char c : name) {
    if (static_cast<std::uint8_t>(c) >= 0x80) {
      ascii = false;
      break;
    }
  }
  auto lower = [](char c) { return static_cast<std::uint8_t>((c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c); };
  std::uint32_t h = static_cast<std::uint32_t>(name.size()) * 16;
  if (name.size() >= 2) {
    if (ascii) {
      h += lower(name[name.size() - 2]) + lower(name[0]);
    } else {
      std::string l = platform::codepage::to_lower(name);
      h += static_cast<std::uint8_t>(l[l.size() - 2]) + static_cast<std::uint8_t>(l[0]);
    }
  }
  return static_cast<std::uint8_t>(h & 0xFF);
}

TParamCollectionItem* TParamCollection::find(std::string_view name) const {
  TParamCollectionItem* found = nullptr;
  for (TParamCollectionItem* it = m_buckets[hash_of_name(name)]; it; it = it->m_chain_next) {
    if (!same_name(it->m_name, name)) continue;
    if (it->m_local) {
      if (it->m_frame_id == m_call_depth) return it;
    } else {
      found = it;
    }
  }
  return found;
}

TParamCollectionItem* TParamCollection::find_for_creation(std::string_view name, bool local) const {
  TParamCollectionItem* found = nullptr;
  for (TParamCollectionItem* it = m_buckets[hash_of_name(name)]; it; it = it->m_chain_next) {
    if (!same_name(it->m_name, name)) continue;
    if (local) {
      if (it->m_local && it->m_frame_id == m_call_depth) return it;
    } else if (!it->m_local) {
      found = it;
    }
  }
  return found;
}

void TParamCollection::link(TParamCollectionItem& item, std::uint8_t bucket) {
  item.m_bucket = bucket;
  item.m_chain_prev = nullptr;
  item.m_chain_next = m_buckets[bucket];
  if (item.m_chain_next) item.m_chain_next->m_chain_prev = &item;
  m_buckets[bucket] = &item;
  item.m_order_next = nullptr;
  item.m_order_prev = m_last;
  if (m_last) {
    m_last->m_order_next = &item;
  } else {
    m_first = &item;
  }
  m_last = &item;
  item.m_linked = true;
  ++m_size;
  if (item.m_temp_named) {
    ++m_underscore_items;
  } else {
    ++m_generation;
  }
}

void TParamCollection::unlink(TParamCollectionItem& item) {
  if (item.m_chain_prev) {
    item.m_chain_prev->m_chain_next = item.m_chain_next;
  } else {
    m_buckets[item.m_bucket] = item.m_chain_next;
  }
  if (item.m_chain_next) item.m_chain_next->m_chain_prev = item.m_chain_prev;
  if (item.m_order_prev) {
    item.m_order_prev->m_order_next = item.m_order_next;
  } else {
    m_first = item.m_order_next;
  }
  if (item.m_order_next) {
    item.m_order_next->m_order_prev = item.m_order_prev;
  } else {
    m_last = item.m_order_prev;
  }
  item.m_chain_prev = item.m_chain_next = item.m_order_prev = item.m_order_next = nullptr;
  item.m_linked = false;
  --m_size;
  if (item.m_temp_named) {
    --m_underscore_items;
  } else {
    ++m_generation;
  }
}

TParamCollectionItem& TParamCollection::add(std::uint8_t type, std::string name) {
  return add(std::move(name), make_value(type));
}

TParamCollectionItem& TParamCollection::add(std::string name, std::unique_ptr<TCustomParam> value) {
  bool reference = value->as_reference() != nullptr;
  auto* item = new TParamCollectionItem(std::move(name), std::move(value));
  link(*item, hash_of_name(item->m_name));
  if (reference) ++m_reference_items;
  return *item;
}

TParamCollectionItem& TParamCollection::create(std::string_view name, TParamType type, TVarScope scope, bool& created) {
  if (name.empty()) core::throw_error(core::sjis("変数名がありません"));
  if (is_name_blank(name) || (name[0] >= '0' && name[0] <= '9')) {
    core::throw_error(core::format(core::sjis("\"%s\"：変数名が不正です"), {name}));
  }
  if (static_cast<std::uint8_t>(scope) > 3) core::throw_error("invalid variable scope");
  bool local = scope == TVarScope::Local;
  if (TParamCollectionItem* existing = find_for_creation(name, local)) {
    created = false;
    return *existing;
  }
  TParamCollectionItem& item = add(type, std::string(name));
  if (scope == TVarScope::AutoDelete || local) item.m_frame_id = m_call_depth;
  item.m_local = local;
  item.m_status = scope == TVarScope::Status;
  created = true;
  return item;
}

void TParamCollection::unbind_references_to(const TParamCollectionItem& item) {
  if (m_reference_items == 0) return;
  for (TParamCollectionItem* it = m_first; it; it = it->m_order_next) {
    if (TParamVar* ref = it->m_value->as_reference(); ref && ref->bound() == &item) ref->unbind();
  }
}

void TParamCollection::dispose(TParamCollectionItem* item) {
  if (m_run_depth > 0) {
    m_graveyard.emplace_back(item);
  } else {
    delete item;
  }
}

void TParamCollection::remove(TParamCollectionItem& item) {
  if (item.m_system || !item.m_linked) return;
  if (item.m_temp_counter) {
    unlink_temporary(item);  // its owner keeps it
    return;
  }
  unlink(item);
  if (item.m_value->as_reference()) --m_reference_items;
  unbind_references_to(item);
  dispose(&item);
}

void TParamCollection::remove(std::string_view name) {
  if (TParamCollectionItem* item = find(name)) remove(*item);
}

void TParamCollection::delete_frame(std::int32_t depth) {
  for (TParamCollectionItem* it = m_first; it;) {
    TParamCollectionItem* next = it->m_order_next;
    if (!it->m_system && it->m_frame_id == depth) remove(*it);
    it = next;
  }
}

void TParamCollection::shift_frames_above(std::int32_t depth) {
  for (TParamCollectionItem* it = m_first; it; it = it->m_order_next) {
    if (it->m_frame_id > depth) --it->m_frame_id;
  }
  ++m_generation;
}

void TParamCollection::free_game_variables(SpareItems* spares) {
  std::vector<TParamCollectionItem*> freed;
  for (TParamCollectionItem* it = m_first; it;) {
    TParamCollectionItem* next = it->m_order_next;
    if (!it->m_system && !it->m_status && !it->m_temp_counter) {
      unlink(*it);
      if (it->m_value->as_reference()) --m_reference_items;
      freed.push_back(it);
    }
    it = next;
  }
  if (freed.empty()) return;
  // The references that stay (status variables, linked temporaries) let go
  // of what was freed, in one pass rather than one pass per freed item.
  for (TParamCollectionItem* it = m_first; it; it = it->m_order_next) {
    if (TParamVar* ref = it->m_value->as_reference(); ref && ref->bound() && !ref->bound()->m_linked) ref->unbind();
  }
  for (TParamCollectionItem* item : freed) {
    if (spares) {
      (*spares)[item->m_value->kind()].emplace_back(item);
    } else {
      dispose(item);
    }
  }
}

void TParamCollection::reset() {
  free_game_variables(nullptr);
  m_text_delay = 50;
  m_cursor.clear();
}

void TParamCollection::set_call_depth(std::int32_t depth) {
  if (depth != m_call_depth) {
    m_call_depth = depth;
    ++m_generation;
  }
}

std::vector<TParamCollectionItem*> TParamCollection::items() const {
  std::vector<TParamCollectionItem*> out;
  out.reserve(m_size);
  for (TParamCollectionItem* it = m_first; it; it = it->m_order_next) out.push_back(it);
  return out;
}

std::unique_ptr<TCustomParam> TParamCollection::detached_copy(std::string_view name) const {
  TParamCollectionItem* item = find(name);
  if (!item) return nullptr;
  if (item->type() == PT_NONE) core::throw_error(core::format(core::sjis("%s:不正な変数です"), {name}));
  return item->value().detached();
}

void TParamCollection::link_temporary(TParamCollectionItem& item, std::uint8_t bucket, std::int32_t& live) {
  item.m_temp_counter = &live;
  ++live;
  link(item, bucket);
}

void TParamCollection::unlink_temporary(TParamCollectionItem& item) {
  if (!item.m_linked) return;
  unlink(item);
  if (item.m_temp_counter) {
    --*item.m_temp_counter;
    item.m_temp_counter = nullptr;
  }
  unbind_references_to(item);
}

void TParamCollection::reverse_last(std::size_t n) {
  std::vector<TParamCollectionItem*> tail;  // last first
  for (TParamCollectionItem* it = m_last; it && tail.size() < n; it = it->m_order_prev) tail.push_back(it);
  if (tail.size() < 2) return;
  TParamCollectionItem* prev = tail.back()->m_order_prev;
  for (TParamCollectionItem* it : tail) {
    it->m_order_prev = prev;
    if (prev) {
      prev->m_order_next = it;
    } else {
      m_first = it;
    }
    prev = it;
  }
  prev->m_order_next = nullptr;
  m_last = prev;
}

}  // namespace nova::expr
