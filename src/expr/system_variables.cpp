#include "expr/system_variables.h"

#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "expr/number_text.h"
#include "expr/param_collection.h"

namespace nova::expr {

const std::array<TSystemVariableInfo, kSystemVariableCount> kSystemVariables = {{
    {"@Result", PT_NONE, true, false, true},
    {"@LClick", PT_BOOL, true, false, false},
    {"@RClick", PT_BOOL, true, false, false},
    {"@LPush", PT_BOOL, false, false, false},
    {"@RPush", PT_BOOL, false, false, false},
    {"@MouseX", PT_INT, true, false, false},
    {"@MouseY", PT_INT, true, false, false},
    {"@TextDelay", PT_INT, true, false, false},
    {"@HistoryCount", PT_INT, false, false, false},
    {"@ParamCount", PT_INT, false, false, false},
    {"@ParamStr", PT_STR, false, true, false},
    {"@Sender", PT_STR, false, false, false},
    {"@ScrWidth", PT_INT, false, false, false},
    {"@ScrHeight", PT_INT, false, false, false},
    {"@TickCount", PT_INT, false, false, false},
    {"@PCTickCount", PT_INT, false, false, false},
    {"@UpdateCount", PT_INT, false, false, false},
    {"@Year", PT_INT, false, false, false},
    {"@Month", PT_INT, false, false, false},
    {"@Day", PT_INT, false, false, false},
    {"@Week", PT_INT, false, false, false},
    {"@Hour", PT_INT, false, false, false},
    {"@Min", PT_INT, false, false, false},
    {"@Sec", PT_INT, false, false, false},
    {"@Fonts", PT_STR, false, false, false},
    {"@FixedFonts", PT_STR, false, false, false},
    {"@FullScr", PT_BOOL, true, false, false},
    {"@Cursor", PT_STR, true, false, false},
    {"@SelStr", PT_STR, true, false, false},
    {"@SelIndex", PT_INT, true, false, false},
    {"@Pi", PT_FLOAT, false, false, false},
    {"@CGDither", PT_BOOL, true, false, false},
    {"@1Hour", PT_FLOAT, false, false, false},
    {"@1Min", PT_FLOAT, false, false, false},
    {"@1Sec", PT_FLOAT, false, false, false},
    {"@KeyPush", PT_BOOL, false, true, false},
    {"@KeyClick", PT_BOOL, false, true, false},
    {"@DisplayModeCount", PT_INT, false, false, false},
    {"@DisplayModeIndex", PT_INT, true, false, false},
    {"@Title", PT_STR, false, false, false},
    {"@SoundON", PT_BOOL, true, false, false},
    {"@ActiveCompo", PT_STR, true, false, false},
    {"@KeyRepeat", PT_BOOL, false, true, false},
    {"@HistoryMaxCount", PT_INT, true, false, false},
    {"@Temp", PT_NONE, true, false, true},
    {"@MidiPort", PT_STR, true, false, false},
    {"@MidiPorts", PT_STR, false, true, false},
    {"@WheelDown", PT_BOOL, false, false, false},
    {"@WheelUp", PT_BOOL, false, false, false},
    {"@IsDebug", PT_BOOL, false, false, false},
    {"@StackCount", PT_INT, false, false, false},
}};

namespace {

// Converts a value of the variable's own type by the ordinary rules.
template <typename Traits>
typename Traits::T own(const TSysValue& v, TParamType t) {
  switch (t) {
    case PT_INT: return Traits::from_int(v.i);
    case PT_FLOAT: return Traits::from_float(v.f);
    case PT_BOOL: return Traits::from_flag(v.b);
    default: return Traits::from_str(v.s);
  }
}

// The other direction, for writes: a value of From's type into the field of
// type `t`. From's to_* functions are the same table of rules as the from_*
// functions own<> uses, so reads and writes cannot drift apart.
template <typename From>
TSysValue to_own(TParamType t, typename From::T v) {
  TSysValue s;
  switch (t) {
    case PT_INT: s.i = From::to_int(v); break;
    case PT_FLOAT: s.f = From::to_float(v); break;
    case PT_BOOL: s.b = From::to_flag(v); break;
    default: s.s = From::to_str(v); break;
  }
  return s;
}

// @Result and @Temp can lead back to themselves through names and
// references (@Temp naming a reference bound to @Temp, say), and each step
// calls the next: one use follows at most this many forwarding steps, then
// acts as if the variable stood for nothing.
constexpr int kMaxForwarding = 8;
thread_local int t_forward_depth = 0;

class ForwardStep {
 public:
  ForwardStep() : m_ok(t_forward_depth < kMaxForwarding) { ++t_forward_depth; }
  ~ForwardStep() { --t_forward_depth; }
  ForwardStep(const ForwardStep&) = delete;
  ForwardStep& operator=(const ForwardStep&) = delete;
  bool ok() const { return m_ok; }

 private:
  bool m_ok;
};

}  // namespace

void TParamSystem::bad_index() { core::throw_error(core::sjis("内部エラー")); }

TSystemVariableProvider& TParamSystem::provider() const {
  const TSystemVariableInfo& i = info();
  TSystemVariableProvider* p = m_store.system_variables();
  if (!p) {
    core::throw_error(core::format("system variable %s is not available (no provider attached)", {i.name}));
  }
  return *p;
}

TCustomParam* TParamSystem::referred() const { return provider().referred(m_index); }

TParamType TParamSystem::type() const {
  const TSystemVariableInfo& i = info();
  if (!i.forwards) return i.type;
  TSystemVariableProvider* p = m_store.system_variables();
  ForwardStep step;
  TCustomParam* r = (p && step.ok()) ? p->referred(m_index) : nullptr;
  return r ? r->type() : PT_NONE;
}

TSysValue TParamSystem::read(std::int32_t element) const {
  TSysValue v;
  provider().read(m_index, element, v);
  return v;
}

bool TParamSystem::read_flag(std::int32_t e) const { return own<FlagTraits>(read(e), info().type) != 0; }
long double TParamSystem::read_float(std::int32_t e) const { return own<FloatTraits>(read(e), info().type); }
std::int32_t TParamSystem::read_int(std::int32_t e) const {
  const TParamType type = info().type;
  const TSysValue v = read(e);
  // Most reads are of an integer variable as an integer.
  return type == PT_INT ? v.i : own<IntTraits>(v, type);
}
std::string TParamSystem::read_str(std::int32_t e) const { return own<StrTraits>(read(e), info().type); }

void TParamSystem::write(std::int32_t element, const TSysValue& v) {
  TSystemVariableProvider& p = provider();
  if (info().writable) p.write(m_index, element, v);
}

void TParamSystem::write_int(std::int32_t e, std::int32_t v) { write(e, to_own<IntTraits>(info().type, v)); }
void TParamSystem::write_float(std::int32_t e, long double v) { write(e, to_own<FloatTraits>(info().type, v)); }
void TParamSystem::write_flag(std::int32_t e, bool v) { write(e, to_own<FlagTraits>(info().type, v ? 1 : 0)); }

void TParamSystem::write_str(std::int32_t e, std::string_view v) {
  TSysValue s;
  switch (info().type) {
    case PT_INT: {
      auto n = parse_int(v);
      if (!n) {
        provider();  // still an error without a provider
        return;
      }
      s.i = *n;
      break;
    }
    case PT_FLOAT: {
      auto f = parse_float(v);
      if (!f) {
        provider();
        return;
      }
      s.f = *f;
      break;
    }
    case PT_BOOL: s.b = parse_int(v).value_or(0) != 0; break;
    default: s.s = std::string(v); break;
  }
  write(e, s);
}

std::int32_t TParamSystem::count() const {
  const TSystemVariableInfo& i = info();
  if (i.forwards) {
    ForwardStep step;
    TCustomParam* r = step.ok() ? referred() : nullptr;
    return r ? r->count() : 1;
  }
  TSystemVariableProvider& p = provider();
  return i.is_array ? p.count(m_index) : 1;
}

void TParamSystem::set_count(std::int32_t n) {
  if (!info().forwards) {
    provider();
    return;
  }
  ForwardStep step;
  if (TCustomParam* r = step.ok() ? referred() : nullptr) r->set_count(n);
}

#define NOVA_SYS_FORWARD_READ(call, zero)               \
  if (info().forwards) {                                \
    ForwardStep step;                                   \
    TCustomParam* r = step.ok() ? referred() : nullptr; \
    return r ? r->call : zero;                          \
  }

bool TParamSystem::as_flag() const {
  NOVA_SYS_FORWARD_READ(as_flag(), false)
  return read_flag(-1);
}
long double TParamSystem::as_float() const {
  NOVA_SYS_FORWARD_READ(as_float(), 0.0L)
  return read_float(-1);
}
std::int32_t TParamSystem::as_int() const {
  NOVA_SYS_FORWARD_READ(as_int(), 0)
  return read_int(-1);
}
std::string TParamSystem::as_str() const {
  NOVA_SYS_FORWARD_READ(as_str(), std::string())
  return read_str(-1);
}
bool TParamSystem::flag_at(std::int32_t i) const {
  NOVA_SYS_FORWARD_READ(flag_at(i), false)
  return read_flag(element_for(i));
}
long double TParamSystem::float_at(std::int32_t i) const {
  NOVA_SYS_FORWARD_READ(float_at(i), 0.0L)
  return read_float(element_for(i));
}
std::int32_t TParamSystem::int_at(std::int32_t i) const {
  NOVA_SYS_FORWARD_READ(int_at(i), 0)
  return read_int(element_for(i));
}
std::string TParamSystem::str_at(std::int32_t i) const {
  NOVA_SYS_FORWARD_READ(str_at(i), std::string())
  return read_str(element_for(i));
}
#undef NOVA_SYS_FORWARD_READ

#define NOVA_SYS_FORWARD_WRITE(call)                          \
  if (info().forwards) {                                      \
    ForwardStep step;                                         \
    if (TCustomParam* r = step.ok() ? referred() : nullptr) { \
      r->call;                                                \
    }                                                         \
    return;                                                   \
  }

void TParamSystem::set_flag(bool v) {
  NOVA_SYS_FORWARD_WRITE(set_flag(v))
  write_flag(-1, v);
}
void TParamSystem::set_float(long double v) {
  NOVA_SYS_FORWARD_WRITE(set_float(v))
  write_float(-1, v);
}
void TParamSystem::set_int(std::int32_t v) {
  NOVA_SYS_FORWARD_WRITE(set_int(v))
  write_int(-1, v);
}
void TParamSystem::set_str(std::string_view v) {
  NOVA_SYS_FORWARD_WRITE(set_str(v))
  write_str(-1, v);
}
void TParamSystem::set_flag_at(std::int32_t i, bool v) {
  NOVA_SYS_FORWARD_WRITE(set_flag_at(i, v))
  write_flag(element_for(i), v);
}
void TParamSystem::set_float_at(std::int32_t i, long double v) {
  NOVA_SYS_FORWARD_WRITE(set_float_at(i, v))
  write_float(element_for(i), v);
}
void TParamSystem::set_int_at(std::int32_t i, std::int32_t v) {
  NOVA_SYS_FORWARD_WRITE(set_int_at(i, v))
  write_int(element_for(i), v);
}
void TParamSystem::set_str_at(std::int32_t i, std::string_view v) {
  NOVA_SYS_FORWARD_WRITE(set_str_at(i, v))
  write_str(element_for(i), v);
}
void TParamSystem::set_dims(std::span<const std::int32_t> sizes) {
  NOVA_SYS_FORWARD_WRITE(set_dims(sizes))
  provider();
}
void TParamSystem::make_scalar() {
  NOVA_SYS_FORWARD_WRITE(make_scalar())
  provider();
}
void TParamSystem::fill_int(std::int32_t v) {
  NOVA_SYS_FORWARD_WRITE(fill_int(v))
  write_int(-1, v);
}
void TParamSystem::fill_float(long double v) {
  NOVA_SYS_FORWARD_WRITE(fill_float(v))
  write_float(-1, v);
}
void TParamSystem::fill_flag(bool v) {
  NOVA_SYS_FORWARD_WRITE(fill_flag(v))
  write_flag(-1, v);
}
void TParamSystem::fill_str(std::string_view v) {
  NOVA_SYS_FORWARD_WRITE(fill_str(v))
  write_str(-1, v);
}
void TParamSystem::copy_all(const TCustomParam& source) {
  NOVA_SYS_FORWARD_WRITE(copy_all(source))
  provider();
  core::throw_error(core::sjis("CopyMem:変数の型があいません"));
}
void TParamSystem::assign(const TCustomParam& source) {
  NOVA_SYS_FORWARD_WRITE(assign(source))
  provider();
  core::throw_error(core::sjis("CopyMem:変数の型があいません"));
}
#undef NOVA_SYS_FORWARD_WRITE

std::int32_t TParamSystem::dim_count() const {
  if (info().forwards) {
    ForwardStep step;
    TCustomParam* r = step.ok() ? referred() : nullptr;
    return r ? r->dim_count() : 1;
  }
  provider();
  return 1;
}

std::int32_t TParamSystem::dim_size(std::int32_t i) const {
  const TSystemVariableInfo& in = info();
  if (in.forwards) {
    ForwardStep step;
    TCustomParam* r = step.ok() ? referred() : nullptr;
    return r ? r->dim_size(i) : 1;
  }
  TSystemVariableProvider& p = provider();
  return (in.is_array && i == 0) ? p.count(m_index) : 1;
}

std::vector<std::int32_t> TParamSystem::dims() const {
  const TSystemVariableInfo& in = info();
  if (in.forwards) {
    ForwardStep step;
    TCustomParam* r = step.ok() ? referred() : nullptr;
    return r ? r->dims() : std::vector<std::int32_t>{};
  }
  TSystemVariableProvider& p = provider();
  if (in.is_array) return {p.count(m_index)};
  return {};
}

std::int32_t TParamSystem::index_of(std::string_view text, bool case_sensitive, bool partial) const {
  if (info().forwards) {
    ForwardStep step;
    TCustomParam* r = step.ok() ? referred() : nullptr;
    return r ? r->index_of(text, case_sensitive, partial) : -1;
  }
  return TCustomParam::index_of(text, case_sensitive, partial);
}

std::unique_ptr<TCustomParam> TParamSystem::detached() const {
  const TSystemVariableInfo& in = info();
  if (in.forwards) {
    ForwardStep step;
    TCustomParam* r = step.ok() ? referred() : nullptr;
    return r ? r->detached() : nullptr;
  }
  std::unique_ptr<TCustomParam> v = make_value(in.type);
  std::int32_t n = count();
  if (in.is_array) {
    if (n < 1) return v;
    std::int32_t sizes[] = {n};
    v->set_dims(sizes);
  }
  for (std::int32_t i = 0; i < n; ++i) {
    std::int32_t e = in.is_array ? i : -1;
    switch (in.type) {
      case PT_INT: v->set_int_at(i, read_int(e)); break;
      case PT_FLOAT: v->set_float_at(i, read_float(e)); break;
      case PT_BOOL: v->set_flag_at(i, read_flag(e)); break;
      default: v->set_str_at(i, read_str(e)); break;
    }
  }
  return v;
}

void TParamSystem::save(core::ByteWriter& w) const {
  std::unique_ptr<TCustomParam> v = detached();
  if (v) {
    v->save(w);
  } else {
    TParamVar().save(w);
  }
}

void TParamSystem::load(core::ByteReader& r) {
  const TSystemVariableInfo& in = info();
  if (in.forwards) {
    ForwardStep step;
    if (TCustomParam* target = step.ok() ? referred() : nullptr) {
      target->load(r);
    } else {
      TParamVar().load(r);
    }
    return;
  }
  std::unique_ptr<TCustomParam> v = make_value(in.type);
  v->load(r);
  set_scalar_as(*this, in.type, *v);
}

}  // namespace nova::expr
