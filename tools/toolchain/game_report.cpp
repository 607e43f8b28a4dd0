#include "tools/toolchain/game_report.h"

#include "components/base_list.h"
#include "components/component_factory.h"
#include "components/component_types.h"
#include "core/error.h"
#include "core/format.h"
#include "core/sjis.h"
#include "data/db_manager.h"
#include "data/history_format.h"
#include "expr/number_text.h"
#include "expr/param_collection.h"
#include "expr/sys_func_man.h"
#include "files/archive.h"
#include "files/host_lookup.h"
#include "files/stream.h"
#include "graphics/brio_collection.h"
#include "graphics/picture_files.h"
#include "platform/fonts.h"
#include "script/callman.h"
#include "script/game_record.h"
#include "script/save_file.h"
#include "script/script_host.h"
#include "text/font_pixel_manager.h"
#include "tools/toolchain/command_syntax.h"
#include "tools/toolchain/save_report.h"
#include "tools/toolchain/source_text.h"
#include "tools/toolchain/table_report.h"

namespace nova::tools {
namespace {

namespace fs = std::filesystem;

// The title's pages from its folder, found as the player finds them.
class FolderHost final : public script::ScriptHost {
 public:
  explicit FolderHost(fs::path root) : m_root(std::move(root)) {}
  bool EnsureFile(std::string_view name) override { return Exists(name); }
  bool Exists(std::string_view name) override { return !m_root.empty() && m_finder.FindFile(m_root, name).has_value(); }
  std::vector<std::uint8_t> ReadFile(std::string_view name) override {
    const auto path = m_root.empty() ? std::nullopt : m_finder.FindFile(m_root, name);
    if (!path) core::throw_error(std::string(name) + core::sjis(":ファイルがありません"));
    files::MemoryBlock data;
    files::host::read_whole_file(*path, data);
    return {data.bytes().begin(), data.bytes().end()};
  }
  void ShowFatal(std::string_view, std::string_view text) override { core::throw_error(std::string(text)); }
  void RequestClose() override {}
  void RequestGameSave(script::GameSaveRequest) override {}
  void RequestGameLoad(std::int32_t) override {}

 private:
  fs::path m_root;
  files::HostFileFinder m_finder;
};

// The title's pictures, which image components load with their records.
class FolderPictures final : public graphics::PictureFiles {
 public:
  explicit FolderPictures(FolderHost& host) : m_host(host) {}
  bool exists(const std::string& name) const override { return m_host.Exists(name); }
  std::vector<std::uint8_t> read_all(const std::string& name) const override { return m_host.ReadFile(name); }

 private:
  FolderHost& m_host;
};

fs::path title_folder_of(const fs::path& save_file) {
  std::error_code ec;
  fs::path folder = fs::absolute(save_file, ec).parent_path();
  for (int up = 0; up < 8; ++up) {
    if (fs::exists(folder / "nova.npb", ec)) return folder;
    if (!folder.has_parent_path() || folder.parent_path() == folder) break;
    folder = folder.parent_path();
  }
  return {};
}

std::string name_text(std::string_view sjis_name) {
  // Screen bases and the screen copy are named with byte 1 first.
  if (!sjis_name.empty() && sjis_name[0] == '\x01') return "Chr(1) ++ " + quoted_source(sjis_name.substr(1));
  return quoted_source(sjis_name);
}

std::string value_text(const expr::TCustomParam& v) {
  const std::vector<std::int32_t> dims = v.dims();
  if (dims.empty()) return element_text(v, 0);
  std::string text = "[";
  for (std::size_t k = 0; k < dims.size(); ++k) text += (k ? "," : "") + std::to_string(dims[k]);
  text += "] {";
  for (std::int32_t i = 0; i < v.count(); ++i) text += (i ? ", " : "") + element_text(v, i);
  return text + "}";
}

void describe_tree(std::string& out, const components::TNovaControl& c, int depth) {
  for (const components::TNovaControl* child : c.Children()) {
    if (!child) continue;
    out += std::string(static_cast<std::size_t>(depth) * 2, ' ');
    out += std::string(components::component_type_info(child->ComponentType()).name) + " " + name_text(child->Name());
    out += "\n";
    describe_tree(out, *child, depth + 1);
  }
}

std::string frame_text(const script::TStack& f) {
  std::string text = "page " + (f.page.empty() ? std::string("(none)") : quoted_source(f.page)) + " position " +
                     std::to_string(f.position) + (f.started ? " started" : "");
  if (!f.arguments.empty()) {
    text += " arguments";
    for (const std::string& a : f.arguments) text += " " + quoted_source(a);
  }
  if (!f.result_variable.empty()) text += " result " + quoted_source(f.result_variable);
  if (f.saved_state) text += " with the command's state";
  return text;
}

std::string layout_text(const data::HistoryLayout& l) {
  return core::format("font %d, border %d, shadow %d, %d x %d, line spacing %d",
                      {l.font_size, l.border_width, l.shadow_width, l.width, l.height, l.line_spacing});
}

// Every history format in full: its settings, the history's mode and
// engine settings, maximum and count, the list entries and the laid-out
// pages with their segments (keys as the effective ones), and the page
// waiting to be recorded.
void describe_history(std::string& out, const data::TNovaHistoryFormatManager& history) {
  out += core::format("history formats: %d\n", {static_cast<std::int64_t>(history.FormatCount())});
  for (std::size_t i = 0; i < history.FormatCount(); ++i) {
    const data::TNovaHistoryFormat& f = history.Format(i);
    const data::TNovaNewHistory& h = f.History();
    out += "  format " + quoted_source(f.Name()) + ": settings " + layout_text(f.Settings()) + "\n";
    out += std::string("    mode ") + (h.laid_out() ? "laid out" : "list") + ", engine " + layout_text(h.layout()) +
           core::format(", maximum %d, count %d\n", {h.MaxCount(), h.Count()});
    out += core::format("    entries: %d\n", {static_cast<std::int64_t>(h.entries().size())});
    for (std::size_t e = 0; e < h.entries().size(); ++e) {
      const data::THistoryOldData& d = h.entries()[e];
      out += "      " + quoted_source(data::effective_key(h.entries(), e)) +
             core::format(" command %d page %d, box %d x %d\n", {d.command, d.page, d.width, d.height});
    }
    out += core::format("    pages: %d\n", {static_cast<std::int64_t>(h.pages().size())});
    for (const data::TNovaHistData& page : h.pages()) {
      out += core::format("      page of %d segments, total %d\n",
                          {static_cast<std::int64_t>(page.segments().size()), page.total_height()});
      for (std::size_t k = 0; k < page.segments().size(); ++k) {
        const data::THistSegment& g = page.segments()[k];
        out += "        " + quoted_source(page.effective_key(k)) +
               core::format(" command %d, positions %d to %d, height %d, snapshot ", {g.command, g.first, g.last, g.height}) +
               quoted_source(g.snapshot) + "\n";
      }
    }
    const data::NotedPage& p = h.pending();
    if (p.key.empty()) {
      out += "    pending: (none)\n";
    } else {
      out += "    pending: " + quoted_source(p.key) +
             core::format(" command %d page %d, positions %d to %d, box ", {p.command, p.page, p.first, p.last}) +
             name_text(p.box) + core::format(" %d x %d, snapshot ", {p.box_width, p.box_height}) +
             quoted_source(p.snapshot) + "\n";
    }
  }
}

}  // namespace

std::string game_report(const fs::path& save_file, std::int32_t slot, const fs::path& title_folder) {
  std::error_code ec;
  if (!fs::is_regular_file(save_file, ec)) core::throw_error_utf8(save_file.string() + ": no such file");
  auto archive = script::TSaveFile(save_file).open();
  const files::TVrFile* entry = archive->Find(script::game_entry_name(slot));
  if (!entry) core::throw_error_utf8(core::format("%s: no slot %d", {save_file.string(), slot}));
  files::MemoryBlock data;
  archive->ReadEntry(*entry, data);

  core::ByteReader head_reader(data.bytes());
  head_reader.set_context(script::game_entry_name(slot));
  const script::GameRecordHead head = script::read_game_record_head(head_reader);
  core::ByteReader size_reader = head_reader;
  const std::int32_t width = size_reader.i32();
  const std::int32_t height = size_reader.i32();

  // A game of its own to load the record into.
  components::TComponentFactory factory;
  components::register_product_classes(factory);
  FolderHost host(title_folder.empty() ? title_folder_of(save_file) : title_folder);
  FolderPictures picture_files(host);
  graphics::TBrioCollection pictures(picture_files, 0, 32);
  // Message boxes make their text engines with a glyph manager; nothing is
  // laid out or drawn here.
  const auto fonts = platform::create_font_service();
  text::TFontPixelManager glyphs(*fonts);
  components::MesServices messages;
  messages.glyphs = &glyphs;
  components::TNovaBaseList list({.factory = factory, .pictures = &pictures, .messages = &messages});
  list.ReleaseSurfaces();
  data::TNovaHistoryFormatManager history;
  list.set_history(&history);
  core::FrameClock clock;
  expr::TParamCollection store;
  expr::TSysFuncMan funcs;
  script::TCallMan cm({clock, store, funcs, host, &list});
  cm.set_event_queue(&list.events());
  cm.set_component_directory(&list);
  data::TDBManager tables;
  script::GameParts parts{list, history, cm, store, tables, width, height};
  parts.refresh_boxes = false;
  parts.enter_after_load = false;
  script::load_game_record(data.bytes(), parts);

  std::string out = core::format("slot %d: version %d, caption %s\n", {slot, head.version, quoted_source(head.caption)});
  if (head.after_load_page.empty()) {
    out += "after load: (none)\n";
  } else {
    out += core::format("after load: page %s index %d\n", {quoted_source(head.after_load_page), head.after_load_index});
  }
  out += core::format("screen: %d x %d, front base %d\n", {width, height, list.front_index()});
  for (int b = 0; b < 2; ++b) {
    out += core::format("base %d:\n", {b});
    describe_tree(out, list.base(b), 1);
  }
  for (std::int32_t i = 0; i < list.ItemCount(); ++i) {
    const components::TNovaObject* o = list.GetItem(i);
    if (!o || o->AsControl() || list.IsPendingDeletion(*o)) continue;
    out += "component " + std::string(components::component_type_info(o->ComponentType()).name) + " " +
           name_text(o->Name()) + "\n";
  }
  const components::TNovaControl* focus = list.focus();
  out += "focus: " + (focus ? name_text(focus->Name()) : std::string("(none)")) + "\n";
  const auto& events = list.events().entries();
  out += core::format("events: %d\n", {static_cast<std::int64_t>(events.size())});
  for (const components::EventEntry& e : events) {
    out += "  " + quoted_source(e.target) + " from " + name_text(list.name_of(e.sender).value_or(std::string())) +
           core::format(" level %d", {e.level});
    for (const std::string& a : e.arguments) out += " " + quoted_source(a);
    out += "\n";
  }
  script::TStack position;
  position.page = cm.CurrentPage() ? cm.CurrentPage()->name() : std::string();
  position.position = cm.Position();
  position.started = cm.Started();
  position.arguments = cm.Arguments();
  out += "interpreter: " + frame_text(position) +
         core::format(", state %d, event level %d\n", {cm.State(), cm.EventLevel()});
  out += core::format("stack: %d\n", {cm.StackCount()});
  for (std::int32_t i = 0; i < cm.StackCount(); ++i) out += core::format("  %d: ", {i}) + frame_text(cm.Stack().at(i)) + "\n";
  out += "variables:\n";
  for (const expr::TParamCollectionItem* item : store.items()) {
    if (item->is_system() || item->is_status()) continue;
    const auto type = static_cast<std::size_t>(item->type());
    out += "  " + std::string(type < std::size(kTypeNames) ? kTypeNames[type] : "?") + " " + utf8(item->name());
    if (item->is_local()) out += core::format(" (local, depth %d)", {item->frame_id()});
    out += " = " + value_text(item->value()) + "\n";
  }
  out += core::format("pushed blocks: %d\n", {static_cast<std::int64_t>(store.pushed_count())});
  out += game_tables_text(tables);
  describe_history(out, history);
  return out;
}

}  // namespace nova::tools
