// Loading, saving and executing compiled expressions.
//
// Index: stream format · the run's name resolution · temporaries · the
// operators · execute · helpers (compile_expression, check_expression, var_new).
#include "expr/nova_parser.h"

#include <array>
#include <limits>

#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "expr/build_parser.h"
#include "expr/number_text.h"

namespace nova::expr {

namespace {

// A cached lookup of one name. Temporary names ("____...") go to a slot of
// the parser; other names remember the store generation they were found at.
struct NameRef {
  int slot = -1;
  TParamCollectionItem* item = nullptr;
  std::uint64_t generation = 0;
};

struct OperandRef {
  TParamVar* var = nullptr;
  NameRef ref;
};

struct OpRuntime {
  bool valid = false;  // a known code with enough operands
  NameRef target;
  std::vector<OperandRef> vars;
  std::vector<TCustomParam*> args;  // every operand, for the function manager
};

struct Slot {
  enum State : std::uint8_t { Dead, Pending, Linked };
  State state = Dead;
  std::string name;
  std::uint8_t bucket = 0;
  std::unique_ptr<TParamCollectionItem> item;
  std::array<std::unique_ptr<TCustomParam>, 5> spare;  // values of the other classes, kept for reuse
};

[[noreturn]] void missing_variable(std::string_view name) {
  core::throw_error(core::format(core::sjis("\"%s\" 変数がありません"), {name}));
}

bool is_comparison(std::uint8_t code) {
  return code == ocEqual || code == ocBig || code == ocSmall || code == ocEBig || code == ocESmall || code == ocNEqual;
}

std::size_t required_operands(std::uint8_t code) {
  switch (code) {
    case ocTo:
    case ocDimTo: return 1;
    case ocFunc: return 0;
    default: return 2;
  }
}

std::int32_t wrap(std::int64_t v) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}

// Fast paths: plain integers and flags, directly or through a reference, are
// read and written without virtual calls; everything else takes the general
// virtual route, which also raises the errors (a bad element index ...).
// The type of an operand; a reference to a plain value answers without a
// virtual call.
[[gnu::always_inline]] inline TParamType type_of(const TCustomParam& v) {
  if (v.kind() == PK_VAR) {
    TParamCollectionItem* item = static_cast<const TParamVar&>(v).bound();
    return item ? item->value().quick_type() : PT_NONE;
  }
  return v.quick_type();
}

// The element a plain value of class Param stands for, directly or through a
// reference; nullptr when the value is of another class or the element is out
// of range (the general route then raises the error).
template <typename Param>
[[gnu::always_inline]] inline const typename Param::T* plain_element(const TCustomParam& v, TParamKind kind) {
  const TCustomParam* p = &v;
  std::size_t index = 0;
  if (v.kind() == PK_VAR) {
    const TParamVar& r = static_cast<const TParamVar&>(v);
    TParamCollectionItem* item = r.bound();
    if (!item) return nullptr;
    p = &item->value();
    if (r.is_element()) index = static_cast<std::size_t>(static_cast<std::uint32_t>(r.element_index()));
  }
  if (p->kind() != kind) return nullptr;
  const auto& e = static_cast<const Param*>(p)->elements();
  return index < e.size() ? &e[index] : nullptr;
}

[[gnu::always_inline]] inline std::int32_t read_int(const TCustomParam& v) {
  const std::int32_t* e = plain_element<TParamInt>(v, PK_INT);
  return e ? *e : v.as_int();
}

bool read_flag(const TCustomParam& v) {
  const std::uint8_t* e = plain_element<TParamFlag>(v, PK_FLAG);
  return e ? *e != 0 : v.as_flag();
}

[[gnu::always_inline]] inline void write_int(TCustomParam& t, std::int32_t v) {
  if (t.kind() == PK_INT && !static_cast<TParamInt&>(t).has_dims()) {
    static_cast<TParamInt&>(t).elements()[0] = v;
    return;
  }
  t.set_int(v);
}

[[gnu::always_inline]] inline void write_flag(TCustomParam& t, bool v) {
  if (t.kind() == PK_FLAG && !static_cast<TParamFlag&>(t).has_dims()) {
    static_cast<TParamFlag&>(t).elements()[0] = v ? 1 : 0;
    return;
  }
  t.set_flag(v);
}

// Copies a plain value into one of the same class; scalars of the numeric
// classes without the general copy.
void copy_plain(TCustomParam& to, const TCustomParam& from) {
  auto scalar = [&](auto* d, const auto* s) {
    if (d->has_dims() || s->has_dims() || d->elements().size() != 1 || s->elements().size() != 1) return false;
    d->elements()[0] = s->elements()[0];
    return true;
  };
  bool done = false;
  switch (from.kind()) {
    case PK_INT: done = scalar(static_cast<TParamInt*>(&to), static_cast<const TParamInt*>(&from)); break;
    case PK_FLAG: done = scalar(static_cast<TParamFlag*>(&to), static_cast<const TParamFlag*>(&from)); break;
    case PK_FLOAT: done = scalar(static_cast<TParamFloat*>(&to), static_cast<const TParamFloat*>(&from)); break;
    default: break;
  }
  if (!done) to.copy_all(from);
}

template <typename T>
bool compare(std::uint8_t code, const T& a, const T& b) {
  switch (code) {
    case ocEqual: return a == b;
    case ocBig: return a > b;
    case ocSmall: return a < b;
    case ocEBig: return a >= b;
    case ocESmall: return a <= b;
    default: return a != b;  // ocNEqual
  }
}

}  // namespace

struct TNovaParser::Impl {
  std::vector<TOpeData> ops;
  std::vector<OpRuntime> rt;
  std::vector<Slot> slots;
  std::int32_t live = 0;  // temporaries of this run linked into the store
  // Temporaries are linked into the store only once something could look
  // for them there: a function call, a system variable (whose provider may
  // look names up), or "____" items that are not ours. Until then they live
  // in their slots alone, which spares linking and unlinking them.
  bool eager = false;
  std::vector<int> made;    // slots made in this run, in order
  bool has_result = false;  // the last operation is "____arg = ..."
  bool running = false;
  TParamCollection* store = nullptr;
  const TSysFuncMan* funcs = nullptr;

  void prepare();
  int slot_for(const std::string& name);
  TParamCollectionItem* resolve(NameRef& ref, const std::string& name);
  TParamCollectionItem& create_temporary(const TOpeData& op, OpRuntime& r);
  TParamType temporary_type(const TOpeData& op, const OpRuntime& r) const;
  void run(std::size_t index);
  void bind_alias(const TOpeData& op, TParamCollectionItem* target);
  void perform(const TOpeData& op, OpRuntime& r, TCustomParam& t);
  [[noreturn]] void invalid(const TOpeData& op) const;
  void finish();
  void materialize();
  // @Result and @Temp stand for a variable found by name, which may be one
  // of the run's temporaries; the other system variables answer from their
  // subsystem's state and never look at names, so they need no
  // temporaries in the store.
  static bool is_forwarding_system(const TParamCollectionItem* item) {
    if (!item) return false;
    const TCustomParam* v = &item->value();
    if (v->kind() == PK_VAR) {
      const TParamCollectionItem* b = static_cast<const TParamVar*>(v)->bound();
      if (!b) return false;
      v = &b->value();
    }
    return v->kind() == PK_SYSTEM && static_cast<const TParamSystem*>(v)->forwards();
  }
};

// --- Stream format ----------------------------------------------------------

namespace {

constexpr std::size_t kMinOpBytes = 1 + 4 + 4;
constexpr std::size_t kMinOperandBytes = 2;

std::unique_ptr<TCustomParam> read_operand(core::ByteReader& r) {
  std::uint8_t kind = r.u8();
  switch (kind) {
    case PT_NONE: return std::make_unique<TParamVar>(r.str());
    case PT_INT: return std::make_unique<TParamInt>(r.i32());
    case PT_FLOAT: return std::make_unique<TParamFloat>(r.f80());
    case PT_BOOL: return std::make_unique<TParamFlag>(r.u8() != 0);
    case PT_STR: return std::make_unique<TParamStr>(r.str());
    default: r.fail("invalid operand kind");
  }
}

void write_operand(core::ByteWriter& w, const TCustomParam& v) {
  if (const TParamVar* ref = v.as_reference()) {
    w.u8(PT_NONE);
    w.str(ref->name());
    return;
  }
  switch (v.type()) {
    case PT_INT: w.u8(PT_INT), w.i32(v.as_int()); break;
    case PT_FLOAT: w.u8(PT_FLOAT), w.f80(v.as_float()); break;
    case PT_BOOL: w.u8(PT_BOOL), w.u8(v.as_flag() ? 1 : 0); break;
    default: w.u8(PT_STR), w.str(v.as_str()); break;
  }
}

std::unique_ptr<TCustomParam> copy_operand(const TCustomParam& v) {
  if (const TParamVar* ref = v.as_reference()) return std::make_unique<TParamVar>(ref->name());
  return v.detached();
}

}  // namespace

TNovaParser::TNovaParser() : m_impl(std::make_unique<Impl>()) {}
TNovaParser::~TNovaParser() = default;
TNovaParser::TNovaParser(TNovaParser&&) noexcept = default;
TNovaParser& TNovaParser::operator=(TNovaParser&&) noexcept = default;

const std::vector<TOpeData>& TNovaParser::operations() const { return m_impl->ops; }
bool TNovaParser::empty() const { return m_impl->ops.empty(); }

void TNovaParser::load(core::ByteReader& r) {
  m_impl->ops.clear();
  m_impl->prepare();
  m_has_result = false;
  std::int32_t count = r.i32();
  if (count < 0 || static_cast<std::size_t>(count) > r.remaining() / kMinOpBytes)
    r.fail("operation count out of range");
  std::vector<TOpeData> ops(static_cast<std::size_t>(count));
  for (TOpeData& op : ops) {
    op.code = static_cast<TOpeCode>(r.u8());
    op.target = r.str();
    std::int32_t n = r.i32();
    if (op.code == ocFunc) {
      op.func_index = r.u8();
      if (op.func_index >= kSysFuncCount) r.fail("function index out of range");
    }
    if (n < 0 || static_cast<std::size_t>(n) > r.remaining() / kMinOperandBytes) r.fail("operand count out of range");
    op.operands.reserve(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) op.operands.push_back(read_operand(r));
  }
  m_impl->ops = std::move(ops);
  m_impl->prepare();
}

void TNovaParser::save(core::ByteWriter& w) const {
  w.i32(static_cast<std::int32_t>(m_impl->ops.size()));
  for (const TOpeData& op : m_impl->ops) {
    write_op_header(w, op.code, op.target, static_cast<std::int32_t>(op.operands.size()), op.func_index);
    for (const auto& v : op.operands) write_operand(w, *v);
  }
}

void TNovaParser::assign(const TNovaParser& other) {
  if (&other == this) return;
  std::vector<TOpeData> ops;
  ops.reserve(other.m_impl->ops.size());
  for (const TOpeData& o : other.m_impl->ops) {
    TOpeData op{o.code, o.target, o.func_index, {}};
    for (const auto& v : o.operands) op.operands.push_back(copy_operand(*v));
    ops.push_back(std::move(op));
  }
  m_impl->ops = std::move(ops);
  m_impl->prepare();
  m_has_result = false;
}

// --- Name resolution --------------------------------------------------------

int TNovaParser::Impl::slot_for(const std::string& name) {
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (core::equal_ci(slots[i].name, name)) return static_cast<int>(i);
  }
  Slot s;
  s.name = name;
  s.bucket = TParamCollection::hash_of_name(name);
  s.item = std::make_unique<TParamCollectionItem>(name, make_value(PT_INT));
  slots.push_back(std::move(s));
  return static_cast<int>(slots.size() - 1);
}

void TNovaParser::Impl::prepare() {
  rt.clear();
  slots.clear();
  rt.resize(ops.size());
  has_result = !ops.empty() && ops.back().code == ocTo && ops.back().target == "____arg";
  for (std::size_t i = 0; i < ops.size(); ++i) {
    TOpeData& op = ops[i];
    OpRuntime& r = rt[i];
    r.valid = op.code != ocNone && op.code <= kLastOpeCode && op.operands.size() >= required_operands(op.code);
    if (is_temporary_name(op.target)) r.target.slot = slot_for(op.target);
    for (auto& v : op.operands) {
      r.args.push_back(v.get());
      if (TParamVar* var = v->as_reference()) {
        OperandRef ref{var, {}};
        if (is_temporary_name(var->name())) ref.ref.slot = slot_for(var->name());
        r.vars.push_back(ref);
      }
    }
  }
}

[[gnu::always_inline]] inline TParamCollectionItem* TNovaParser::Impl::resolve(NameRef& ref, const std::string& name) {
  if (ref.slot >= 0) {
    // While every "____" item of the store is one of ours, a temporary name
    // means our slot, live or not; otherwise the store decides.
    if (store->underscore_count() == static_cast<std::size_t>(live)) {
      const Slot& s = slots[static_cast<std::size_t>(ref.slot)];
      if (s.state == Slot::Pending) return s.item.get();
      return (s.state == Slot::Linked && s.item->is_linked()) ? s.item.get() : nullptr;
    }
    return store->find(name);
  }
  if (ref.generation != store->generation()) {
    ref.item = store->find(name);
    ref.generation = store->generation();
  }
  return ref.item;
}

// --- Temporaries ------------------------------------------------------------

TParamType TNovaParser::Impl::temporary_type(const TOpeData& op, const OpRuntime& r) const {
  const auto& o = op.operands;
  switch (op.code) {
    case ocTo: return type_of(*o[0]);
    case ocPlus:
      if (type_of(*o[0]) == PT_STR) return PT_STR;
      [[fallthrough]];
    case ocMinus:
    case ocMul:
    case ocDiv: return (type_of(*o[0]) == PT_FLOAT || type_of(*o[1]) == PT_FLOAT) ? PT_FLOAT : PT_INT;
    case ocMod:
    case ocOr:
    case ocAnd:
    case ocXor:
    case ocShiftL:
    case ocShiftR: return PT_INT;
    case ocComboStr: return PT_STR;
    case ocDimTo: return PT_NONE;
    case ocFunc: return funcs->result_type(op.func_index, r.args);
    default: return is_comparison(op.code) ? PT_BOOL : PT_NONE;
  }
}

TParamCollectionItem& TNovaParser::Impl::create_temporary(const TOpeData& op, OpRuntime& r) {
  TParamType type = temporary_type(op, r);
  Slot& s = slots[static_cast<std::size_t>(r.target.slot)];
  if (s.item->is_linked() || s.state == Slot::Pending) core::throw_error(core::sjis("内部エラー"));
  TCustomParam& current = s.item->value();
  if (current.kind() == PK_INT && type == PT_INT) {
    auto& p = static_cast<TParamInt&>(current);
    if (p.has_dims()) {
      p.reset_fresh();
    } else {
      p.elements()[0] = 0;
    }
  } else if (s.item->class_code() == type) {
    current.reset_fresh();
  } else {
    std::unique_ptr<TCustomParam> want = std::move(s.spare[type]);
    if (want) {
      want->reset_fresh();
    } else {
      want = make_value(type);
    }
    std::unique_ptr<TCustomParam> old = s.item->exchange_value(std::move(want));
    TParamKind k = old->kind();
    if (k <= PK_STR) s.spare[k] = std::move(old);
    if (k == PK_VAR) s.spare[PT_NONE] = std::move(old);
  }
  made.push_back(r.target.slot);
  if (eager) {
    store->link_temporary(*s.item, s.bucket, live);
    s.state = Slot::Linked;
  } else {
    s.state = Slot::Pending;
  }
  return *s.item;
}

void TNovaParser::Impl::materialize() {
  eager = true;
  for (int i : made) {
    Slot& s = slots[static_cast<std::size_t>(i)];
    if (s.state == Slot::Pending) {
      store->link_temporary(*s.item, s.bucket, live);
      s.state = Slot::Linked;
    }
  }
}

// --- The operators ------------------------------------------------------------

void TNovaParser::Impl::invalid(const TOpeData& op) const {
  const std::string crlf = "\r\n";
  std::string message = core::sjis("不正な式") + crlf + crlf + core::sjis("代入先:") + op.target + crlf +
                        core::sjis("演算タイプ:") + ope_code_name(op.code);
  for (const auto& v : op.operands) {
    message += crlf;
    try {
      message += v->as_str();
    } catch (const core::Error&) {
      // A value that cannot be read is shown empty.
    }
  }
  core::throw_error(std::move(message));
}

void TNovaParser::Impl::bind_alias(const TOpeData& op, TParamCollectionItem* target) {
  const OpRuntime& r = rt[static_cast<std::size_t>(&op - ops.data())];
  const TParamVar* array_ref = op.operands[0]->as_reference();
  if (!array_ref) invalid(op);
  // The array is the variable the name found (an alias found there is a
  // scalar standing for one element).
  TParamCollectionItem* array = nullptr;
  for (const OperandRef& v : r.vars) {
    if (v.var == array_ref) array = v.ref.item;
  }
  if (!array) array = array_ref->bound();
  const TCustomParam& value = array->value();
  const std::size_t n = op.operands.size() - 1;
  // The message names the indexes as given; it is only built for an error,
  // so binding an element allocates nothing.
  auto fail = [&](std::string_view why) {
    std::string indexes;
    for (std::size_t k = 0; k < n; ++k) {
      if (k) indexes.push_back(',');
      indexes += int_text(read_int(*op.operands[k + 1]));
    }
    core::throw_error(array_ref->name() + "[" + indexes + "]\r\n" + core::sjis(why));
  };
  if (static_cast<std::int64_t>(n) != value.dim_count()) fail("添え字が不正です");
  // index = Σ index_k × (product of the later sizes), the last index varying
  // fastest.
  std::int64_t flat = 0, stride = 1;
  bool overflow = false;
  for (std::size_t k = n; k-- > 0;) {
    flat += static_cast<std::int64_t>(read_int(*op.operands[k + 1])) * stride;
    stride *= value.dim_size(static_cast<std::int32_t>(k));
    if (flat > kMaxElements * 2 || flat < -kMaxElements * 2 || stride > kMaxElements) overflow = true;
  }
  // The system's arrays answer the empty value outside their range, so any
  // element of them may be bound.
  const bool system_array = value.kind() == PK_SYSTEM && static_cast<const TParamSystem&>(value).is_system_array();
  if (overflow || (!system_array && flat >= value.count())) fail("要素数を超えています");
  if (!target) missing_variable(op.target);
  TParamVar* alias = target->value().as_reference();
  if (!alias) invalid(op);
  alias->bind_element(array, static_cast<std::int32_t>(flat));
}

void TNovaParser::Impl::perform(const TOpeData& op, OpRuntime& r, TCustomParam& t) {
  const auto& o = op.operands;
  switch (op.code) {
    case ocTo: {
      const TCustomParam& a = *o[0];
      // A system variable converts what it is given by its own rules (a
      // text that is no number leaves a number unchanged), so it gets the
      // value in the value's own type.
      if (t.kind() == PK_SYSTEM) {
        switch (a.type()) {
          case PT_INT: t.set_int(a.as_int()); break;
          case PT_FLOAT: t.set_float(a.as_float()); break;
          case PT_BOOL: t.set_flag(a.as_flag()); break;
          case PT_STR: t.set_str(a.as_str()); break;
          default: break;
        }
        return;
      }
      switch (t.quick_type()) {
        case PT_INT: write_int(t, read_int(a)); break;
        case PT_FLOAT: t.set_float(a.as_float()); break;
        case PT_BOOL: write_flag(t, read_flag(a)); break;
        case PT_STR: t.set_str(a.as_str()); break;
        default: break;  // a target without a type is left alone
      }
      return;
    }
    case ocPlus:
    case ocMinus:
    case ocMul:
    case ocDiv: {
      const TCustomParam& a = *o[0];
      const TCustomParam& b = *o[1];
      if (t.quick_type() == PT_FLOAT) {
        long double x = a.as_float(), y = b.as_float();
        switch (op.code) {
          case ocPlus: t.set_float(x + y); break;
          case ocMinus: t.set_float(x - y); break;
          case ocMul: t.set_float(x * y); break;
          default:
            if (y == 0) core::throw_error("division by zero");
            t.set_float(x / y);
            break;
        }
        return;
      }
      std::int64_t x = read_int(a), y = read_int(b);
      switch (op.code) {
        case ocPlus: write_int(t, wrap(x + y)); break;
        case ocMinus: write_int(t, wrap(x - y)); break;
        case ocMul: write_int(t, wrap(x * y)); break;
        default:
          // The processor faults on both; either stops the expression.
          if (y == 0) core::throw_error("division by zero");
          if (x == std::numeric_limits<std::int32_t>::min() && y == -1) core::throw_error("integer overflow");
          write_int(t, static_cast<std::int32_t>(x / y));
          break;
      }
      return;
    }
    case ocMod: {
      std::int64_t x = read_int(*o[0]), y = read_int(*o[1]);
      if (y == 0) core::throw_error("division by zero");
      if (x == std::numeric_limits<std::int32_t>::min() && y == -1) core::throw_error("integer overflow");
      write_int(t, static_cast<std::int32_t>(x % y));
      return;
    }
    case ocOr: t.set_int(o[0]->as_int() | o[1]->as_int()); return;
    case ocAnd: t.set_int(o[0]->as_int() & o[1]->as_int()); return;
    case ocXor: t.set_int(o[0]->as_int() ^ o[1]->as_int()); return;
    case ocShiftL: {
      auto x = static_cast<std::uint32_t>(o[0]->as_int());
      t.set_int(static_cast<std::int32_t>(x << (static_cast<std::uint32_t>(o[1]->as_int()) & 31)));
      return;
    }
    case ocShiftR: {
      auto x = static_cast<std::uint32_t>(o[0]->as_int());
      t.set_int(static_cast<std::int32_t>(x >> (static_cast<std::uint32_t>(o[1]->as_int()) & 31)));
      return;
    }
    case ocComboStr: t.set_str(o[0]->as_str() + o[1]->as_str()); return;
    case ocFunc: funcs->call(t, op.func_index, r.args); return;
    default: break;
  }
  if (!is_comparison(op.code)) invalid(op);
  const TCustomParam& a = *o[0];
  const TCustomParam& b = *o[1];
  bool result;
  switch (type_of(a)) {
    case PT_STR: result = compare(op.code, a.as_str(), b.as_str()); break;
    case PT_FLOAT: result = compare(op.code, a.as_float(), b.as_float()); break;
    case PT_BOOL: result = compare(op.code, a.as_flag(), b.as_flag()); break;
    default: result = compare(op.code, read_int(a), read_int(b)); break;
  }
  write_flag(t, result);
}

void TNovaParser::Impl::run(std::size_t index) {
  const TOpeData& op = ops[index];
  OpRuntime& r = rt[index];
  // 1. Variables are looked up (a local of the current frame shadows others).
  for (OperandRef& v : r.vars) {
    TParamCollectionItem* item = resolve(v.ref, v.var->name());
    if (!item) missing_variable(v.var->name());
    if (v.ref.slot >= 0) v.ref.item = item;
    if (item->value().kind() == PK_VAR) {
      v.var->bind_whole(item);
    } else {
      v.var->bind_whole_plain(item);
    }
    if (!eager && is_forwarding_system(item)) materialize();
  }
  if (!eager && op.code == ocFunc) materialize();
  if (!r.valid) invalid(op);
  // 2. A temporary target is made on first use, typed by the operation.
  TParamCollectionItem* target = resolve(r.target, op.target);
  if (!target && r.target.slot >= 0) target = &create_temporary(op, r);
  if (!eager && is_forwarding_system(target)) materialize();
  if (op.code == ocDimTo) {
    bind_alias(op, target);
    return;
  }
  if (!target) missing_variable(op.target);
  perform(op, r, target->value());
}

void TNovaParser::Impl::finish() {
  // The operands keep their last binding; every operation binds them again
  // before it reads them, and nothing else looks at them.
  for (int i : made) {
    Slot& s = slots[static_cast<std::size_t>(i)];
    if (s.state == Slot::Linked && s.item->is_linked()) store->unlink_temporary(*s.item);
    s.state = Slot::Dead;
  }
  made.clear();
  live = 0;
  running = false;
  store->end_run();
}

// --- Execute ------------------------------------------------------------------

bool TNovaParser::execute(TParamCollection& store, const TSysFuncMan& funcs) {
  Impl& impl = *m_impl;
  if (impl.running) {
    // Re-entered from a function of our own run: a copy runs, so the two runs
    // do not share bindings or temporaries.
    TNovaParser copy;
    copy.assign(*this);
    bool ok = copy.execute(store, funcs);
    m_result = std::move(copy.m_result);
    m_has_result = copy.m_has_result;
    m_last_error = std::move(copy.m_last_error);
    return ok;
  }
  m_has_result = false;
  m_last_error.clear();
  impl.store = &store;
  impl.funcs = &funcs;
  impl.running = true;
  impl.live = 0;
  impl.eager = store.underscore_count() != 0;
  store.begin_run();
  bool ok = true;
  try {
    for (std::size_t i = 0; i < impl.ops.size(); ++i) impl.run(i);
  } catch (const core::Error& e) {
    ok = false;
    m_last_error = e.message();
  } catch (const std::exception& e) {
    ok = false;
    m_last_error = e.what();
  }
  try {
    if (impl.has_result) {
      if (TParamCollectionItem* arg = impl.resolve(impl.rt.back().target, impl.ops.back().target)) {
        const TCustomParam& v = arg->value();
        if (m_result && m_result->kind() == v.kind() && v.kind() <= PK_STR) {
          copy_plain(*m_result, v);
        } else {
          m_result = v.detached();
          if (!m_result) m_result = make_value(PT_NONE);
        }
        m_has_result = true;
      }
    }
  } catch (const std::exception& e) {
    ok = false;
    m_has_result = false;
    if (m_last_error.empty()) m_last_error = e.what();
  }
  impl.finish();
  return ok;
}

// --- Helpers ------------------------------------------------------------------

TNovaParser compile_expression(std::string_view text) {
  TBuildNovaParser builder;
  builder.compile(text);
  core::ByteWriter w;
  builder.write(w);
  TNovaParser parser;
  core::ByteReader r(std::span<const std::uint8_t>(w.data()));
  parser.load(r);
  return parser;
}

bool check_expression(std::string_view text, TParamCollection& store, const TSysFuncMan& funcs) {
  std::size_t a = 0, b = text.size();
  while (a < b && static_cast<std::uint8_t>(text[a]) <= 0x20) ++a;
  while (b > a && static_cast<std::uint8_t>(text[b - 1]) <= 0x20) --b;
  if (a == b) return false;
  try {
    TNovaParser parser = compile_expression(text.substr(a, b - a));
    return parser.execute(store, funcs);
  } catch (const core::Error&) {
    return false;
  }
}

bool var_new(TParamCollection& store, const TSysFuncMan& funcs, std::string_view name, TParamType type, TVarScope scope,
             TNovaParser& init) {
  bool created = false;
  TParamCollectionItem& item = store.create(name, type, scope, created);
  if (!created && item.is_status()) return true;
  const bool ran = init.empty() || init.execute(store, funcs);
  const TCustomParam* result = init.result();
  if (!result) return ran;
  // The expression may have freed or replaced the variable: look it up again.
  TParamCollectionItem* var = store.find_for_creation(name, scope == TVarScope::Local);
  if (!var) return ran;
  set_scalar_as(var->value(), type, *result);
  return ran;
}

}  // namespace nova::expr
