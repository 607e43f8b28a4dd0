// The component core on 10,000 registered components, each measurement
// paired with a baseline that does the same work with standard containers:
//
// - FindComponent (existing names, missing names, the base names) against
//   std::unordered_map<std::string, ComponentId>::find;
// - GetProp and SetProp of PR_LEFT, PR_VISIBLE and PR_TAG and a read of
//   the unimplemented PR_ZOOMX through the script's values, against the
//   same conversions over a std::unordered_map<int, value>;
// - creating 10,000 auto-named controls under one parent and deleting them,
//   against allocating, name-indexing and freeing as many objects of a
//   control's size; and the cost per component at 10,000 against 1,000.
//
// Our side and the baseline run in alternating slices timed by the
// thread's CPU clock, so that both meet the same load on a shared machine;
// each benchmark reports the counter "ratio" (ours / baseline). Run with
// --benchmark_repetitions=5 and read the medians.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <unordered_map>
#include <variant>

#include "bench/thread_clock.h"
#include "components/base_list.h"

namespace {

using nova::bench::thread_seconds;

using namespace nova;
using namespace nova::components;

constexpr int kComponents = 10000;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "components_bench: %s\n", what);
  std::abort();
}

// --- Lookup by name -------------------------------------------------------------------

struct Registry {
  Registry() {
    for (int i = 0; i < kComponents; ++i) {
      TNovaControl& c = list.make<TNovaControl>();
      c.SetName("component" + std::to_string(i));
      map.emplace(c.Name(), c.id());
    }
    std::mt19937 rng(1);
    for (int i = 0; i < 1000; ++i) {
      existing.push_back("component" + std::to_string(rng() % kComponents));
      missing.push_back("missing" + std::to_string(rng() % kComponents));
    }
    bases = {std::string(), std::string("\x01", 1),
             std::string("\x01"
                         "BASE0",
                         6),
             std::string("\x01"
                         "BASE1",
                         6)};
    for (int i = 0; i < 8; ++i) bases.insert(bases.end(), bases.begin(), bases.begin() + 4);
  }
  TComponentFactory factory;
  TNovaBaseList list{{factory}};
  std::unordered_map<std::string, ComponentId> map;
  std::vector<std::string> existing, missing, bases;
};

Registry& registry() {
  static Registry r;
  return r;
}

void BM_FindComponentPaired(benchmark::State& state) {
  Registry& r = registry();
  const std::vector<std::string>& probes = state.range(0) == 0 ? r.existing : state.range(0) == 1 ? r.missing : r.bases;
  std::uint64_t ours_found = 0, theirs_found = 0;
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    const double t0 = thread_seconds();
    for (const std::string& name : probes) ours_found += r.list.FindComponent(name) != nullptr;
    const double t1 = thread_seconds();
    for (const std::string& name : probes) theirs_found += r.map.find(name) != r.map.end();
    const double t2 = thread_seconds();
    ours += t1 - t0;
    theirs += t2 - t1;
  }
  // The baseline finds the base names nowhere; ours finds them all.
  if (state.range(0) != 2 && ours_found != theirs_found) fail("the lookups disagree");
  benchmark::DoNotOptimize(ours_found + theirs_found);
  state.counters["ratio"] = ours / theirs;
  state.SetLabel(state.range(0) == 0 ? "existing" : state.range(0) == 1 ? "missing" : "base names");
}
BENCHMARK(BM_FindComponentPaired)->Arg(0)->Arg(1)->Arg(2);

// --- Properties --------------------------------------------------------------------

using Value = std::variant<std::int32_t, bool, std::string>;

struct ValueInto {
  expr::TCustomParam& var;
  void operator()(std::int32_t v) const { var.set_int(v); }
  void operator()(bool v) const { var.set_flag(v); }
  void operator()(const std::string& v) const { var.set_str(v); }
};

void baseline_get(const std::unordered_map<int, Value>& props, int id, expr::TCustomParam& var) {
  const auto it = props.find(id);
  if (it == props.end()) {
    var.set_int(256);  // the absent default, as PR_ZOOMX reads
    return;
  }
  std::visit(ValueInto{var}, it->second);
}

void baseline_set(std::unordered_map<int, Value>& props, int id, const expr::TCustomParam& value) {
  Value& slot = props.find(id)->second;
  if (std::holds_alternative<std::int32_t>(slot)) {
    slot = value.as_int();
  } else if (std::holds_alternative<bool>(slot)) {
    slot = value.as_flag();
  } else {
    slot = value.as_str();
  }
}

void BM_PropertiesPaired(benchmark::State& state) {
  Registry& r = registry();
  TNovaControl& c = *r.list.FindControl("component5000");
  c.SetTag("a tag of some length");
  std::unordered_map<int, Value> props;
  for (int id = 0; id < kPropCount; ++id) {
    if (id == PR_ZOOMX) continue;
    switch (kProperties[static_cast<std::size_t>(id)].type) {
      case expr::PT_BOOL: props.emplace(id, false); break;
      case expr::PT_STR: props.emplace(id, std::string()); break;
      default: props.emplace(id, 0); break;
    }
  }
  props[PR_TAG] = c.Tag();
  expr::TParamInt int_var, left(17);
  expr::TParamFlag flag_var, visible(true);
  expr::TParamStr str_var, tag("a tag of some length");
  constexpr int kSlice = 1000;
  // One slice of the work through `get` and `set`; answers a sum of what
  // was read, so that both sides can be checked against each other.
  const auto slice = [&](auto&& get, auto&& set) {
    std::int64_t sum = 0;
    for (int i = 0; i < kSlice; ++i) {
      set(PR_LEFT, left);
      get(PR_LEFT, int_var);
      set(PR_VISIBLE, visible);
      get(PR_VISIBLE, flag_var);
      set(PR_TAG, tag);
      get(PR_TAG, str_var);
      sum += int_var.as_int() + flag_var.as_int() + static_cast<std::int64_t>(str_var.elements()[0].size());
      get(PR_ZOOMX, int_var);
      sum += int_var.as_int();
    }
    return sum;
  };
  const auto our_get = [&](int id, expr::TCustomParam& var) { GetProp(c, id, var); };
  const auto our_set = [&](int id, const expr::TCustomParam& value) { SetProp(c, id, value); };
  const auto their_get = [&](int id, expr::TCustomParam& var) { baseline_get(props, id, var); };
  const auto their_set = [&](int id, const expr::TCustomParam& value) { baseline_set(props, id, value); };
  std::int64_t ours_sum = 0, theirs_sum = 0;
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    const double t0 = thread_seconds();
    ours_sum += slice(our_get, our_set);
    const double t1 = thread_seconds();
    theirs_sum += slice(their_get, their_set);
    const double t2 = thread_seconds();
    ours += t1 - t0;
    theirs += t2 - t1;
  }
  if (ours_sum != theirs_sum) fail("the property values disagree");
  state.counters["ratio"] = ours / theirs;
}
BENCHMARK(BM_PropertiesPaired);

// --- Creating and deleting ------------------------------------------------------------

// Our side: n auto-named controls under one parent, then deleted as ObjDel
// does and destroyed by the deletion step.
void create_and_delete(TNovaBaseList& list, TNovaControl& parent, int n, std::vector<TNovaControl*>& made) {
  made.clear();
  for (int i = 0; i < n; ++i) {
    TNovaControl& c = list.make<TNovaControl>();
    c.SetParent(&parent);
    made.push_back(&c);
  }
  for (TNovaControl* c : made) list.ScheduleDeletion(*c);
  list.destroy_scheduled();
  if (parent.ChildCount() != 0 || list.ItemCount() != 1) fail("the controls were not deleted");
}

struct Block {
  alignas(TNovaControl) std::byte bytes[sizeof(TNovaControl)];
};

// The baseline: as many objects of a control's size, allocated, indexed
// by the same names, then freed.
void allocate_and_free(int n, std::unordered_map<std::string, Block*>& index, std::vector<std::string>& names) {
  names.clear();
  for (int i = 0; i < n; ++i) {
    names.push_back("object" + std::to_string(i));
    index.emplace(names.back(), new Block());
  }
  for (const std::string& name : names) {
    const auto it = index.find(name);
    delete it->second;
    index.erase(it);
  }
}

void BM_CreateDeletePaired(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TComponentFactory factory;
  TNovaBaseList list({factory});
  TNovaControl& parent = list.make<TNovaControl>();
  std::vector<TNovaControl*> made;
  std::unordered_map<std::string, Block*> index;
  std::vector<std::string> names;
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    const double t0 = thread_seconds();
    create_and_delete(list, parent, n, made);
    const double t1 = thread_seconds();
    allocate_and_free(n, index, names);
    const double t2 = thread_seconds();
    ours += t1 - t0;
    theirs += t2 - t1;
  }
  state.counters["ratio"] = ours / theirs;
  state.counters["ns_per_component"] = ours / static_cast<double>(state.iterations()) / n * 1e9;
}
BENCHMARK(BM_CreateDeletePaired)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The cost per component at 10,000 against that at 1,000: ten rounds of
// 1,000 alternate with one of 10,000.
void BM_CreateDeleteScaling(benchmark::State& state) {
  TComponentFactory factory;
  TNovaBaseList list({factory});
  TNovaControl& parent = list.make<TNovaControl>();
  std::vector<TNovaControl*> made;
  double small = 0, large = 0;
  for (auto _ : state) {
    const double t0 = thread_seconds();
    for (int round = 0; round < 10; ++round) create_and_delete(list, parent, 1000, made);
    const double t1 = thread_seconds();
    create_and_delete(list, parent, 10000, made);
    const double t2 = thread_seconds();
    small += t1 - t0;
    large += t2 - t1;
  }
  state.counters["ratio"] = large / small;
}
BENCHMARK(BM_CreateDeleteScaling)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
