// A base list with the test classes, and helpers to make and find its
// components, shared by the component tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "components/base_list.h"
#include "expr/params.h"
#include "test_classes.h"

namespace nova::test {

class ComponentTest : public ::testing::Test {
 protected:
  ComponentTest() { register_test_classes(factory); }

  TTestWave& wave(std::string_view name = {}, TNovaControl* parent = nullptr) {
    auto& w = static_cast<TTestWave&>(list.Create(LT_WAVE));
    if (!name.empty()) w.SetName(name);
    if (parent) w.SetParent(parent);
    return w;
  }
  TTestTimer& timer(std::string_view name = {}) {
    auto& t = static_cast<TTestTimer&>(list.Create(LT_TIMER));
    if (!name.empty()) t.SetName(name);
    return t;
  }
  // The name of what the component lookup finds, "-" for nothing.
  std::string found(std::string_view name) const {
    const TNovaComponent* c = list.FindComponent(name);
    return c ? c->Name() : "-";
  }
  std::string found_control(std::string_view name) const {
    const TNovaControl* c = list.FindControl(name);
    return c ? c->Name() : "-";
  }
  // GetProp into a fresh value of the property's type, read as text.
  static std::string get(const TNovaObject& o, int id) {
    expr::TParamStr v;
    GetProp(o, id, v);
    return v.as_str();
  }
  static std::int32_t get_int(const TNovaObject& o, int id) {
    expr::TParamInt v;
    GetProp(o, id, v);
    return v.as_int();
  }
  static void set(TNovaObject& o, int id, std::string_view text) { SetProp(o, id, expr::TParamStr(text)); }
  static void set(TNovaObject& o, int id, std::int32_t v) { SetProp(o, id, expr::TParamInt(v)); }

  TComponentFactory factory;
  TNovaBaseList list{{factory}};
};

}  // namespace nova::test
