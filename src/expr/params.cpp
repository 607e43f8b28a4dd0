#include "expr/params.h"

#include <string>

#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "expr/number_text.h"
#include "expr/param_collection.h"
#include "expr/sjis_string.h"

namespace nova::expr {

// --- Errors and helpers -----------------------------------------------------

void throw_bad_subscript() { core::throw_error(core::sjis("配列の添字が不正です")); }

void throw_bad_dims(std::span<const std::int32_t> sizes) {
  std::string joined;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    if (i) joined.push_back(',');
    joined += int_text(sizes[i]);
  }
  core::throw_error(core::format(core::sjis("配列の要素数[%s]が不正です"), {joined}));
}

std::int32_t element_count_of(std::span<const std::int32_t> sizes) {
  std::int64_t product = 1;
  for (std::int32_t s : sizes) {
    if (s < 1) throw_bad_dims(sizes);
    product *= s;
    if (product > kMaxElements) throw_bad_dims(sizes);
  }
  return static_cast<std::int32_t>(product);
}

std::unique_ptr<TCustomParam> make_value(std::uint8_t type) {
  switch (type) {
    case PT_NONE: return std::make_unique<TParamVar>();
    case PT_INT: return std::make_unique<TParamInt>();
    case PT_FLOAT: return std::make_unique<TParamFloat>();
    case PT_BOOL: return std::make_unique<TParamFlag>();
    case PT_STR: return std::make_unique<TParamStr>();
    default: break;
  }
  core::throw_error(core::format("invalid value type %d", {static_cast<int>(type)}));
}

void set_scalar_as(TCustomParam& dst, TParamType t, const TCustomParam& src) {
  switch (t) {
    case PT_INT: dst.set_int(src.as_int()); break;
    case PT_FLOAT: dst.set_float(src.as_float()); break;
    case PT_BOOL: dst.set_flag(src.as_flag()); break;
    case PT_STR: dst.set_str(src.as_str()); break;
    case PT_NONE: break;
  }
}

const std::string& type_display_name(TParamType t) {
  static const std::string none;
  switch (t) {
    case PT_INT: return core::sjis("整数");
    case PT_FLOAT: return core::sjis("実数");
    case PT_BOOL: return core::sjis("フラグ");
    case PT_STR: return core::sjis("文字列");
    default: return none;
  }
}

std::int32_t TCustomParam::index_of(std::string_view text, bool case_sensitive, bool partial) const {
  std::string needle = case_sensitive ? std::string(text) : platform::codepage::to_lower(text);
  const std::int32_t n = count();
  for (std::int32_t i = 0; i < n; ++i) {
    std::string element = str_at(i);
    bool match;
    if (partial) {
      if (!case_sensitive) element = platform::codepage::to_lower(element);
      match = find_on_boundary(element, needle) != std::string::npos;
    } else {
      match = case_sensitive ? element == text : core::equal_ci(element, text);
    }
    if (match) return i;
  }
  return -1;
}

// --- Conversion rules -------------------------------------------------------

std::string IntTraits::to_str(T v) { return int_text(v); }
IntTraits::T IntTraits::from_float(long double v) { return float_to_int(v); }
IntTraits::T IntTraits::from_str(std::string_view v) { return parse_int(v).value_or(0); }

std::int32_t FloatTraits::to_int(T v) { return float_to_int(v); }
std::string FloatTraits::to_str(T v) { return float_text(v); }
FloatTraits::T FloatTraits::from_str(std::string_view v) { return parse_float(v).value_or(0.0L); }

std::int32_t StrTraits::to_int(const T& v) { return parse_int(v).value_or(0); }
long double StrTraits::to_float(const T& v) { return parse_float(v).value_or(0.0L); }
StrTraits::T StrTraits::from_int(std::int32_t v) { return int_text(v); }
StrTraits::T StrTraits::from_float(long double v) { return float_text(v); }

// --- Plain values -----------------------------------------------------------

template <typename Traits>
void TParamArray<Traits>::set_count(std::int32_t n) {
  if (n < 1 || n > kMaxElements) {
    std::int32_t sizes[] = {n};
    throw_bad_dims(sizes);
  }
  m_elems.resize(static_cast<std::size_t>(n));
}

template <typename Traits>
void TParamArray<Traits>::set_dims(std::span<const std::int32_t> sizes) {
  if (sizes.empty()) {
    make_scalar();
    return;
  }
  std::int32_t n = element_count_of(sizes);
  m_elems.resize(static_cast<std::size_t>(n));
  m_dims.assign(sizes.begin(), sizes.end());
}

template <typename Traits>
void TParamArray<Traits>::copy_all(const TCustomParam& source) {
  const auto* same = source.kind() == static_cast<TParamKind>(Traits::kType)
                         ? static_cast<const TParamArray<Traits>*>(&source)
                         : nullptr;
  if (!same) {
    // A reference copies what it stands for.
    if (const TParamVar* ref = source.as_reference(); ref && ref->type() == Traits::kType) {
      auto plain = ref->detached();
      copy_all(*plain);
      return;
    }
    core::throw_error(core::sjis("CopyMem:変数の型があいません"));
  }
  if (same == this) return;
  m_dims = same->m_dims;
  m_elems = same->m_elems;
}

template <typename Traits>
void TParamArray<Traits>::save(core::ByteWriter& w) const {
  w.i32(static_cast<std::int32_t>(m_dims.size()));
  for (std::int32_t d : m_dims) w.i32(d);
  w.i32(static_cast<std::int32_t>(m_elems.size()));
  for (const T& e : m_elems) Traits::write(w, e);
}

template <typename Traits>
void TParamArray<Traits>::load(core::ByteReader& r) {
  std::int32_t ndims = r.i32();
  if (ndims < 0 || static_cast<std::size_t>(ndims) > r.remaining() / 4) r.fail("dimension count out of range");
  std::vector<std::int32_t> dims(static_cast<std::size_t>(ndims));
  for (auto& d : dims) d = r.i32();
  if (!dims.empty()) element_count_of(dims);
  std::int32_t n = r.i32();
  if (n < 1 || n > kMaxElements || static_cast<std::size_t>(n) > r.remaining() / Traits::kMinBytes) {
    r.fail("element count out of range");
  }
  std::vector<T> elems;
  elems.reserve(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) elems.push_back(Traits::read(r));
  m_dims = std::move(dims);
  m_elems = std::move(elems);
}

template <typename Traits>
void TParamArray<Traits>::load_checked(core::ByteReader& r) {
  m_dims.resize(static_cast<std::size_t>(r.i32()));
  for (auto& d : m_dims) d = r.i32();
  m_elems.resize(static_cast<std::size_t>(r.i32()));
  for (T& e : m_elems) {
    if constexpr (std::is_same_v<T, std::string>) {
      const auto n = r.i32();
      const auto text = r.span(static_cast<std::size_t>(n));
      e.assign(reinterpret_cast<const char*>(text.data()), text.size());
    } else {
      e = Traits::read(r);
    }
  }
}

namespace {

template <typename Traits>
void check_array_record(core::ByteReader& r, std::vector<std::int32_t>& dims) {
  std::int32_t ndims = r.i32();
  if (ndims < 0 || static_cast<std::size_t>(ndims) > r.remaining() / 4) r.fail("dimension count out of range");
  dims.resize(static_cast<std::size_t>(ndims));
  for (auto& d : dims) d = r.i32();
  if (!dims.empty()) element_count_of(dims);
  std::int32_t n = r.i32();
  if (n < 1 || n > kMaxElements || static_cast<std::size_t>(n) > r.remaining() / Traits::kMinBytes) {
    r.fail("element count out of range");
  }
  if constexpr (std::is_same_v<typename Traits::T, std::string>) {
    for (std::int32_t i = 0; i < n; ++i) {
      std::int32_t length = r.i32();
      if (length < 0) r.fail("negative string length");
      r.skip(static_cast<std::size_t>(length));
    }
  } else {
    r.skip(static_cast<std::size_t>(n) * Traits::kMinBytes);
  }
}

}  // namespace

void check_value_record(core::ByteReader& r, std::uint8_t type, std::vector<std::int32_t>& dims) {
  switch (type) {
    case PT_INT: check_array_record<IntTraits>(r, dims); return;
    case PT_FLOAT: check_array_record<FloatTraits>(r, dims); return;
    case PT_BOOL: check_array_record<FlagTraits>(r, dims); return;
    case PT_STR: check_array_record<StrTraits>(r, dims); return;
    case PT_NONE: {
      // As TParamVar::load reads it.
      std::int32_t ndims = r.i32();
      if (ndims < 0 || static_cast<std::size_t>(ndims) > r.remaining() / 4) r.fail("dimension count out of range");
      r.skip(static_cast<std::size_t>(ndims) * 4);
      for (int i = 0; i < 2; ++i) {
        std::int32_t length = r.i32();
        if (length < 0) r.fail("negative string length");
        r.skip(static_cast<std::size_t>(length));
      }
      r.u8();
      r.i32();
      return;
    }
    default: core::throw_error("invalid value type");
  }
}

template <typename Traits>
std::unique_ptr<TCustomParam> TParamArray<Traits>::detached() const {
  std::unique_ptr<TCustomParam> copy = make_value(Traits::kType);
  static_cast<TParamArray<Traits>&>(*copy).set_contents(m_dims, m_elems);
  return copy;
}

template <typename Traits>
void TParamArray<Traits>::set_contents(std::vector<std::int32_t> dims, std::vector<T> elems) {
  if (elems.empty()) elems.resize(1);
  m_dims = std::move(dims);
  m_elems = std::move(elems);
}

template class TParamArray<IntTraits>;
template class TParamArray<FloatTraits>;
template class TParamArray<FlagTraits>;
template class TParamArray<StrTraits>;

// --- References -------------------------------------------------------------

TCustomParam* TParamVar::target() const { return m_item ? &m_item->value() : nullptr; }

void TParamVar::check_no_cycle(TParamCollectionItem* item) const {
  // Follow the references the binding would join; finding ourselves again
  // means reads would never end. Chains are short (the compiler's aliases
  // point at plain variables), so the walk is cheap; an absurdly long one is
  // refused too.
  int steps = 0;
  for (TParamCollectionItem* it = item; it; ++steps) {
    const TCustomParam* v = &it->value();
    if (v == this || steps > 64) core::throw_error("reference cycle");
    const TParamVar* ref = v->as_reference();
    it = ref ? ref->m_item : nullptr;
  }
}

void TParamVar::bind_whole(TParamCollectionItem* item) {
  if (!item) {
    unbind();
    return;
  }
  if (const TParamVar* alias = item->value().as_reference()) {
    if (alias->m_element && alias->m_item) {
      bind_element(alias->m_item, alias->m_index);
      return;
    }
    check_no_cycle(item);  // only a reference can lead back to us
  }
  m_item = item;
  m_index = 0;
  m_element = false;
}

void TParamVar::bind_element(TParamCollectionItem* item, std::int32_t index) {
  if (!item) {
    unbind();
    return;
  }
  if (const TParamVar* alias = item->value().as_reference(); alias && alias->m_element && alias->m_item) {
    // An element of an alias is the alias's element: aliases are scalars.
    index = alias->m_index;
    item = alias->m_item;
  }
  check_no_cycle(item);
  m_item = item;
  m_index = index;
  m_element = true;
}

TParamType TParamVar::type() const { return m_item ? m_item->value().type() : PT_NONE; }

std::int32_t TParamVar::count() const { return (m_item && !m_element) ? target()->count() : 1; }

void TParamVar::set_count(std::int32_t n) {
  if (m_item && !m_element) target()->set_count(n);
}

bool TParamVar::as_flag() const {
  if (!m_item) return false;
  return m_element ? target()->flag_at(m_index) : target()->as_flag();
}
long double TParamVar::as_float() const {
  if (!m_item) return 0;
  return m_element ? target()->float_at(m_index) : target()->as_float();
}
std::int32_t TParamVar::as_int() const {
  if (!m_item) return 0;
  return m_element ? target()->int_at(m_index) : target()->as_int();
}
std::string TParamVar::as_str() const {
  if (!m_item) return {};
  return m_element ? target()->str_at(m_index) : target()->as_str();
}
void TParamVar::set_flag(bool v) {
  if (!m_item) return;
  m_element ? target()->set_flag_at(m_index, v) : target()->set_flag(v);
}
void TParamVar::set_float(long double v) {
  if (!m_item) return;
  m_element ? target()->set_float_at(m_index, v) : target()->set_float(v);
}
void TParamVar::set_int(std::int32_t v) {
  if (!m_item) return;
  m_element ? target()->set_int_at(m_index, v) : target()->set_int(v);
}
void TParamVar::set_str(std::string_view v) {
  if (!m_item) return;
  m_element ? target()->set_str_at(m_index, v) : target()->set_str(v);
}

bool TParamVar::flag_at(std::int32_t i) const {
  if (!m_item) return false;
  return target()->flag_at(m_element ? m_index : i);
}
long double TParamVar::float_at(std::int32_t i) const {
  if (!m_item) return 0;
  return target()->float_at(m_element ? m_index : i);
}
std::int32_t TParamVar::int_at(std::int32_t i) const {
  if (!m_item) return 0;
  return target()->int_at(m_element ? m_index : i);
}
std::string TParamVar::str_at(std::int32_t i) const {
  if (!m_item) return {};
  return target()->str_at(m_element ? m_index : i);
}
void TParamVar::set_flag_at(std::int32_t i, bool v) {
  if (m_item) target()->set_flag_at(m_element ? m_index : i, v);
}
void TParamVar::set_float_at(std::int32_t i, long double v) {
  if (m_item) target()->set_float_at(m_element ? m_index : i, v);
}
void TParamVar::set_int_at(std::int32_t i, std::int32_t v) {
  if (m_item) target()->set_int_at(m_element ? m_index : i, v);
}
void TParamVar::set_str_at(std::int32_t i, std::string_view v) {
  if (m_item) target()->set_str_at(m_element ? m_index : i, v);
}

std::int32_t TParamVar::dim_count() const { return (m_item && !m_element) ? target()->dim_count() : 1; }
std::int32_t TParamVar::dim_size(std::int32_t i) const { return (m_item && !m_element) ? target()->dim_size(i) : 1; }
std::vector<std::int32_t> TParamVar::dims() const {
  return (m_item && !m_element) ? target()->dims() : std::vector<std::int32_t>{};
}
void TParamVar::set_dims(std::span<const std::int32_t> sizes) {
  if (m_item && !m_element) target()->set_dims(sizes);
}
void TParamVar::make_scalar() {
  if (m_item && !m_element) target()->make_scalar();
}

void TParamVar::copy_all(const TCustomParam& source) {
  if (!m_item) return;
  if (!m_element) {
    target()->copy_all(source);
    return;
  }
  set_scalar_as(*this, type(), source);
}
void TParamVar::assign(const TCustomParam& source) {
  if (m_item && !m_element) {
    target()->assign(source);
    return;
  }
  copy_all(source);
}

void TParamVar::fill_int(std::int32_t v) {
  if (!m_item) return;
  m_element ? set_int(v) : target()->fill_int(v);
}
void TParamVar::fill_float(long double v) {
  if (!m_item) return;
  m_element ? set_float(v) : target()->fill_float(v);
}
void TParamVar::fill_flag(bool v) {
  if (!m_item) return;
  m_element ? set_flag(v) : target()->fill_flag(v);
}
void TParamVar::fill_str(std::string_view v) {
  if (!m_item) return;
  m_element ? set_str(v) : target()->fill_str(v);
}

void TParamVar::save(core::ByteWriter& w) const {
  w.i32(0);
  w.str(m_name);
  w.str(m_item ? std::string_view(m_item->name()) : std::string_view());
  w.u8(m_reserved);
  w.i32(m_index);
}

void TParamVar::load(core::ByteReader& r) {
  std::int32_t ndims = r.i32();
  if (ndims < 0 || static_cast<std::size_t>(ndims) > r.remaining() / 4) r.fail("dimension count out of range");
  r.skip(static_cast<std::size_t>(ndims) * 4);
  std::string name = r.str();
  std::string target_name = r.str();
  std::uint8_t reserved = r.u8();
  std::int32_t index = r.i32();
  unbind();
  m_name = std::move(name);
  m_loaded_target = std::move(target_name);
  m_reserved = reserved;
  m_index = index;
}

std::int32_t TParamVar::index_of(std::string_view text, bool case_sensitive, bool partial) const {
  if (m_item && !m_element) return target()->index_of(text, case_sensitive, partial);
  return TCustomParam::index_of(text, case_sensitive, partial);
}

std::unique_ptr<TCustomParam> TParamVar::detached() const {
  if (!m_item) return nullptr;
  if (!m_element) return target()->detached();
  const TParamType t = type();
  if (t == PT_NONE) return nullptr;
  std::unique_ptr<TCustomParam> v = make_value(t);
  set_scalar_as(*v, t, *this);
  return v;
}

}  // namespace nova::expr
