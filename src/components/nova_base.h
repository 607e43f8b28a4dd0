// TNovaBase: a screen base, one of the two full-screen layers of a base
// list on which visual components are placed. The list makes both at its
// construction, names them byte 1 + "BASE0" and byte 1 + "BASE1", owns
// them and keeps them out of its registry: they are reached through the
// list and the base names only, are never updated by the registry's pass,
// saved among its components or deleted by ObjDel. Which one is the front
// base is the list's front index.
//
// The dirty list, surfaces, pointer and button state of a base belong to
// the composition and input routing, which add them.
#pragma once

#include "components/nova_control.h"

namespace nova::components {

class TNovaBase final : public TNovaControl {
 public:
  bool IsScreenBase() const override { return true; }
  TNovaControl* GetBase() const override { return const_cast<TNovaBase*>(this); }
  // A base is the top of the chain: the rectangle goes to its dirty list.
  void InvalidateRect(const Rect& rect) override { AddDirtyRect(rect); }
};

}  // namespace nova::components
