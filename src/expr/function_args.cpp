#include "expr/function_args.h"

#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "expr/param_collection.h"

namespace nova::expr {

void check_text_size(std::string_view function, std::uint64_t bytes) {
  if (bytes > kMaxBuiltText) {
    core::throw_error(
        core::format("%s: the text would exceed 64 MiB (%s bytes)", {std::string(function), std::to_string(bytes)}));
  }
}

TCustomParam& required_variable(std::string_view function, FunctionArgs args, std::size_t i) {
  TCustomParam* a = i < args.size() ? args[i] : nullptr;
  const TParamVar* ref = a ? a->as_reference() : nullptr;
  if (!ref || !ref->bound()) core::throw_error(std::string(function) + core::sjis(":変数が見つかりません"));
  return *a;
}

TCustomParam* written_variable(FunctionArgs args, std::size_t i) {
  TCustomParam* a = i < args.size() ? args[i] : nullptr;
  const TParamVar* ref = a ? a->as_reference() : nullptr;
  return ref && ref->bound() ? a : nullptr;
}

void copy_element(TCustomParam& dst, std::int32_t di, TParamType dst_type, const TCustomParam& src, std::int32_t si) {
  switch (dst_type) {
    case PT_INT: dst.set_int_at(di, src.int_at(si)); break;
    case PT_FLOAT: dst.set_float_at(di, src.float_at(si)); break;
    case PT_BOOL: dst.set_flag_at(di, src.flag_at(si)); break;
    case PT_STR: dst.set_str_at(di, src.str_at(si)); break;
    default: break;
  }
}

std::string_view text_arg(const TCustomParam& a, std::string& hold) {
  const TCustomParam* p = &a;
  // References bound as a whole stand for their variable's value; the store
  // never lets them form a cycle, and the chain is short.
  for (int step = 0; step < 16 && p->kind() == PK_VAR; ++step) {
    const auto* ref = static_cast<const TParamVar*>(p);
    if (!ref->bound() || ref->is_element()) break;
    p = &ref->bound()->value();
  }
  if (p->kind() == PK_STR) return static_cast<const TParamStr*>(p)->elements()[0];
  hold = a.as_str();
  return hold;
}

void write_text(TCustomParam& target, std::string&& text) {
  if (target.kind() == PK_STR) {
    auto& t = static_cast<TParamStr&>(target);
    t.make_scalar();
    t.elements()[0] = std::move(text);
    return;
  }
  target.set_str(text);
}

}  // namespace nova::expr
