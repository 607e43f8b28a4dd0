// The variable store: TParamCollection and its variable records.
//
// One store holds all script data: the 51 system variables at its head
// (system_variables.h), then global, auto-delete, local and status variables
// in creation order. Names are compared without regard to case and hashed
// into 256 buckets, each a chain with the newest item first.
//
// Visibility. A local variable is seen only while the call depth equals the
// depth it was made at, and then shadows every other variable of its name;
// auto-delete variables are seen everywhere until their frame returns.
//
// Who owns what. The store owns its items and their values. A running
// expression owns its temporaries and links them into the store for the run
// (link_temporary), so that lookups by name find them as the language
// requires; the store never frees those. While any expression runs, freed
// items are kept until the outermost run ends, so references bound during
// the run stay valid.
//
// Caching. generation() changes whenever a lookup of a name that does not
// begin with "____" could answer differently: an item of such a name added or
// freed, the call depth changed, a frame id moved. Callers that cache lookups
// compare it; names beginning with "____" (the compiler's temporaries) are
// counted by underscore_count() instead.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_io.h"
#include "expr/params.h"
#include "expr/system_variables.h"

namespace nova::expr {

// The scope byte of VarNew.
enum class TVarScope : std::uint8_t { Global = 0, AutoDelete = 1, Local = 2, Status = 3 };

class TParamCollectionItem {
 public:
  TParamCollectionItem(std::string name, std::unique_ptr<TCustomParam> value)
      : m_name(std::move(name)), m_value(std::move(value)), m_temp_named(is_temporary_name(m_name)) {}
  TParamCollectionItem(const TParamCollectionItem&) = delete;
  TParamCollectionItem& operator=(const TParamCollectionItem&) = delete;

  const std::string& name() const { return m_name; }
  TCustomParam& value() { return *m_value; }
  const TCustomParam& value() const { return *m_value; }
  TParamType type() const { return m_value->type(); }
  // The type code the item is saved under: PT_NONE for a reference whatever
  // it is bound to (its record is a reference record), else its type.
  std::uint8_t class_code() const {
    TParamKind k = m_value->kind();
    if (k <= PK_STR) return static_cast<std::uint8_t>(k);
    return k == PK_VAR ? static_cast<std::uint8_t>(PT_NONE) : static_cast<std::uint8_t>(m_value->type());
  }

  std::uint8_t reserved() const { return m_reserved; }
  bool is_status() const { return m_status; }
  std::int32_t frame_id() const { return m_frame_id; }
  bool is_local() const { return m_local; }
  bool is_system() const { return m_system; }
  bool is_linked() const { return m_linked; }

  // For the owner of a temporary: swaps in another value (the store's
  // references are rebound by name on every run, so this is safe between
  // runs and for a temporary not yet linked).
  std::unique_ptr<TCustomParam> exchange_value(std::unique_ptr<TCustomParam> v) {
    std::swap(m_value, v);
    return v;
  }

 private:
  friend class TParamCollection;
  std::string m_name;
  std::unique_ptr<TCustomParam> m_value;
  bool m_temp_named;  // the name begins with "____"
  std::uint8_t m_reserved = 0;
  bool m_status = false;
  std::int32_t m_frame_id = -1;
  bool m_local = false;
  bool m_system = false;
  bool m_linked = false;
  std::uint8_t m_bucket = 0;
  TParamCollectionItem* m_chain_prev = nullptr;
  TParamCollectionItem* m_chain_next = nullptr;
  TParamCollectionItem* m_order_prev = nullptr;
  TParamCollectionItem* m_order_next = nullptr;
  // Set while the item is a linked temporary: its owner's count of live
  // temporaries, decremented when the store unlinks it.
  std::int32_t* m_temp_counter = nullptr;
};

// Reads the fields that variable blocks of versions 113 to 134 carry for the
// message history (three pairs of int32). The default reads and drops them.
using HistorySettingsReader = std::function<void(core::ByteReader&)>;

class TParamCollection {
 public:
  TParamCollection();
  ~TParamCollection();
  TParamCollection(const TParamCollection&) = delete;
  TParamCollection& operator=(const TParamCollection&) = delete;

  // The bucket of a name: the low 8 bits of (length × 16 + the codes of the
  // second-to-last and first bytes of the lower-cased name, when it has at
  // least two bytes).
  static std::uint8_t hash_of_name(std::string_view name);

  // A local variable of the current depth wins at once; otherwise the last
  // non-local variable of that name along the chain (the oldest, with
  // duplicates that only loading can make). nullptr when none.
  TParamCollectionItem* find(std::string_view name) const;
  // The same chain, matching only local variables of the current depth when
  // `local`, else only non-local ones.
  TParamCollectionItem* find_for_creation(std::string_view name, bool local) const;

  // Appends a new global variable with a fresh value of `type` (PT_NONE: an
  // unbound reference). Other codes raise core::Error.
  TParamCollectionItem& add(std::uint8_t type, std::string name = {});
  // Appends a new global variable holding `value` (not null), as loading
  // does with the values it has read.
  TParamCollectionItem& add(std::string name, std::unique_ptr<TCustomParam> value);

  // The creation half of VarNew: an empty name is "変数名がありません", a
  // name that contains a blank or begins with a digit is
  // "\"%s\"：変数名が不正です". Finds the variable for creation (local for
  // scope Local) or adds it with the scope's frame id and flags. `created`
  // tells which happened.
  TParamCollectionItem& create(std::string_view name, TParamType type, TVarScope scope, bool& created);

  // Frees an item (system variables are never freed; a temporary is only
  // unlinked, its owner keeps it).
  void remove(TParamCollectionItem& item);
  // VarDel: frees what find answers; a missing name is ignored.
  void remove(std::string_view name);
  // Frees every variable whose frame id equals `depth`.
  void delete_frame(std::int32_t depth);
  // Every variable whose frame id is above `depth` moves down by one (a call
  // frame below it was removed).
  void shift_frames_above(std::int32_t depth);
  // Frees every variable that is neither a system nor a status variable,
  // sets the text delay to 50 and clears the cursor text.
  void reset();

  // A new plain value with a copy of the variable's dimensions and elements;
  // nullptr for a missing name; "%s:不正な変数です" for a variable of type
  // PT_NONE.
  std::unique_ptr<TCustomParam> detached_copy(std::string_view name) const;

  // Pushes a block holding every named variable that exists and has a type
  // other than PT_NONE; missing names are skipped.
  void push(std::span<const std::string> names);
  // Takes the last block back: each variable is found by name, freed when its
  // type differs, created when missing, and loaded. A system variable of
  // another type is left alone. Without a block nothing happens.
  void pop();
  std::size_t pushed_count() const { return m_pushed.size(); }

  // Variable blocks of the game save and of the status record. Loading
  // parses the whole block before it changes the store, so a damaged block
  // raises core::Error and leaves the store as it was.
  void save_game_variables(core::ByteWriter& w) const;
  void load_game_variables(core::ByteReader& r, std::int32_t version, const HistorySettingsReader& history = {});
  // The same load in its plain form: every record is built aside first,
  // then the old variables are freed and the new ones added one by one. It
  // is the reference that the tests hold load_game_variables against.
  void load_game_variables_reference(core::ByteReader& r, std::int32_t version,
                                     const HistorySettingsReader& history = {});
  void save_status_variables(core::ByteWriter& w) const;
  void load_status_variables(core::ByteReader& r);

  std::int32_t call_depth() const { return m_call_depth; }
  void set_call_depth(std::int32_t depth);

  std::uint64_t generation() const { return m_generation; }
  std::size_t underscore_count() const { return m_underscore_items; }

  // Items in creation order.
  std::size_t size() const { return m_size; }
  std::vector<TParamCollectionItem*> items() const;

  // The provider of the system variables (not owned; attached by the layer
  // that implements them and detached before it goes).
  void set_system_variables(TSystemVariableProvider* p) { m_provider = p; }
  TSystemVariableProvider* system_variables() const { return m_provider; }

  // What some system variables stand on; saved with the game.
  std::int32_t text_delay() const { return m_text_delay; }
  void set_text_delay(std::int32_t v) { m_text_delay = v; }
  const std::string& cursor_text() const { return m_cursor; }
  void set_cursor_text(std::string v) { m_cursor = std::move(v); }
  const std::string& selected_string() const { return m_sel_str; }
  void set_selected_string(std::string v) { m_sel_str = std::move(v); }
  std::int32_t selected_index() const { return m_sel_index; }
  void set_selected_index(std::int32_t v) { m_sel_index = v; }
  const std::string& temp_name() const { return m_temp_name; }
  void set_temp_name(std::string v) { m_temp_name = std::move(v); }

  // --- For the expression executor ---
  // Links a temporary owned by the caller under its name (whose bucket the
  // caller computed with hash_of_name); `live` is incremented now and
  // decremented when the item is unlinked, by either side.
  void link_temporary(TParamCollectionItem& item, std::uint8_t bucket, std::int32_t& live);
  void unlink_temporary(TParamCollectionItem& item);
  // Brackets one execution; freed items wait until the outermost ends.
  void begin_run() { ++m_run_depth; }
  void end_run() {
    if (--m_run_depth == 0 && !m_graveyard.empty()) m_graveyard.clear();
  }

 private:
  struct StagedItem;
  // Items freed by a load, by the kind of their value, for its records to
  // reuse.
  using SpareItems = std::array<std::vector<std::unique_ptr<TParamCollectionItem>>, PK_SYSTEM + 1>;
  enum class LoadPath : std::uint8_t { InPlace, Staged };
  void load_game_block(core::ByteReader& r, std::int32_t version, const HistorySettingsReader& history, LoadPath path);
  // Steps over a block's records with every check that reading makes.
  static void check_records(core::ByteReader& r);
  // Adds the records of a block that check_records has passed.
  void build_records(core::ByteReader& r, SpareItems* spares);
  void link(TParamCollectionItem& item, std::uint8_t bucket);
  void unlink(TParamCollectionItem& item);
  void dispose(TParamCollectionItem* item);
  void unbind_references_to(const TParamCollectionItem& item);
  std::vector<const TParamCollectionItem*> save_order(bool status) const;
  static void write_record(core::ByteWriter& w, const TParamCollectionItem& item);
  static void write_records(core::ByteWriter& w, const std::vector<const TParamCollectionItem*>& order);
  static std::vector<StagedItem> read_records(core::ByteReader& r);
  void commit(std::vector<StagedItem>& staged);
  // Reverses the creation order of the last n items.
  void reverse_last(std::size_t n);
  void rebind(TParamVar& ref);
  static std::string read_pushed_block(core::ByteReader& r);
  // Frees every variable that is neither a system nor a status variable (nor
  // a temporary); with `spares`, hands them over instead of deleting them.
  void free_game_variables(SpareItems* spares);

  TParamCollectionItem* m_buckets[256] = {};
  TParamCollectionItem* m_first = nullptr;
  TParamCollectionItem* m_last = nullptr;
  std::size_t m_size = 0;

  std::int32_t m_call_depth = 0;
  std::uint64_t m_generation = 1;
  std::size_t m_underscore_items = 0;
  std::size_t m_reference_items = 0;  // non-temporary items holding a reference
  int m_run_depth = 0;
  std::vector<std::unique_ptr<TParamCollectionItem>> m_graveyard;

  std::vector<std::string> m_pushed;
  TSystemVariableProvider* m_provider = nullptr;

  std::int32_t m_text_delay = 50;
  std::string m_cursor;
  std::string m_sel_str;
  std::int32_t m_sel_index = 0;
  std::string m_temp_name;
};

}  // namespace nova::expr
