// The array and variable functions. Element counts stay within the store's
// cap (kMaxElements), computed in 64 bits before anything is resized.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/sjis.h"
#include "expr/builtin_groups.h"
#include "expr/function_args.h"
#include "expr/sjis_string.h"
#include "expr/store_variables.h"
#include "platform/codepage.h"

namespace nova::expr {

namespace {

using Args = FunctionArgs;

// A snapshot of a value's elements, so that a function may read a2 while it
// rewrites a1 when both are the same variable.
std::unique_ptr<TCustomParam> snapshot(const TCustomParam& v) {
  std::unique_ptr<TCustomParam> copy = v.detached();
  if (!copy) copy = make_value(PT_STR);  // a value of type none reads as ""
  return copy;
}

// Makes `v` one-dimensional with the elements of `parts` in order.
void set_elements(TCustomParam& v, const std::vector<const TCustomParam*>& parts,
                  const std::vector<std::pair<std::int32_t, std::int32_t>>& ranges) {
  std::uint64_t total = 0;
  for (const auto& r : ranges) total += static_cast<std::uint64_t>(r.second - r.first);
  if (total == 0 || total > static_cast<std::uint64_t>(kMaxElements)) {
    const std::int32_t n = static_cast<std::int32_t>(std::min<std::uint64_t>(total, INT32_MAX));
    throw_bad_dims(std::span<const std::int32_t>(&n, 1));
  }
  const TParamType type = v.type();
  const std::int32_t n = static_cast<std::int32_t>(total);
  v.set_dims(std::span<const std::int32_t>(&n, 1));
  std::int32_t at = 0;
  for (std::size_t p = 0; p < parts.size(); ++p) {
    for (std::int32_t i = ranges[p].first; i < ranges[p].second; ++i) copy_element(v, at++, type, *parts[p], i);
  }
}

// Cuts at every character that is one of `delimiters` (a trail byte never
// counts); a final delimiter adds no piece.
std::vector<std::string> split_at(std::string_view s, std::string_view delimiters) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t pos = 0; pos < s.size();) {
    const std::size_t len = core::char_length(s, pos);
    const std::string_view ch = s.substr(pos, len);
    bool match = false;
    for (std::size_t d = 0; d < delimiters.size() && !match; d += core::char_length(delimiters, d))
      match = delimiters.substr(d, core::char_length(delimiters, d)) == ch;
    pos += len;
    if (match) {
      out.emplace_back(s.substr(start, pos - len - start));
      start = pos;
    }
  }
  if (start < s.size()) out.emplace_back(s.substr(start));
  return out;
}

void add(TSysFuncMan& funcs, int index, TSysFuncMan::Behaviour b) { funcs.set_behaviour(index, std::move(b)); }

std::int32_t count_of(const TCustomParam& v) { return v.count(); }

}  // namespace

void register_array_functions(TSysFuncMan& funcs, TParamCollection& store) {
  add(funcs, 4, [](TCustomParam& t, Args a) {  // GetArraySize
    TCustomParam& v = required_variable("GetArraySize", a, 0);
    t.set_int(a.size() > 1 ? v.dim_size(a[1]->as_int()) : v.count());
  });
  add(funcs, 21, [](TCustomParam&, Args a) {  // SetArray
    TCustomParam& v = required_variable("SetArray", a, 0);
    std::vector<std::int32_t> sizes;
    for (std::size_t i = 1; i < a.size(); ++i) sizes.push_back(a[i]->as_int());
    v.set_dims(sizes);
  });
  add(funcs, 22, [](TCustomParam&, Args a) {  // FillMem
    TCustomParam& v = required_variable("FillMem", a, 0);
    switch (v.type()) {
      case PT_INT: v.fill_int(a[1]->as_int()); break;
      case PT_FLOAT: v.fill_float(a[1]->as_float()); break;
      case PT_BOOL: v.fill_flag(a[1]->as_flag()); break;
      case PT_STR: v.fill_str(a[1]->as_str()); break;
      default: break;
    }
  });
  add(funcs, 23, [](TCustomParam&, Args a) {  // CopyMem
    TCustomParam& dst = required_variable("CopyMem", a, 0);
    const TCustomParam& src = required_variable("CopyMem", a, 1);
    if (dst.type() != src.type()) core::throw_error(core::sjis("CopyMem:変数の型があいません"));
    dst.copy_all(src);
  });
  add(funcs, 28, [](TCustomParam& t, Args a) {  // ArrayToString
    const std::string delimiter = a.size() > 1 ? a[1]->as_str() : std::string("\r\n");
    const std::int32_t n = a[0]->count();
    std::string out;
    for (std::int32_t i = 0; i < n; ++i) {
      const std::string e = a[0]->str_at(i);
      check_text_size("ArrayToString",
                      static_cast<std::uint64_t>(out.size()) + e.size() + (i + 1 < n ? delimiter.size() : 0));
      out.append(e);
      if (i + 1 < n) out.append(delimiter);
    }
    write_text(t, std::move(out));
  });
  add(funcs, 29, [](TCustomParam&, Args a) {  // StringToArray
    std::string hold;
    const std::string_view s = text_arg(*a[0], hold);
    TCustomParam* v = written_variable(a, 1);
    std::vector<std::string> pieces;
    if (a.size() < 3 || a[2]->as_str() == "\r\n") {
      pieces = split_text_lines(s);
    } else {
      std::string delimiters = a[2]->as_str();
      pieces = split_at(s, delimiters);
    }
    if (!v) return;
    if (pieces.empty()) {
      v->set_str("");
      return;
    }
    if (pieces.size() > static_cast<std::size_t>(kMaxElements)) {
      const std::int32_t n = static_cast<std::int32_t>(std::min<std::size_t>(pieces.size(), INT32_MAX));
      throw_bad_dims(std::span<const std::int32_t>(&n, 1));
    }
    const std::int32_t n = static_cast<std::int32_t>(pieces.size());
    v->set_dims(std::span<const std::int32_t>(&n, 1));
    if (v->kind() == PK_STR) {
      auto& elems = static_cast<TParamStr*>(v)->elements();
      for (std::int32_t i = 0; i < n; ++i)
        elems[static_cast<std::size_t>(i)] = std::move(pieces[static_cast<std::size_t>(i)]);
      return;
    }
    for (std::int32_t i = 0; i < n; ++i) v->set_str_at(i, pieces[static_cast<std::size_t>(i)]);
  });
  add(funcs, 30, [](TCustomParam& t, Args a) {  // IndexOfStr
    const bool case_sensitive = a.size() > 2 && a[2]->as_flag();
    const bool partial = a.size() > 3 && a[3]->as_flag();
    t.set_int(a[0]->index_of(a[1]->as_str(), case_sensitive, partial));
  });
  add(funcs, 31, [](TCustomParam&, Args a) {  // SortStr
    TCustomParam* v = written_variable(a, 0);
    if (!v) return;
    const std::int32_t n = v->count();
    std::vector<std::string> elems;
    elems.reserve(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) elems.push_back(v->str_at(i));
    std::stable_sort(elems.begin(), elems.end(), [](const std::string& x, const std::string& y) {
      return platform::codepage::compare(x, y, true) < 0;
    });
    for (std::int32_t i = 0; i < n; ++i) v->set_str_at(i, elems[static_cast<std::size_t>(i)]);
  });
  add(funcs, 50, [&store](TCustomParam& t, Args a) {  // VarExists
    t.set_flag(store.find(a[0]->as_str()) != nullptr);
  });
  add(funcs, 66, [](TCustomParam& t, Args a) {  // AddArray
    TCustomParam* v = written_variable(a, 0);
    if (!v) return;
    if (v->dim_count() > 1 || a[1]->dim_count() > 1) {
      t.set_int(v->count());
      return;
    }
    auto head = snapshot(*v), tail = snapshot(*a[1]);
    set_elements(*v, {head.get(), tail.get()}, {{0, count_of(*head)}, {0, count_of(*tail)}});
    t.set_int(v->count());
  });
  add(funcs, 67, [](TCustomParam& t, Args a) {  // InsertArray
    TCustomParam* v = written_variable(a, 0);
    if (!v) return;
    if (v->dim_count() > 1 || a[2]->dim_count() > 1) {
      t.set_int(v->count());
      return;
    }
    auto old = snapshot(*v), part = snapshot(*a[2]);
    const std::int32_t at = std::clamp(a[1]->as_int(), 0, old->count());
    set_elements(*v, {old.get(), part.get(), old.get()}, {{0, at}, {0, part->count()}, {at, old->count()}});
    t.set_int(v->count());
  });
  add(funcs, 68, [](TCustomParam& t, Args a) {  // DeleteArray
    TCustomParam* v = written_variable(a, 0);
    if (!v) return;
    if (v->dim_count() > 1) {
      t.set_int(v->count());
      return;
    }
    auto old = snapshot(*v);
    const std::int32_t n = old->count();
    const std::int32_t at = std::clamp(a[1]->as_int(), 0, n - 1);
    const std::int32_t gone = std::clamp(a[2]->as_int(), 0, n - at);
    set_elements(*v, {old.get(), old.get()}, {{0, at}, {at + gone, n}});
    t.set_int(v->count());
  });
  add(funcs, 70, [](TCustomParam& t, Args a) {  // CopyArray
    TCustomParam* v = written_variable(a, 0);
    if (v) {
      auto src = snapshot(*a[1]);
      const TParamType type = v->type();
      const std::vector<std::int32_t> dims = src->dims();
      if (dims.empty()) {
        v->make_scalar();
        copy_element(*v, 0, type, *src, 0);
      } else {
        v->set_dims(dims);
        const std::int32_t n = src->count();
        for (std::int32_t i = 0; i < n; ++i) copy_element(*v, i, type, *src, i);
      }
    }
    t.set_flag(true);
  });
  add(funcs, 84, [&store](TCustomParam& t, Args a) {  // AssignTemp
    const std::string name = a[0]->as_str();
    t.set_flag(!name.empty() && store.find(name) && assign_temp_name(store, name));
  });
  add(funcs, 130, [](TCustomParam& t, Args a) {  // GetVarType
    t.set_int(a[0]->type());
  });
  add(funcs, 155, [&store](TCustomParam& t, Args a) {  // PushVar
    std::vector<std::string> names;
    names.reserve(a.size());
    for (TCustomParam* p : a) names.push_back(p->as_str());
    store.push(names);
    t.set_flag(true);
  });
  add(funcs, 156, [&store](TCustomParam& t, Args) {  // PopVar
    store.pop();
    t.set_flag(true);
  });
}

}  // namespace nova::expr
