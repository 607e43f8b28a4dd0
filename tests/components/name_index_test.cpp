// The name index answers as a scan of the registry would, over random
// sequences of creating, renaming, scheduling, destroying, loading and
// moving components.
#include "components/name_index.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "component_fixture.h"
#include "components/component_records.h"

namespace nova::test {
namespace {

class NameIndexAgainstScan : public ComponentTest {
 protected:
  // The lookups as the registry scan defines them (base names aside).
  const TNovaObject* scan(std::string_view name, bool controls_only) const {
    for (std::int32_t i = 0; i < list.ItemCount(); ++i) {
      const TNovaObject* o = list.GetItem(i);
      if (o->Name() == name && !o->PendingDeletion() && (!controls_only || o->AsControl())) return o;
    }
    return nullptr;
  }
  std::string scan_free_auto_name() const {
    std::set<std::string> names;
    for (std::int32_t i = 0; i < list.ItemCount(); ++i) names.insert(list.GetItem(i)->Name());
    for (std::uint64_t n = 0;; ++n) {
      if (!names.count("object" + std::to_string(n))) return "object" + std::to_string(n);
    }
  }
  TNovaObject* any(std::mt19937& rng) const {
    const std::int32_t n = list.ItemCount();
    return n == 0 ? nullptr : list.GetItem(static_cast<std::int32_t>(rng() % static_cast<std::uint32_t>(n)));
  }
  TNovaControl* any_control(std::mt19937& rng) const {
    for (int tries = 0; tries < 4; ++tries) {
      if (TNovaObject* o = any(rng); o && o->AsControl()) return o->AsControl();
    }
    return nullptr;
  }
};

TEST_F(NameIndexAgainstScan, RandomSequencesAgree) {
  const std::vector<std::string> pool = {"a",       "b",        "a_2",     "a_3",      "b_2",    "object0",
                                         "object1", "object2",  "object3", "object01", "object", "",
                                         "A",       "object10", "c_1",     "c_1_2"};
  std::vector<std::string> probes = pool;
  for (int n = 0; n < 30; ++n) probes.push_back("object" + std::to_string(n));
  for (const char* extra : {"a_4", "a_5", "b_3", "c_1_3", "A_2"}) probes.push_back(extra);

  std::mt19937 rng(2024);
  for (int step = 0; step < 4000; ++step) {
    const auto pick = [&] { return pool[rng() % pool.size()]; };
    // The registry stays small enough that the scans stay quick: past 80
    // components a step that would create one deletes one instead.
    std::uint32_t op = rng() % 9;
    if (op < 3 && list.ItemCount() > 80) op = 4;
    switch (op) {
      case 0:
      case 1: {
        TTestWave& w = wave();
        if (rng() % 2) w.SetName(pick());
        if (TNovaControl* p = any_control(rng); p && p != &w && rng() % 2) w.SetParent(p);
        break;
      }
      case 2: {
        TTestTimer& t = timer();
        if (rng() % 2) t.SetName(pick());
        break;
      }
      case 3:
        if (TNovaObject* o = any(rng)) o->SetName(pick());
        break;
      case 4:
        if (TNovaObject* o = any(rng)) list.ScheduleDeletion(*o);
        break;
      case 5:
        if (TNovaObject* o = any(rng); o && rng() % 3 == 0) list.destroy(*o);
        break;
      case 6: list.destroy_scheduled(); break;
      case 7:
        // A component saved and read back: its name is set as it stands,
        // so names can be borne twice.
        if (TNovaObject* o = any(rng); o && o->AsComponent() && is_saved(*o)) {
          core::ByteWriter w;
          list.WriteComponent(w, *o->AsComponent());
          const auto bytes = w.take();
          core::ByteReader r{std::span<const std::uint8_t>(bytes)};
          list.ReadComponent(r, 140, o->AsControl() && rng() % 2 ? any_control(rng) : nullptr);
        }
        break;
      case 8:
        if (TNovaControl* c = any_control(rng)) c->SetParent(rng() % 4 ? any_control(rng) : nullptr);
        break;
    }
    for (const std::string& name : probes) {
      if (name.empty()) continue;  // the empty name is the front base
      ASSERT_EQ(list.FindComponent(name), scan(name, false)) << "step " << step << " name " << name;
      ASSERT_EQ(list.FindControl(name), scan(name, true)) << "step " << step << " name " << name;
    }
    const std::string expected = scan_free_auto_name();
    TTestTimer& probe = timer();
    ASSERT_EQ(probe.Name(), expected) << "step " << step;
    list.destroy(probe);
  }
}

TEST(NameIndexNumbers, AutomaticNumbersAreExactCanonicalDecimals) {
  EXPECT_EQ(NameIndex::auto_number("object0"), 0u);
  EXPECT_EQ(NameIndex::auto_number("object18446744073709551614"), 18446744073709551614u);
  for (const char* no : {"object", "object00", "object01", "object-1", "object1a", "objects1", "Object1",
                         "object18446744073709551615", "object18446744073709551616", "object99999999999999999999"}) {
    EXPECT_EQ(NameIndex::auto_number(no), std::nullopt) << no;
  }
  // Taking and freeing numbers in any order keeps the smallest free one.
  NameIndex index;
  std::mt19937 rng(7);
  std::set<std::uint64_t> taken;
  std::vector<std::unique_ptr<TNovaObject>> owners;
  std::map<std::uint64_t, TNovaObject*> holder;
  for (int step = 0; step < 3000; ++step) {
    const std::uint64_t n = rng() % 64;
    const std::string name = "object" + std::to_string(n);
    if (taken.count(n)) {
      index.remove(name, holder[n]);
      taken.erase(n);
    } else {
      holder[n] = owners.emplace_back(std::make_unique<TNovaObject>()).get();
      index.add(name, {holder[n], static_cast<std::uint64_t>(step), false, false});
      taken.insert(n);
    }
    std::uint64_t expected = 0;
    while (taken.count(expected)) ++expected;
    ASSERT_EQ(index.free_auto_number(), expected) << "step " << step;
  }
}

}  // namespace
}  // namespace nova::test
