// The component commands: the creating path of the class table, GetProp,
// SetProp and ObjDel, the play control of media and menus, the wait on a
// component that MovieStop and TextIns share, and the commands whose
// subsystems come later.
#include <array>
#include <utility>

#include "components/base_list.h"
#include "components/property_access.h"
#include "components/property_table.h"
#include "core/error.h"
#include "core/format.h"
#include "core/log.h"
#include "script/callman.h"
#include "script/commands.h"

namespace nova::script {
namespace {

using components::ComponentId;
using components::TComponentType;
using components::TNovaBaseList;
using components::TNovaComponent;
using components::TNovaObject;
using components::TPropId;

// The command moves on, then finds the component `name` names (nullptr
// when none has that name).
TNovaComponent* advance_and_find(TCallMan& cm, const TCommand& command, TExpression& name) {
  TNovaBaseList& list = component_list(cm, command);
  cm.Advance();
  return list.FindComponent(name.str_or(cm, ""));
}

[[noreturn]] void throw_bad_property_id() { core::throw_error_utf8("プロパティ指定が不正です"); }

// The property id of GetProp and SetProp: the expression's integer.
std::int32_t property_id(TCallMan& cm, TExpression& e) {
  const expr::TCustomParam* v = e.run(cm);
  if (!v) throw_bad_property_id();
  return v->as_int();
}

// The play control of a component whose class has none does nothing; the
// author is told, since the script expected a medium or a menu there.
void warn_without_play_control(const TCommand& command, const TNovaObject& target) {
  if (target.HasPlayControl()) return;
  core::logf(core::Channel::Script, core::Level::Warning, "%s: \"%s\" has no play control (%s)",
             {command.name(), target.Name(), components::component_type_info(target.ComponentType()).name});
}

// The creating commands' types, by code.
struct CreatedType {
  std::uint8_t code;
  TComponentType type;
};
constexpr std::array<CreatedType, 22> kCreatedTypes = {{
    {8, components::LT_BOX},        {9, components::LT_IMAGES}, {10, components::LT_MES},
    {11, components::LT_TIMER},     {12, components::LT_VIDEO}, {23, components::LT_CINEMA},
    {24, components::LT_LABEL},     {25, components::LT_MENU},  {30, components::LT_BUTTON},
    {36, components::LT_PARTICLE},  {37, components::LT_FIRE},  {42, components::LT_SOUND},
    {43, components::LT_EDIT},      {44, components::LT_MEMO},  {48, components::LT_MAPIMG},
    {49, components::LT_WAVE},      {50, components::LT_TILE},  {51, components::LT_SLIDER},
    {52, components::LT_SCROLLBAR}, {53, components::LT_GAUGE}, {54, components::LT_CGLABEL},
    {56, components::LT_PREVMENU},
}};

constexpr int kImgNew = 9, kMovie = 12, kMenu = 25, kParticleNew = 36, kSound = 42;

// Writes one property of a new component from its expression's value, read
// with the property's type, or the creation default when it has none.
void apply_property(TNovaComponent& c, TPropId id, const expr::TCustomParam* v) {
  using namespace components;
  const TPropertyInfo& row = kProperties[id];
  switch (id) {
    case PR_NAME:
      // The automatic name stays unless a name is given.
      if (v) {
        const std::string name = v->as_str();
        if (!name.empty()) c.SetName(name);
      }
      return;
    case PR_LEFT: c.SettlePendingSize(); break;
    case PR_FONTSTYLE:
    case PR_FONTHOVERSTYLE:
      // Bold, italic, underline and strike-out; higher bits mean nothing.
      write_int(c, id, (v ? v->as_int() : row.create_default) & 0x0F);
      return;
    default: break;
  }
  switch (row.type) {
    case expr::PT_STR: write_str(c, id, v ? v->as_str() : std::string()); break;
    case expr::PT_BOOL: write_flag(c, id, v ? v->as_flag() : row.create_default != 0); break;
    case expr::PT_FLOAT: write_float(c, id, v ? v->as_float() : 0.0L); break;
    default: write_int(c, id, v ? v->as_int() : row.create_default); break;
  }
}

}  // namespace

TNovaBaseList& component_list(TCallMan& cm, const TCommand& command) {
  if (!cm.base_list()) core::throw_error(core::format("%s: no component system is running", {command.name()}));
  return *cm.base_list();
}

std::optional<TComponentType> created_type(int code) {
  for (const CreatedType& t : kCreatedTypes) {
    if (t.code == code) return t.type;
  }
  return std::nullopt;
}

// --- Creating ------------------------------------------------------------------------

TExpression* TComComponent::property_expression(int id) {
  for (TPropertyExpression& p : mutable_record().properties) {
    if (p.id == id) return &p.expression;
  }
  return nullptr;
}

void TComComponent::Execute(TCallMan& cm, TPage&, std::int32_t) {
  using namespace components;
  const auto type = created_type(GetCode());
  if (!type) core::throw_error(core::format("%s: creates no component", {name()}));
  TNovaBaseList& list = component_list(cm, *this);
  if (!list.factory().has_class(*type)) {
    core::throw_error(core::format("%s: %s is not built yet", {name(), component_type_info(*type).class_name}));
  }
  cm.Advance();
  TNovaComponent& c = list.Create(*type);
  const ComponentId id = c.id();
  // What fails from here on leaves the component half made: it goes at the
  // end of this tick's update pass, its name at once, and no event of it
  // runs, so a command retried at every tick holds at most one of them.
  std::string_view step;
  try {
    if (GetCode() == kImgNew || GetCode() == kParticleNew) {
      for (TPropId p : {PR_APPEARX, PR_APPEARY, PR_DELAY}) {
        if (GetCode() == kImgNew && p != PR_DELAY) continue;
        if (TExpression* e = property_expression(p)) c.TakeExpression(p, e->parser());
      }
    }
    for (TPropId p : kCreationOrder) {
      const TPropertyInfo& row = kProperties[p];
      step = row.name;
      if (p == PR_PARENT) {
        // The parent is the control a given name finds, otherwise the
        // front base, also when the command has no PR_PARENT at all.
        TNovaControl* control = c.AsControl();
        if (!control) continue;
        TNovaControl* parent = nullptr;
        if (TExpression* e = property_expression(p)) {
          const std::string text = e->str_or(cm, "");
          if (!text.empty()) parent = list.FindControl(text);
        }
        control->SetParent(parent ? parent : &list.front_base());
        continue;
      }
      if (!row.applied_at_creation) continue;
      TExpression* e = property_expression(p);
      if (!e) continue;
      apply_property(c, p, e->run(cm));
    }
    step = {};
    c.Invalidate();
    if (GetCode() == kMovie || GetCode() == kSound) {
      c.SetPlayControl(read_int(c, PR_DELAY) != 0 ? LP_PLAYFADE : LP_PLAY);
    } else if (GetCode() == kMenu) {
      c.SetPlayControl(LP_PLAYFADE);
    }
  } catch (const core::Error& e) {
    if (TNovaObject* half = list.resolve(id)) {
      list.events().remove_sender(id);
      list.ScheduleDeletion(*half);
    }
    if (step.empty()) core::throw_error(core::format("%s: %s", {name(), e.message()}));
    core::throw_error(core::format("%s: %s: %s", {name(), step, e.message()}));
  }
}

// --- Properties and deletion --------------------------------------------------------

template <>
void TComOnComponent<17>::Execute(TCallMan& cm, TPage&, std::int32_t) {
  const TNovaComponent* c = advance_and_find(cm, *this, expression(0));
  if (!c) return;
  const std::int32_t id = property_id(cm, expression(1));
  if (expr::TParamCollectionItem* variable = cm.store().find(text(2))) components::GetProp(*c, id, variable->value());
}

template <>
void TComOnComponent<18>::Execute(TCallMan& cm, TPage&, std::int32_t) {
  TNovaComponent* c = advance_and_find(cm, *this, expression(0));
  if (!c) return;
  const std::int32_t id = property_id(cm, expression(1));
  if (const expr::TCustomParam* v = expression(2).run(cm)) components::SetProp(*c, id, *v);
}

template <>
void TComOnComponent<19>::Execute(TCallMan& cm, TPage&, std::int32_t) {
  TNovaBaseList& list = component_list(cm, *this);
  cm.Advance();
  const std::string name = expression(0).str_or(cm, "");
  if (name.empty()) return;
  // The bases are never deleted (the list ignores them).
  if (TNovaComponent* c = list.FindComponent(name)) list.ScheduleDeletion(*c);
}

// --- Play control ---------------------------------------------------------------------

template <>
void TComOnComponent<26>::Execute(TCallMan& cm, TPage&, std::int32_t) {
  if (TNovaComponent* c = advance_and_find(cm, *this, expression(0))) {
    warn_without_play_control(*this, *c);
    c->SetPlayControl(components::LP_STOPFADE);
  }
}

template <>
void TComOnComponent<55>::Execute(TCallMan& cm, TPage&, std::int32_t) {
  if (TNovaComponent* c = advance_and_find(cm, *this, expression(0))) {
    warn_without_play_control(*this, *c);
    c->RestartMotion();
  }
}

void TComMovieStop::Start(TCallMan& cm) {
  using namespace components;
  TNovaBaseList& list = component_list(cm, *this);
  set_uninterruptible(expression(3).flag_or(cm, false));
  set_waiting(false);
  set_target(list, {});
  const std::string name = expression(0).str_or(cm, "");
  if (name.empty()) return;
  TNovaComponent* c = list.FindComponent(name);
  if (!c) return;
  const std::int32_t fade = expression(1).int_or(cm, 0);
  warn_without_play_control(*this, *c);
  if (fade > 0) {
    const std::string source = read_str(*c, PR_SOURCE);
    // A CD audio track is no file; anything else must still be there.
    const bool cd_track = source.starts_with("CD_");
    const std::int32_t state = c->GetPlayState();
    const bool playing = (state == LP_PLAY || state == LP_PLAYFADE) && !c->HasEnded();
    if ((cd_track || cm.host().Exists(source)) && playing) {
      write_int(*c, PR_DELAY, fade);
      c->SetPlayControl(LP_STOPFADE);
      set_target(list, c->id());
    }
  } else {
    c->SetPlayControl(LP_STOP);
    list.ScheduleDeletion(*c);
  }
  if (const expr::TCustomParam* wait = expression(2).run(cm)) set_waiting(wait->as_flag());
}

// --- Waiting on a component --------------------------------------------------------------

void TComWaitOn::set_target(const TNovaBaseList& list, ComponentId id) {
  m_list = &list;
  m_target = id;
  m_pending_name.reset();
}

void TComWaitOn::Execute(TCallMan& cm, TPage&, std::int32_t) {
  if (m_pending_name) {
    TNovaBaseList& list = component_list(cm, *this);
    const std::string name = std::move(*m_pending_name);
    const TNovaComponent* c = name.empty() ? nullptr : list.FindComponent(name);
    set_target(list, c && accepts(*c) ? c->id() : ComponentId{});
  }
  const TNovaObject* target = m_list && m_target ? m_list->resolve(m_target) : nullptr;
  if (!target || !m_waiting || !holds(*target)) cm.Advance();
}

void TComWaitOn::SaveState(core::ByteWriter& w) const {
  std::string name;
  if (m_pending_name) {
    name = *m_pending_name;
  } else if (const TNovaObject* o = m_list ? m_list->resolve(m_target) : nullptr) {
    name = o->Name();
  }
  write_state_header(w);
  w.str(name);
  w.boolean(m_waiting);
  w.boolean(m_uninterruptible);
}

void TComWaitOn::LoadState(core::ByteReader& r) {
  const int version = read_state_header(r);
  std::string target = r.str();
  bool waiting = r.boolean();
  if (version >= 100) m_uninterruptible = r.boolean();
  m_target = {};
  m_pending_name = std::move(target);
  m_waiting = waiting;
}

// --- Not built yet ----------------------------------------------------------------------

// Nothing of them runs, not even an expression: they are retried at every
// tick.
template <>
void TComOnComponent<57>::Execute(TCallMan&, TPage&, std::int32_t) {
  throw_not_built(*this, "property motions are");
}

void TComCabinet::Execute(TCallMan&, TPage&, std::int32_t) { throw_not_built(*this, "cabinets are"); }

}  // namespace nova::script
