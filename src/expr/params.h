// Typed values: the TCustomParam family.
//
// Every value is an array of elements of its class's type (a scalar is an
// array of one element without dimensions) and converts itself to and from
// the other types by one table of rules (number_text.h for the texts):
//
//   class    as integer          as float   as flag        as string
//   integer  the value           the value  value != 0     decimal text
//   float    truncated to zero   the value  value != 0.0   general float text
//   flag     0 or 1              0.0 / 1.0  the value      "TRUE" / "FALSE"
//   string   parsed, else 0      parsed,    text == "TRUE" the text
//                                else 0.0   exactly
//
// Writes in another type convert the same way into the class's own type. A
// scalar write (set_int, set_str ...) on an array first turns it back into a
// scalar holding its former element 0; scalar reads answer element 0.
//
// TParamVar holds no elements: it forwards to a variable of the store
// (param_collection.h), either as a whole (an operand naming a variable) or
// to one element (an alias made by the compiler's "dim" operation).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/binary_io.h"
#include "expr/types.h"

namespace nova::expr {

class TParamCollectionItem;
class TParamVar;

// The concrete class of a value, as a tag the executor's fast paths test
// instead of calling virtual functions. Plain classes use their type code.
enum TParamKind : std::uint8_t { PK_INT = 1, PK_FLOAT = 2, PK_FLAG = 3, PK_STR = 4, PK_VAR = 5, PK_SYSTEM = 6 };

class TCustomParam {
 public:
  explicit TCustomParam(TParamKind kind) : m_kind(kind) {}
  virtual ~TCustomParam() = default;

  TParamKind kind() const { return m_kind; }
  // The type without a virtual call for the plain classes.
  TParamType quick_type() const { return m_kind <= PK_STR ? static_cast<TParamType>(m_kind) : type(); }

  virtual TParamType type() const = 0;
  // Number of elements, at least 1.
  virtual std::int32_t count() const = 0;
  // Resizes; new elements are 0, 0.0, FALSE or "". Refuses counts below 1 or
  // above kMaxElements with the dimension-size error.
  virtual void set_count(std::int32_t n) = 0;

  // Scalar reads (element 0) and writes (make scalar, then set element 0).
  virtual bool as_flag() const = 0;
  virtual long double as_float() const = 0;
  virtual std::int32_t as_int() const = 0;
  virtual std::string as_str() const = 0;
  virtual void set_flag(bool v) = 0;
  virtual void set_float(long double v) = 0;
  virtual void set_int(std::int32_t v) = 0;
  virtual void set_str(std::string_view v) = 0;

  // Element access by flat index; outside 0 <= i < count raises
  // "配列の添字が不正です".
  virtual bool flag_at(std::int32_t i) const = 0;
  virtual long double float_at(std::int32_t i) const = 0;
  virtual std::int32_t int_at(std::int32_t i) const = 0;
  virtual std::string str_at(std::int32_t i) const = 0;
  virtual void set_flag_at(std::int32_t i, bool v) = 0;
  virtual void set_float_at(std::int32_t i, long double v) = 0;
  virtual void set_int_at(std::int32_t i, std::int32_t v) = 0;
  virtual void set_str_at(std::int32_t i, std::string_view v) = 0;

  // Dimensions: a scalar has one dimension of size 1; dim_size answers 1 for
  // an index outside.
  virtual std::int32_t dim_count() const = 0;
  virtual std::int32_t dim_size(std::int32_t i) const = 0;
  // The stored sizes (empty for a scalar).
  virtual std::vector<std::int32_t> dims() const = 0;
  // Every size must be above 0 and the product at most kMaxElements, else
  // "配列の要素数[%s]が不正です" with the sizes joined by ",". Existing
  // elements keep their flat positions. An empty list makes the value scalar.
  virtual void set_dims(std::span<const std::int32_t> sizes) = 0;
  // Drops the dimensions and keeps only element 0 (when there are any).
  virtual void make_scalar() = 0;

  // Copies dimensions and elements from a value of the same class (assign is
  // the same copy as CopyMem performs; another class raises
  // "CopyMem:変数の型があいません").
  virtual void copy_all(const TCustomParam& source) = 0;
  virtual void assign(const TCustomParam& source) { copy_all(source); }

  // Sets every element; a class takes the type it holds and converts others.
  virtual void fill_int(std::int32_t v) = 0;
  virtual void fill_float(long double v) = 0;
  virtual void fill_flag(bool v) = 0;
  virtual void fill_str(std::string_view v) = 0;

  // The value layout of variable records: dimension count and sizes, then
  // the class's own part. load reads everything before it changes anything,
  // and refuses counts that the remaining bytes cannot hold before it
  // allocates.
  virtual void save(core::ByteWriter& w) const = 0;
  virtual void load(core::ByteReader& r) = 0;

  // Index (0-based) of the first element that, read as a string, equals
  // `text` (case-insensitively unless `case_sensitive`) or with `partial`
  // contains it (after folding both to lower case unless `case_sensitive`);
  // -1 when none does.
  virtual std::int32_t index_of(std::string_view text, bool case_sensitive, bool partial) const;

  // A new plain value (TParamInt, TParamFloat, TParamFlag or TParamStr) with a
  // copy of what this value reads as: its dimensions and elements. nullptr for
  // a value of type PT_NONE.
  virtual std::unique_ptr<TCustomParam> detached() const = 0;

  // Back to the state of a new value of the class (one element, zero).
  virtual void reset_fresh() = 0;

  TParamVar* as_reference();
  const TParamVar* as_reference() const { return const_cast<TCustomParam*>(this)->as_reference(); }

 private:
  const TParamKind m_kind;
};

// A new value of a type: TParamInt, TParamFloat, TParamFlag, TParamStr, or an
// unbound TParamVar for PT_NONE. Other codes raise core::Error.
std::unique_ptr<TCustomParam> make_value(std::uint8_t type);

// Steps over the value record of a class (PT_NONE: a reference record)
// with every check the class's load makes, in the same order and with the
// same errors, but without building the value. `dims` is scratch space.
void check_value_record(core::ByteReader& r, std::uint8_t type, std::vector<std::int32_t>& dims);

// Writes `src`, read as type `t`, into `dst` with the scalar write of that
// type (set_int, set_float, set_flag or set_str); PT_NONE writes nothing.
void set_scalar_as(TCustomParam& dst, TParamType t, const TCustomParam& src);

// Raises "配列の添字が不正です".
[[noreturn]] void throw_bad_subscript();
// Raises "配列の要素数[%s]が不正です" for these sizes.
[[noreturn]] void throw_bad_dims(std::span<const std::int32_t> sizes);
// The element count of a set of dimensions; raises the dimension-size error
// for a size below 1 or a product above kMaxElements (computed without
// overflow).
std::int32_t element_count_of(std::span<const std::int32_t> sizes);

// Elements of one type and the rules that convert them.
struct IntTraits {
  using T = std::int32_t;
  static constexpr TParamType kType = PT_INT;
  static constexpr std::size_t kMinBytes = 4;
  static std::int32_t to_int(T v) { return v; }
  static long double to_float(T v) { return v; }
  static bool to_flag(T v) { return v != 0; }
  static std::string to_str(T v);
  static T from_int(std::int32_t v) { return v; }
  static T from_float(long double v);
  static T from_flag(bool v) { return v ? 1 : 0; }
  static T from_str(std::string_view v);
  static void write(core::ByteWriter& w, T v) { w.i32(v); }
  static T read(core::ByteReader& r) { return r.i32(); }
};

struct FloatTraits {
  using T = long double;
  static constexpr TParamType kType = PT_FLOAT;
  static constexpr std::size_t kMinBytes = core::kExtendedSize;
  static std::int32_t to_int(T v);
  static long double to_float(T v) { return v; }
  static bool to_flag(T v) { return v != 0; }
  static std::string to_str(T v);
  static T from_int(std::int32_t v) { return v; }
  static T from_float(long double v) { return v; }
  static T from_flag(bool v) { return v ? 1.0L : 0.0L; }
  static T from_str(std::string_view v);
  static void write(core::ByteWriter& w, T v) { w.f80(v); }
  static T read(core::ByteReader& r) { return r.f80(); }
};

struct FlagTraits {
  using T = std::uint8_t;  // 0 or 1
  static constexpr TParamType kType = PT_BOOL;
  static constexpr std::size_t kMinBytes = 1;
  static std::int32_t to_int(T v) { return v ? 1 : 0; }
  static long double to_float(T v) { return v ? 1.0L : 0.0L; }
  static bool to_flag(T v) { return v != 0; }
  static std::string to_str(T v) { return v ? "TRUE" : "FALSE"; }
  static T from_int(std::int32_t v) { return v != 0; }
  static T from_float(long double v) { return v != 0; }
  static T from_flag(bool v) { return v; }
  static T from_str(std::string_view v) { return v == "TRUE"; }
  static void write(core::ByteWriter& w, T v) { w.u8(v ? 1 : 0); }
  static T read(core::ByteReader& r) { return r.u8() != 0; }
};

struct StrTraits {
  using T = std::string;
  static constexpr TParamType kType = PT_STR;
  static constexpr std::size_t kMinBytes = 4;
  static std::int32_t to_int(const T& v);
  static long double to_float(const T& v);
  static bool to_flag(const T& v) { return v == "TRUE"; }
  static std::string to_str(const T& v) { return v; }
  static T from_int(std::int32_t v);
  static T from_float(long double v);
  static T from_flag(bool v) { return v ? "TRUE" : "FALSE"; }
  static T from_str(std::string_view v) { return T(v); }
  static void write(core::ByteWriter& w, const T& v) { w.str(v); }
  static T read(core::ByteReader& r) { return r.str(); }
};

// The element store shared by the four plain classes.
template <typename Traits>
class TParamArray : public TCustomParam {
 public:
  using T = typename Traits::T;

  TParamArray() : TCustomParam(static_cast<TParamKind>(Traits::kType)), m_elems(1) {}
  explicit TParamArray(T v) : TCustomParam(static_cast<TParamKind>(Traits::kType)) { m_elems.push_back(std::move(v)); }

  TParamType type() const final { return Traits::kType; }
  std::int32_t count() const final { return static_cast<std::int32_t>(m_elems.size()); }
  void set_count(std::int32_t n) final;

  bool as_flag() const final { return Traits::to_flag(m_elems[0]); }
  long double as_float() const final { return Traits::to_float(m_elems[0]); }
  std::int32_t as_int() const final { return Traits::to_int(m_elems[0]); }
  std::string as_str() const final { return Traits::to_str(m_elems[0]); }
  void set_flag(bool v) final { scalar() = Traits::from_flag(v); }
  void set_float(long double v) final { scalar() = Traits::from_float(v); }
  void set_int(std::int32_t v) final { scalar() = Traits::from_int(v); }
  void set_str(std::string_view v) final {
    // A text is copied into the element's own buffer, which its capacity
    // usually holds already: no allocation for each write.
    if constexpr (std::is_same_v<T, std::string>) {
      scalar().assign(v);
    } else {
      scalar() = Traits::from_str(v);
    }
  }

  bool flag_at(std::int32_t i) const final { return Traits::to_flag(at(i)); }
  long double float_at(std::int32_t i) const final { return Traits::to_float(at(i)); }
  std::int32_t int_at(std::int32_t i) const final { return Traits::to_int(at(i)); }
  std::string str_at(std::int32_t i) const final { return Traits::to_str(at(i)); }
  void set_flag_at(std::int32_t i, bool v) final { at(i) = Traits::from_flag(v); }
  void set_float_at(std::int32_t i, long double v) final { at(i) = Traits::from_float(v); }
  void set_int_at(std::int32_t i, std::int32_t v) final { at(i) = Traits::from_int(v); }
  void set_str_at(std::int32_t i, std::string_view v) final {
    if constexpr (std::is_same_v<T, std::string>) {
      at(i).assign(v);
    } else {
      at(i) = Traits::from_str(v);
    }
  }

  std::int32_t dim_count() const final { return m_dims.empty() ? 1 : static_cast<std::int32_t>(m_dims.size()); }
  std::int32_t dim_size(std::int32_t i) const final {
    return (i >= 0 && static_cast<std::size_t>(i) < m_dims.size()) ? m_dims[static_cast<std::size_t>(i)] : 1;
  }
  std::vector<std::int32_t> dims() const final { return m_dims; }
  void set_dims(std::span<const std::int32_t> sizes) final;
  void make_scalar() final {
    if (!m_dims.empty()) {
      m_dims.clear();
      m_elems.resize(1);
    }
  }

  void copy_all(const TCustomParam& source) final;

  void fill_int(std::int32_t v) final { fill(Traits::from_int(v)); }
  void fill_float(long double v) final { fill(Traits::from_float(v)); }
  void fill_flag(bool v) final { fill(Traits::from_flag(v)); }
  void fill_str(std::string_view v) final { fill(Traits::from_str(v)); }

  void save(core::ByteWriter& w) const final;
  void load(core::ByteReader& r) final;
  // Reads a value that check_value_record has passed, into the storage the
  // value already has (a store loading a block reuses the values it frees).
  // Unlike load it changes the value as it reads.
  void load_checked(core::ByteReader& r);

  std::unique_ptr<TCustomParam> detached() const final;
  void reset_fresh() final {
    m_dims.clear();
    m_elems.resize(1);
    if constexpr (std::is_same_v<T, std::string>) {
      m_elems[0].clear();  // keeps the capacity: temporaries reuse it
    } else {
      m_elems[0] = T{};
    }
  }

  bool has_dims() const { return !m_dims.empty(); }
  // Direct access for the builtin functions and the executor's fast paths.
  const std::vector<T>& elements() const { return m_elems; }
  std::vector<T>& elements() { return m_elems; }
  // Replaces dimensions and elements at once; the caller keeps them
  // consistent (at least one element).
  void set_contents(std::vector<std::int32_t> dims, std::vector<T> elems);

 private:
  T& scalar() {
    make_scalar();
    return m_elems[0];
  }
  const T& at(std::int32_t i) const {
    if (i < 0 || static_cast<std::size_t>(i) >= m_elems.size()) throw_bad_subscript();
    return m_elems[static_cast<std::size_t>(i)];
  }
  T& at(std::int32_t i) {
    if (i < 0 || static_cast<std::size_t>(i) >= m_elems.size()) throw_bad_subscript();
    return m_elems[static_cast<std::size_t>(i)];
  }
  void fill(const T& v) {
    for (auto& e : m_elems) e = v;
  }

  std::vector<std::int32_t> m_dims;
  std::vector<T> m_elems;  // never empty
};

class TParamInt final : public TParamArray<IntTraits> {
 public:
  using TParamArray::TParamArray;
};
class TParamFloat final : public TParamArray<FloatTraits> {
 public:
  using TParamArray::TParamArray;
};
class TParamFlag final : public TParamArray<FlagTraits> {
 public:
  TParamFlag() = default;
  explicit TParamFlag(bool v) : TParamArray(v ? 1 : 0) {}
};
class TParamStr final : public TParamArray<StrTraits> {
 public:
  TParamStr() = default;
  explicit TParamStr(std::string_view v) : TParamArray(std::string(v)) {}
};

// A reference to a variable of the store.
//
// Bound as a whole (an operand naming a variable), every operation goes to the
// variable's value. Bound to an element (an alias), it behaves as a scalar
// whose reads and writes go to that element of the variable; indexed access
// ignores the index, as for any scalar-only value. Unbound, it reads as 0,
// 0.0, FALSE or "", has type PT_NONE and ignores writes.
//
// A reference is never bound so that it reaches itself again: binding follows
// the chain of references it would join and refuses a cycle.
class TParamVar final : public TCustomParam {
 public:
  explicit TParamVar(std::string name = {}) : TCustomParam(PK_VAR), m_name(std::move(name)) {}

  // The name of the variable this reference stands for (an operand's text).
  const std::string& name() const { return m_name; }
  void set_name(std::string name) { m_name = std::move(name); }

  // Binds to the whole variable; when the variable is itself an element
  // alias, takes over its element instead.
  void bind_whole(TParamCollectionItem* item);
  // The same for an item whose value is known not to be a reference (the
  // executor's common case): nothing to follow, no cycle possible.
  void bind_whole_plain(TParamCollectionItem* item) {
    m_item = item;
    m_index = 0;
    m_element = false;
  }
  // Binds to element `index` of the variable (no range check here: element
  // access checks).
  void bind_element(TParamCollectionItem* item, std::int32_t index);
  void unbind() {
    m_item = nullptr;
    m_index = 0;
    m_element = false;
  }

  TParamCollectionItem* bound() const { return m_item; }
  bool is_element() const { return m_element; }
  std::int32_t element_index() const { return m_index; }
  std::uint8_t reserved() const { return m_reserved; }
  void set_reserved(std::uint8_t r) { m_reserved = r; }

  // After load: the name of the variable the record was bound to (empty when
  // unbound); the store binds it.
  const std::string& loaded_target_name() const { return m_loaded_target; }

  TParamType type() const override;
  std::int32_t count() const override;
  void set_count(std::int32_t n) override;
  bool as_flag() const override;
  long double as_float() const override;
  std::int32_t as_int() const override;
  std::string as_str() const override;
  void set_flag(bool v) override;
  void set_float(long double v) override;
  void set_int(std::int32_t v) override;
  void set_str(std::string_view v) override;
  bool flag_at(std::int32_t i) const override;
  long double float_at(std::int32_t i) const override;
  std::int32_t int_at(std::int32_t i) const override;
  std::string str_at(std::int32_t i) const override;
  void set_flag_at(std::int32_t i, bool v) override;
  void set_float_at(std::int32_t i, long double v) override;
  void set_int_at(std::int32_t i, std::int32_t v) override;
  void set_str_at(std::int32_t i, std::string_view v) override;
  std::int32_t dim_count() const override;
  std::int32_t dim_size(std::int32_t i) const override;
  std::vector<std::int32_t> dims() const override;
  void set_dims(std::span<const std::int32_t> sizes) override;
  void make_scalar() override;
  void copy_all(const TCustomParam& source) override;
  void assign(const TCustomParam& source) override;
  void fill_int(std::int32_t v) override;
  void fill_float(long double v) override;
  void fill_flag(bool v) override;
  void fill_str(std::string_view v) override;
  // The reference record: dimension count 0, its own name, the bound
  // variable's name (empty when unbound), the reserved byte, the element
  // index.
  void save(core::ByteWriter& w) const override;
  void load(core::ByteReader& r) override;
  std::int32_t index_of(std::string_view text, bool case_sensitive, bool partial) const override;
  std::unique_ptr<TCustomParam> detached() const override;
  void reset_fresh() override {
    unbind();
    m_loaded_target.clear();
  }

 private:
  TCustomParam* target() const;
  void check_no_cycle(TParamCollectionItem* item) const;

  std::string m_name;
  TParamCollectionItem* m_item = nullptr;  // not owned; the store unbinds before it frees
  std::int32_t m_index = 0;
  bool m_element = false;
  std::uint8_t m_reserved = 0;
  std::string m_loaded_target;
};

inline TParamVar* TCustomParam::as_reference() { return m_kind == PK_VAR ? static_cast<TParamVar*>(this) : nullptr; }

}  // namespace nova::expr
