#include "components/component_functions.h"

#include <charconv>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "components/base_list.h"
#include "components/item_holder.h"
#include "components/nova_control.h"
#include "components/property_table.h"
#include "core/error.h"
#include "core/log.h"
#include "core/sjis.h"
#include "expr/function_args.h"
#include "expr/sjis_string.h"
#include "files/install_set.h"
#include "files/names.h"
#include "files/script_file_access.h"
#include "files/stream.h"
#include "graphics/brio_collection.h"
#include "graphics/brios.h"
#include "graphics/dib_surface.h"
#include "graphics/memory_dibx.h"
#include "platform/codepage.h"

namespace nova::components {
namespace {

using expr::FunctionArgs;
using expr::TCustomParam;

// The table is constant data, so one answering object serves every player.
const PropertyTypes kPropertyTypes;

enum : int {
  kGetProp = 2,
  kSetProp = 3,
  kExists = 19,
  kGetCheck = 24,
  kSetCheck = 25,
  kListCompo = 32,
  kToClientX = 33,
  kToClientY = 34,
  kToScreenX = 35,
  kToScreenY = 36,
  kIndexOfMenu = 47,
  kInPrimary = 69,
  kGetEnabled = 131,
  kSetEnabled = 132,
  kGetVisible = 140,
  kSetVisible = 141,
  kGetGroupIndex = 145,
  kGetSelected = 146,
  kSetSelected = 147,
  kSaveScreen = 137,
  kInCabinet = 154,
};

TNovaBaseList& list_of(const ComponentScope& scope, int index) {
  if (!scope.list) {
    core::throw_error(std::string(expr::kSysFuncs[static_cast<std::size_t>(index)].name) +
                      ": no component system is running");
  }
  return *scope.list;
}

std::string text_of(const TCustomParam& a) {
  std::string hold;
  return std::string(expr::text_arg(a, hold));
}

// The item a function addresses: the holder and the index, or nothing when
// the component is missing, holds no items, or names no item.
struct ItemRef {
  TItemHolder* holder = nullptr;
  std::int32_t index = -1;
};

std::optional<std::int32_t> parse_int(std::string_view s) {
  std::int32_t v = 0;
  const char* first = s.data();
  const char* last = s.data() + s.size();
  if (first != last && *first == '+') ++first;
  const auto [end, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || end != last || first == last) return std::nullopt;
  return v;
}

ItemRef find_item(TNovaBaseList& list, FunctionArgs a) {
  TNovaComponent* c = list.FindComponent(text_of(*a[0]));
  auto* holder = dynamic_cast<TItemHolder*>(c);
  if (!holder) return {};
  // A preview menu takes an item's name where the text is no number.
  if (a[1]->quick_type() == expr::PT_STR && c->ComponentType() == LT_PREVMENU) {
    const std::string s = text_of(*a[1]);
    if (auto n = parse_int(s)) return {holder, *n};
    if (auto n = holder->ItemIndexByName(s)) return {holder, *n};
    return {};
  }
  return {holder, a[1]->as_int()};
}

template <typename Get>
void item_get(expr::TSysFuncMan& funcs, const ComponentScope& scope, int index, Get get) {
  funcs.set_behaviour(index, [&scope, index, get](TCustomParam& t, FunctionArgs a) {
    const ItemRef item = find_item(list_of(scope, index), a);
    if (item.holder) get(t, *item.holder, item.index);
  });
}

template <typename Set>
void item_set(expr::TSysFuncMan& funcs, const ComponentScope& scope, int index, Set set) {
  funcs.set_behaviour(index, [&scope, index, set](TCustomParam&, FunctionArgs a) {
    const ItemRef item = find_item(list_of(scope, index), a);
    if (item.holder) set(*item.holder, item.index, a[2]->as_flag());
  });
}

// Whether `c` lies below `ancestor` at any depth.
bool inside(const TNovaObject& c, const TNovaControl& ancestor) {
  const auto* control = dynamic_cast<const TNovaControl*>(&c);
  for (const TNovaControl* p = control ? control->Parent() : nullptr; p; p = p->Parent()) {
    if (p == &ancestor) return true;
  }
  return false;
}

void list_components(TCustomParam& t, FunctionArgs a, TNovaBaseList& list) {
  std::int32_t type = 0;
  if (const TCustomParam* p = expr::optional_arg(a, 1)) type = p->as_int();
  if (type < 0 || type > LT_CABINET) type = 0;
  const TNovaControl* within = nullptr;
  if (const TCustomParam* p = expr::optional_arg(a, 2)) {
    within = list.FindControl(text_of(*p));
    // A named control that is missing contains nothing.
    if (!within) type = -1;
  }
  std::vector<std::string> names;
  if (type >= 0) {
    const std::int32_t n = list.ItemCount();
    for (std::int32_t i = 0; i < n; ++i) {
      const TNovaObject* o = list.GetItem(i);
      if (!o || list.IsPendingDeletion(*o) || o->Name().empty()) continue;
      if (type != 0 && o->ComponentType() != type) continue;
      if (within && !inside(*o, *within)) continue;
      names.push_back(o->Name());
    }
  }
  t.set_int(static_cast<std::int32_t>(names.size()));
  TCustomParam* v = expr::written_variable(a, 0);
  if (!v) return;
  if (names.empty()) {
    v->set_str("");
    return;
  }
  const auto count = static_cast<std::int32_t>(names.size());
  v->set_dims(std::span<const std::int32_t>(&count, 1));
  for (std::int32_t i = 0; i < count; ++i) v->set_str_at(i, names[static_cast<std::size_t>(i)]);
}

std::int32_t index_of_menu(TNovaBaseList& list, FunctionArgs a) {
  const TNovaComponent* c = list.FindComponent(text_of(*a[0]));
  if (!c || c->ComponentType() != LT_MENU) return -1;
  const std::string wanted = text_of(*a[1]);
  const std::vector<std::string> lines = expr::split_text_lines(read_str(*c, PR_TEXT));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    // Trimmed as Trim does: blanks and control bytes, never a trail byte.
    std::string_view s = lines[i];
    while (!s.empty() && static_cast<std::uint8_t>(s.front()) <= 0x20) s.remove_prefix(1);
    while (!s.empty() && static_cast<std::uint8_t>(s.back()) <= 0x20) s.remove_suffix(1);
    if (platform::codepage::compare(s, wanted, true) == 0) return static_cast<std::int32_t>(i);
  }
  return -1;
}

// ToClientX/Y and ToScreenX/Y: a coordinate unchanged when the control is
// missing.
void conversion(expr::TSysFuncMan& funcs, const ComponentScope& scope, int index, bool to_client, bool x_axis) {
  funcs.set_behaviour(index, [&scope, index, to_client, x_axis](TCustomParam& t, FunctionArgs a) {
    const std::int32_t v = a[1]->as_int();
    const TNovaControl* c = list_of(scope, index).FindControl(text_of(*a[0]));
    if (!c) {
      t.set_int(v);
      return;
    }
    const Point p = x_axis ? Point{v, 0} : Point{0, v};
    const Point q = to_client ? c->ScreenToClient(p) : c->ClientToScreen(p);
    t.set_int(x_axis ? q.x : q.y);
  });
}

// --- SaveScreen ------------------------------------------------------------------

namespace fs = std::filesystem;

// The JPEG quality of every screen shot (files store no JPEG data, but the
// header carries it all the same).
constexpr int kShotQuality = 70;

bool is_memory_name(std::string_view name) {
  return core::starts_with_ci(name, "mem:") || core::starts_with_ci(name, "save:");
}

bool shot_refused(std::string_view name, std::string_view why) {
  core::logf(core::Channel::Components, core::Level::Warning, "SaveScreen %s: %s",
             {platform::codepage::to_utf8(name.substr(0, 200)), why});
  return false;
}

// The base drawn whole at the list's depth, then copied into a 24-bit
// picture of width × height, stretched by nearest neighbour when that is
// not the screen's size.
void take_shot(const TNovaBaseList& list, TNovaBase& base, std::int32_t width, std::int32_t height,
               graphics::TDIBSurface& out) {
  const std::int32_t sw = list.ScreenWidth(), sh = list.ScreenHeight();
  out.SetSize(width, height, 24);
  if (sw <= 0 || sh <= 0) return;
  graphics::TDIBX screen;
  screen.SetSize(sw, sh, list.BitCount());
  base.PaintWhole(screen);
  if (sw == width && sh == height) {
    graphics::convert_pixels(screen, {}, out.Bitmap(), out.GetPalette());
    return;
  }
  graphics::TDIBX full;
  full.SetSize(sw, sh, 24);
  graphics::convert_pixels(screen, {}, full, {});
  out.Bitmap().StretchDraw({0, 0, width, height}, full, 255, false, false, false, {0, 0, sw, sh});
}

// Registration 2: the name joins the written files of the base folder's
// "install.dat", which is replaced atomically; FALSE when there is none.
bool register_in_install_data(files::ScriptFileAccess& access, const std::string& name) {
  const auto path = access.HostPathForWrite("install.dat");
  std::error_code ec;
  if (!path || !fs::is_regular_file(*path, ec)) return shot_refused(name, "the base folder holds no install.dat");
  const std::uintmax_t size = fs::file_size(*path, ec);
  if (ec || size > files::kMaxScriptFileSize) return shot_refused(name, "install.dat cannot be read");
  try {
    files::TNovaInstallSet set = files::TNovaInstallSet::LoadFromFile(*path);
    if (!set.AddWrittenFile(name)) return true;
    return access.WriteHost(*path, set.Bytes());
  } catch (const core::Error& e) {
    return shot_refused(name, "install.dat is damaged: " + platform::codepage::to_utf8(e.message()));
  }
}

// SaveScreen (file, [width, [height, [back base, [registration]]]]).
bool save_screen(const ComponentScope& scope, FunctionArgs a) {
  TNovaBaseList& list = list_of(scope, kSaveScreen);
  const std::string name = text_of(*a[0]);
  if (!scope.access) return shot_refused(name, "there is no file access");
  files::ScriptFileAccess& access = *scope.access;
  const fs::path& base_folder = access.files().BaseFolder();
  std::error_code ec;
  if (base_folder.empty() || !fs::is_directory(base_folder, ec)) return shot_refused(name, "there is no base folder");
  if (!core::equal_ci(files::names::extension(name), ".bri")) return shot_refused(name, "the name is not a .bri file");

  const TCustomParam* width_arg = expr::optional_arg(a, 1);
  const TCustomParam* height_arg = expr::optional_arg(a, 2);
  const TCustomParam* back_arg = expr::optional_arg(a, 3);
  std::int32_t width = width_arg ? width_arg->as_int() : 0;
  std::int32_t height = height_arg ? height_arg->as_int() : 0;
  if (width == 0) width = list.ScreenWidth();
  if (height == 0) height = list.ScreenHeight();
  if (width <= 0 || height <= 0) return false;
  try {
    graphics::check_picture_size(width, height, 24, graphics::PictureLimits{}, "the screen shot");
  } catch (const core::Error& e) {
    return shot_refused(name, platform::codepage::to_utf8(e.message()));
  }

  graphics::TBrioFrameList frames(0);
  take_shot(list, back_arg && back_arg->as_flag() ? list.back_base() : list.front_base(), width, height,
            frames.AddFrame().surface);
  const bool memory = is_memory_name(name);
  files::TKvMemoryStream encoded;
  frames.SaveToStream(encoded, memory ? graphics::kBrioJpeg : graphics::kBrioZlib, kShotQuality);
  // "save:" stores the save file too (the access's hook).
  if (memory) return access.Write(name, encoded.bytes());

  const auto target = access.HostPathForWrite(name);
  if (!target || !access.WriteHost(*target, encoded.bytes())) return false;
  // Components showing the old picture keep drawing it until they load it
  // again; freeing it would leave them with freed frames.
  if (graphics::TBrioCollection* pictures = list.pictures()) pictures->MarkStale(name);
  // Registration 1 asks for this same note: the player keeps one list of
  // the files written this run.
  access.files().NoteWrittenFile(*target);
  const TCustomParam* registration = expr::optional_arg(a, 4);
  if (registration && registration->as_int() == 2) return register_in_install_data(access, name);
  return true;
}

}  // namespace

void register_component_functions(expr::TSysFuncMan& funcs, const ComponentScope& scope) {
  funcs.set_property_types(&kPropertyTypes);

  funcs.set_behaviour(kGetProp, [&scope](TCustomParam& t, FunctionArgs a) {
    const TNovaComponent* c = list_of(scope, kGetProp).FindComponent(text_of(*a[0]));
    if (c) GetProp(*c, a[1]->as_int(), t);
  });
  funcs.set_behaviour(kSetProp, [&scope](TCustomParam&, FunctionArgs a) {
    TNovaComponent* c = list_of(scope, kSetProp).FindComponent(text_of(*a[0]));
    if (c) SetProp(*c, a[1]->as_int(), *a[2]);
  });
  funcs.set_behaviour(kExists, [&scope](TCustomParam& t, FunctionArgs a) {
    t.set_flag(list_of(scope, kExists).FindComponent(text_of(*a[0])) != nullptr);
  });

  item_get(funcs, scope, kGetCheck,
           [](TCustomParam& t, TItemHolder& h, std::int32_t i) { t.set_flag(h.GetItemChecked(i)); });
  item_set(funcs, scope, kSetCheck, [](TItemHolder& h, std::int32_t i, bool v) { h.SetItemChecked(i, v); });
  item_get(funcs, scope, kGetEnabled,
           [](TCustomParam& t, TItemHolder& h, std::int32_t i) { t.set_flag(h.GetItemEnabled(i)); });
  item_set(funcs, scope, kSetEnabled, [](TItemHolder& h, std::int32_t i, bool v) { h.SetItemEnabled(i, v); });
  item_get(funcs, scope, kGetVisible,
           [](TCustomParam& t, TItemHolder& h, std::int32_t i) { t.set_flag(h.GetItemVisible(i)); });
  item_set(funcs, scope, kSetVisible, [](TItemHolder& h, std::int32_t i, bool v) { h.SetItemVisible(i, v); });
  item_get(funcs, scope, kGetGroupIndex,
           [](TCustomParam& t, TItemHolder& h, std::int32_t i) { t.set_int(h.GetItemGroupIndex(i)); });
  item_get(funcs, scope, kGetSelected,
           [](TCustomParam& t, TItemHolder& h, std::int32_t i) { t.set_flag(h.GetItemSelected(i)); });
  item_set(funcs, scope, kSetSelected, [](TItemHolder& h, std::int32_t i, bool v) { h.SetItemSelected(i, v); });

  funcs.set_behaviour(kIndexOfMenu, [&scope](TCustomParam& t, FunctionArgs a) {
    t.set_int(index_of_menu(list_of(scope, kIndexOfMenu), a));
  });
  funcs.set_behaviour(kListCompo,
                      [&scope](TCustomParam& t, FunctionArgs a) { list_components(t, a, list_of(scope, kListCompo)); });

  conversion(funcs, scope, kToClientX, true, true);
  conversion(funcs, scope, kToClientY, true, false);
  conversion(funcs, scope, kToScreenX, false, true);
  conversion(funcs, scope, kToScreenY, false, false);

  funcs.set_behaviour(kInPrimary, [&scope](TCustomParam& t, FunctionArgs a) {
    TNovaBaseList& list = list_of(scope, kInPrimary);
    const TNovaControl* c = list.FindControl(text_of(*a[0]));
    t.set_flag(c && c->GetBase() == &list.front_base() && !c->IsInCabinet());
  });
  funcs.set_behaviour(kSaveScreen, [&scope](TCustomParam& t, FunctionArgs a) { t.set_flag(save_screen(scope, a)); });
  funcs.set_behaviour(kInCabinet, [&scope](TCustomParam& t, FunctionArgs a) {
    const TNovaControl* c = list_of(scope, kInCabinet).FindControl(text_of(*a[0]));
    t.set_flag(c && c->IsInCabinet());
  });
}

}  // namespace nova::components
