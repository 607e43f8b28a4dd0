// The base list: automatic names, renaming, the two lookups and the base
// names, deferred deletion and destruction, handles that outlive their
// components, and the factory's refusals.
#include <gtest/gtest.h>

#include "component_fixture.h"
#include "core/error.h"
#include "support/test_support.h"

namespace nova::test {
namespace {

const std::string kBase0(
    "\x01"
    "BASE0",
    6),
    kBase1(
        "\x01"
        "BASE1",
        6),
    kByte1("\x01", 1);

using Names = ComponentTest;

TEST_F(Names, AutomaticNamesTakeTheSmallestFreeExactNumber) {
  TTestWave& a = wave();
  TTestTimer& b = timer();
  TTestWave& c = wave();
  EXPECT_EQ(a.Name(), "object0");
  EXPECT_EQ(b.Name(), "object1");
  EXPECT_EQ(c.Name(), "object2");
  list.ScheduleDeletion(b);
  EXPECT_EQ(wave().Name(), "object1") << "a scheduled component's name is free at once";
  // Only the exact canonical form counts: these names hold no number.
  for (const char* n : {"object01", "object-3", "object+3", "Object3", "object3x", "object"}) wave(n);
  EXPECT_EQ(wave().Name(), "object3");
  a.SetName("first");
  EXPECT_EQ(wave().Name(), "object0") << "a freed small number is found again, not scanned up from the last";
  wave("object5");
  EXPECT_EQ(wave().Name(), "object4");
  EXPECT_EQ(wave().Name(), "object6") << "the taken 5 is stepped over";
  wave("object18446744073709551614");
  EXPECT_EQ(wave().Name(), "object7");
  // A free number between two runs of taken ones.
  list.ScheduleDeletion(*list.FindComponent("object2"));
  EXPECT_EQ(timer().Name(), "object2");
}

TEST_F(Names, AVisualComponentTakesTheNameAndTheOtherMovesOn) {
  TTestWave& first = wave("btn");
  TTestWave& second = wave("btn");
  EXPECT_EQ(first.Name(), "btn_2");
  EXPECT_EQ(second.Name(), "btn");
  TTestWave& third = wave("btn");
  EXPECT_EQ(second.Name(), "btn_3") << "btn_2 is taken, so the next number";
  EXPECT_EQ(third.Name(), "btn");
  EXPECT_EQ(found("btn"), "btn");
  EXPECT_EQ(list.FindComponent("btn"), &third);

  // Renaming to the own name changes nothing and touches nobody.
  third.SetName("btn");
  EXPECT_EQ(first.Name(), "btn_2");
  EXPECT_EQ(second.Name(), "btn_3");
  EXPECT_EQ(third.Name(), "btn");
  EXPECT_EQ(list.scheduled_count(), 0u);
}

TEST_F(Names, TheStemEndsAtANumberFrom2ToTheInt32Maximum) {
  struct Case {
    const char* taken;
    const char* moved_to;
  };
  const Case cases[] = {
      {"a_7", "a_8"},                    // stem a from 7; a_7 is still its own name then
      {"x_1", "x_1_2"},                  // 1 is no start number
      {"x_007", "x_7"},                  // leading zeros are digits
      {"x_2147483647", "x_2147483648"},  // the largest start number; candidates go on in 64 bits
      {"x_2147483648", "x_2147483648_2"},
      {"x_-5", "x_-5_2"},
      {"x_+5", "x_+5_2"},
      {"_5", "_5_2"},    // "_" at the first byte does not end a stem
      {"a__3", "a__4"},  // the rightmost "_": stem "a_"
      {"x_", "x__2"},
  };
  for (const Case& c : cases) {
    TTestWave& first = wave(c.taken);
    wave(c.taken);
    EXPECT_EQ(first.Name(), c.moved_to) << c.taken;
    list.ScheduleDeletion(first);
    list.ScheduleDeletion(*list.FindComponent(c.taken));
  }
  // The first free a_N from 7 up.
  wave("a_7");
  wave("a_8");
  TTestWave& seven = *static_cast<TTestWave*>(list.FindComponent("a_7"));
  wave("a_7");
  EXPECT_EQ(seven.Name(), "a_9");

  // A trail byte 0x5F ("_") inside a double-byte character ends no stem:
  // "ダ" is 0x83 0x5F.
  const std::string sjis_name = sjis("xダ2");
  ASSERT_EQ(sjis_name[2], '_');
  TTestWave& kana = wave(sjis_name);
  wave(sjis_name);
  EXPECT_EQ(kana.Name(), sjis_name + "_2");
}

TEST_F(Names, RenamingFollowsTheClassOfTheComponentBeingNamed) {
  // Naming a non-visual component like a visual one deletes the visual one.
  TTestWave& image = wave("same");
  const ComponentId image_id = image.id();
  TTestTimer& sound = timer("same");
  EXPECT_TRUE(image.PendingDeletion());
  EXPECT_EQ(image.Name(), "") << "its name is cleared at once";
  EXPECT_EQ(list.FindComponent("same"), &sound);
  // Naming a visual component like a non-visual one renames the other.
  TTestWave& second = wave("same");
  EXPECT_EQ(sound.Name(), "same_2");
  EXPECT_FALSE(sound.PendingDeletion());
  EXPECT_EQ(list.FindComponent("same"), &second);

  // A second timer of a name deletes the first at the end of the update pass.
  TTestTimer& t1 = timer("tick");
  const ComponentId t1_id = t1.id();
  TTestTimer& t2 = timer("tick");
  EXPECT_EQ(list.FindComponent("tick"), &t2);
  EXPECT_NE(list.resolve(t1_id), nullptr) << "still alive until the deletion step";
  list.destroy_scheduled();
  EXPECT_EQ(list.resolve(t1_id), nullptr);
  EXPECT_EQ(list.resolve(image_id), nullptr);
  EXPECT_EQ(list.FindComponent("tick"), &t2);
}

TEST_F(Names, AnEmptyNameTakesNobodysPlace) {
  TTestWave& unnamed = wave();
  unnamed.SetName("");
  TTestWave& other = wave();
  other.SetName("");
  EXPECT_EQ(unnamed.Name(), "");
  EXPECT_FALSE(unnamed.PendingDeletion());
  TTestTimer& t = timer();
  t.SetName("");
  EXPECT_FALSE(unnamed.PendingDeletion()) << "a nameless non-visual component deletes no nameless one";
  EXPECT_FALSE(other.PendingDeletion());
}

TEST_F(Names, LookupsCompareBytesAndSkipWhatIsScheduled) {
  TTestWave& button = wave("Button");
  TTestTimer& t = timer("clock");
  EXPECT_EQ(found("button"), "-") << "no case folding";
  EXPECT_EQ(list.FindComponent("Button"), &button);
  EXPECT_EQ(list.FindControl("clock"), nullptr) << "the control lookup finds only controls";
  EXPECT_EQ(list.FindComponent("clock"), &t);
  list.ScheduleDeletion(button);
  EXPECT_EQ(list.FindComponent("Button"), nullptr) << "not found in the same frame";
  TTestWave& again = wave("Button");
  EXPECT_EQ(list.FindComponent("Button"), &again) << "the name can be taken at once";
  EXPECT_EQ(list.find(""), ComponentId()) << "the directory finds no sender for the empty name";
  EXPECT_EQ(list.find("Button"), again.id());
}

TEST_F(Names, BaseNamesFollowTheRolesExceptInTheControlLookupByObject) {
  TNovaBase& b0 = list.base(0);
  TNovaBase& b1 = list.base(1);
  EXPECT_EQ(b0.Name(), kBase0);
  EXPECT_EQ(b1.Name(), kBase1);
  EXPECT_EQ(list.ItemCount(), 0) << "the bases are not in the registry";
  for (int front = 0; front < 2; ++front) {
    list.set_front_index(front);
    TNovaBase& f = list.base(front);
    TNovaBase& back = list.base(front ^ 1);
    EXPECT_EQ(list.FindComponent(""), &f);
    EXPECT_EQ(list.FindComponent(kBase0), &f) << "BASE0 names the front base in the component lookup";
    EXPECT_EQ(list.FindComponent(kByte1), &back);
    EXPECT_EQ(list.FindComponent(kBase1), &back);
    EXPECT_EQ(list.FindControl(""), &f);
    EXPECT_EQ(list.FindControl(kByte1), &back);
    EXPECT_EQ(list.FindControl(kBase0), &b0) << "the base object made first, whatever its role";
    EXPECT_EQ(list.FindControl(kBase1), &b1);
  }
  // A component named like a base is never found by that name.
  TTestWave& w = wave(kBase0);
  EXPECT_EQ(list.FindComponent(kBase0), &list.front_base());
  EXPECT_EQ(w.Name(), kBase0);
}

TEST_F(Names, ScheduledDeletionOfABaseOrTheListDoesNothing) {
  for (std::string_view name :
       {std::string_view(), std::string_view(kByte1), std::string_view(kBase0), std::string_view(kBase1)}) {
    list.ScheduleDeletion(*list.FindComponent(name));
  }
  list.ScheduleDeletion(list);
  EXPECT_EQ(list.scheduled_count(), 0u);
  EXPECT_EQ(list.base(0).Name(), kBase0);
  EXPECT_EQ(list.base(1).Name(), kBase1);
  list.destroy_scheduled();
  EXPECT_NE(list.resolve(list.base(0).id()), nullptr);
  // An object of another list is not this list's to delete.
  TNovaBaseList other({factory});
  TTestWave& foreign = static_cast<TTestWave&>(other.Create(LT_WAVE));
  list.ScheduleDeletion(foreign);
  EXPECT_FALSE(foreign.PendingDeletion());
}

using Lifetime = ComponentTest;

TEST_F(Lifetime, AHandleResolvesToNothingOnceItsComponentIsGoneEvenInAReusedSlot) {
  TTestWave& a = wave("a");
  const ComponentId id = a.id();
  EXPECT_EQ(list.resolve(id), &a);
  EXPECT_EQ(list.name_of(id), "a");
  list.ScheduleDeletion(a);
  EXPECT_EQ(list.name_of(id), "") << "a scheduled component still exists, nameless";
  list.destroy_scheduled();
  EXPECT_EQ(list.resolve(id), nullptr);
  EXPECT_EQ(list.name_of(id), std::nullopt);
  TTestWave& b = wave("b");
  EXPECT_EQ(b.id().slot(), id.slot()) << "the slot is taken again";
  EXPECT_EQ(list.resolve(id), nullptr) << "and the old handle does not find the new one";
  EXPECT_EQ(list.resolve(b.id()), &b);
}

TEST_F(Lifetime, DestroyingAParentTakesItsSubtreeAndAScheduledParentItsScheduledChildren) {
  TTestWave& parent = wave("parent");
  TTestWave& child = wave("child", &parent);
  TTestWave& grandchild = wave("grandchild", &child);
  TTestWave& sibling = wave("sibling", &parent);
  TTestWave& other = wave("other");
  const ComponentId ids[] = {parent.id(), child.id(), grandchild.id(), sibling.id()};
  // The grandchild is scheduled after its ancestor: destroying the parent
  // destroys it while the deletion list still holds it.
  list.ScheduleDeletion(child);
  list.ScheduleDeletion(parent);
  list.ScheduleDeletion(grandchild);
  list.destroy_scheduled();
  for (ComponentId id : ids) EXPECT_EQ(list.resolve(id), nullptr);
  EXPECT_EQ(list.ItemCount(), 1);
  EXPECT_EQ(list.GetItem(0), &other);
  EXPECT_EQ(list.scheduled_count(), 0u);
  // A child destroyed alone leaves its parent's list.
  TTestWave& p2 = wave("p2");
  TTestWave& c1 = wave("c1", &p2);
  TTestWave& c2 = wave("c2", &p2);
  list.destroy(c1);
  ASSERT_EQ(p2.ChildCount(), 1);
  EXPECT_EQ(p2.GetChild(0), &c2);
  EXPECT_EQ(p2.GetChild(1), nullptr);
  EXPECT_EQ(p2.GetChild(-1), nullptr);
}

TEST_F(Lifetime, TheRegistryKeepsRegistrationOrderThroughDeletions) {
  std::vector<TTestWave*> made;
  for (int i = 0; i < 10; ++i) made.push_back(&wave());
  for (int i = 0; i < 10; i += 3) list.ScheduleDeletion(*made[static_cast<std::size_t>(i)]);
  list.destroy_scheduled();
  std::vector<std::string> names;
  for (int i = 0; i < list.ItemCount(); ++i) names.push_back(list.GetItem(i)->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"object1", "object2", "object4", "object5", "object7", "object8"}));
  list.destroy(*made[4]);
  EXPECT_EQ(list.GetItem(2)->Name(), "object5") << "a destroyed component's place is taken by the next";
  EXPECT_EQ(list.GetItem(list.ItemCount()), nullptr);
}

TEST_F(Lifetime, TheFocusGoesWithItsControlAndCreationAsksForOne) {
  EXPECT_TRUE(list.focus_dirty()) << "the bases were made without a focus";
  list.clear_focus_dirty();
  TTestWave& w = wave("w", &list.front_base());
  EXPECT_TRUE(list.focus_dirty()) << "a control made while nothing has the focus";
  list.set_focus_handle(w.id());
  list.clear_focus_dirty();
  wave("x");
  EXPECT_FALSE(list.focus_dirty()) << "with a focus nothing changes";
  // Moving the focused control off the front base clears the focus.
  w.SetParent(&list.back_base());
  EXPECT_EQ(list.focus(), nullptr);
  EXPECT_TRUE(list.focus_dirty());
  list.set_focus_handle(w.id());
  list.clear_focus_dirty();
  list.destroy(w);
  EXPECT_EQ(list.focus(), nullptr);
  EXPECT_TRUE(list.focus_dirty());
}

TEST_F(Lifetime, TheFactoryRefusesTypesWithoutABuiltClass) {
  try {
    list.Create(LT_BUTTON);
    FAIL() << "a button was made";
  } catch (const core::Error& e) {
    EXPECT_EQ(e.message(), "TNovaButton is not built yet");
  }
  EXPECT_THROW(list.Create(LT_AUDIO), core::Error);
  EXPECT_THROW(list.Create(static_cast<TComponentType>(40)), core::Error);
  EXPECT_EQ(list.ItemCount(), 0) << "nothing half-made stays";
  EXPECT_TRUE(factory.has_class(LT_WAVE));
  EXPECT_EQ(factory.built_type(LT_WAVE | 0x80), LT_WAVE) << "the stored byte is masked";
  EXPECT_EQ(factory.built_type(LT_MES), std::nullopt);
  EXPECT_EQ(factory.built_type(LT_MAP), std::nullopt);
  // The product's factory holds every class built so far, and only those.
  TComponentFactory product;
  register_product_classes(product);
  for (const auto& row : kComponentTypes) {
    if (!product.has_class(row.type)) continue;
    TNovaBaseList l({product});
    EXPECT_EQ(l.Create(row.type).ComponentType(), row.type) << row.name;
  }
}

TEST_F(Lifetime, ADeeperParentChangeIsIgnored) {
  TTestWave* top = &wave("top", &list.front_base());
  TTestWave* deepest = top;
  for (int depth = 2; depth <= kMaxTreeDepth; ++depth) deepest = &wave({}, deepest);
  EXPECT_EQ(deepest->Depth(), kMaxTreeDepth);
  TTestWave& leaf = wave("leaf");
  leaf.SetParent(deepest);
  EXPECT_EQ(leaf.Parent(), nullptr) << "one level too deep";
  // A subtree counts with its own height.
  TTestWave& sub = wave("sub");
  wave("subchild", &sub);
  sub.SetParent(deepest->Parent());
  EXPECT_EQ(sub.Parent(), nullptr);
  sub.SetParent(deepest->Parent()->Parent());
  EXPECT_EQ(sub.Parent(), deepest->Parent()->Parent());
  // A cycle is refused too.
  top->SetParent(deepest);
  EXPECT_EQ(top->Parent(), &list.front_base());
  list.destroy(*top);  // a deep tree is freed without trouble, "sub" with it
  EXPECT_EQ(list.ItemCount(), 1);
  EXPECT_EQ(list.GetItem(0), &leaf);
}

}  // namespace
}  // namespace nova::test
