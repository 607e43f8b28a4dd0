// TitleServices: the one owner of what a title's run shares (file manager,
// variable store, builtin functions, glyph manager, component system,
// project, media with the screen manager). The slots are
// filled at the steps of the title start (the factory makes each object at
// its step) and emptied at the steps of the close, which FormClose takes in
// its own traced order; the file manager lives until the process ends, so
// the work files are deleted last. Owned with the player context, so that a
// test can build a player of its own.
//
// Everything else holds these objects by reference or borrowed pointer;
// nothing here is a hidden global.
#pragma once

#include <memory>
#include <vector>

#include "app/title_host.h"
#include "app/title_pictures.h"
#include "components/component_functions.h"
#include "data/data_functions.h"
#include "data/db_manager.h"
#include "expr/param_collection.h"
#include "expr/random.h"
#include "expr/store_variables.h"
#include "expr/sys_func_man.h"
#include "expr/system_variable_router.h"
#include "files/file_manager.h"
#include "files/script_file_access.h"
#include "script/script_functions.h"
#include "text/font_pixel_manager.h"

namespace nova::app {

// The builtin function manager and the standard random generator behind
// Random, seeded with the player's seed (--seed, or the time of day at
// start). The functions of each layer are registered in layer order.
//
// The script file access stands here too: the file functions reach files
// only through it, and it remembers the paths the player chose this run.
struct SystemFunctions {
  // Registers the functions of expr, components and data; the file manager
  // (may be null) is not owned and must outlive the functions.
  SystemFunctions(std::uint32_t seed, expr::TParamCollection& store, files::TVrFileManager* files);
  SystemFunctions(const SystemFunctions&) = delete;
  SystemFunctions& operator=(const SystemFunctions&) = delete;
  // The component functions' way to the components, set while a component
  // system exists; the behaviours hold its address.
  components::ComponentScope component_scope;
  // The history functions' way to the history formats, likewise.
  data::HistoryScope history_scope;
  // The DB functions' way to the tables, set with the functions.
  data::DBScope db_scope;
  expr::TSysFuncMan funcs;
  expr::StandardRandom random;
  std::unique_ptr<files::ScriptFileAccess> access;  // null without a file manager
  // ExtractFile's dialogs, once the script functions are registered.
  std::unique_ptr<script::ExtractDialogs> extract_dialogs;
};

// The variable store with its system variables: the router every "@"
// variable goes through, and the provider of those the store answers.
struct VariableStore {
  VariableStore();
  ~VariableStore();
  VariableStore(const VariableStore&) = delete;
  VariableStore& operator=(const VariableStore&) = delete;

  expr::TParamCollection store;
  expr::TSystemVariableRouter router;
  expr::TStoreVariables store_variables{store};
  // The other providers and placeholders app registers; they are detached
  // before they go.
  std::vector<std::unique_ptr<expr::TSystemVariableProvider>> providers;
};

class TitleServices {
 public:
  TitleServices() = default;
  ~TitleServices();
  TitleServices(const TitleServices&) = delete;
  TitleServices& operator=(const TitleServices&) = delete;

  // In the order of the title start.
  files::TVrFileManager* files() const { return m_files.get(); }
  VariableStore* variables() const { return m_variables.get(); }
  SystemFunctions* functions() const { return m_functions.get(); }
  text::TFontPixelManager* glyphs() const { return m_glyphs.get(); }
  TitlePictures* pictures() const { return m_pictures.get(); }
  ComponentHost* components() const { return m_components.get(); }
  ProjectHost* project() const { return m_project.get(); }
  MediaHost* media() const { return m_media.get(); }
  // The DB tables live from the start to the end of the player: the
  // status restore fills them before the project has started.
  data::TDBManager& tables() const { return *m_tables; }

  // Filled by the factory at each step. Each slot is filled once.
  void set_files(std::unique_ptr<files::TVrFileManager> f) { m_files = std::move(f); }
  void set_variables(std::unique_ptr<VariableStore> v) { m_variables = std::move(v); }
  void set_functions(std::unique_ptr<SystemFunctions> f) {
    m_functions = std::move(f);
    if (m_functions) m_functions->db_scope.manager = m_tables.get();
  }
  void set_glyphs(std::unique_ptr<text::TFontPixelManager> g) { m_glyphs = std::move(g); }
  void set_pictures(std::unique_ptr<TitlePictures> p) { m_pictures = std::move(p); }
  void set_components(std::unique_ptr<ComponentHost> c) {
    m_components = std::move(c);
    if (m_functions) {
      m_functions->component_scope.list = m_components ? m_components->base_list() : nullptr;
      m_functions->history_scope.manager = m_components ? m_components->history() : nullptr;
    }
  }
  void set_project(std::unique_ptr<ProjectHost> p) { m_project = std::move(p); }
  void set_media(std::unique_ptr<MediaHost> m) { m_media = std::move(m); }

  // The close, one step each (FormClose traces them).
  // The project, then the script functions that used it.
  void free_project();
  void free_functions() { m_functions.reset(); }
  void free_variables() { m_variables.reset(); }
  // The component system, then the glyph manager it drew with.
  void free_components() {
    if (m_functions) {
      m_functions->component_scope.list = nullptr;
      m_functions->history_scope.manager = nullptr;
    }
    m_components.reset();
    m_glyphs.reset();
  }
  // The picture cache, after everything that shows its pictures.
  void free_pictures() { m_pictures.reset(); }
  // The base list's image-quality flag reaches the cache here.
  void set_picture_quality(bool quality) {
    if (m_pictures) m_pictures->cache().SetQuality(quality);
  }
  // Frees the screen and the media managers and finalises the media.
  void free_media();

 private:
  std::unique_ptr<files::TVrFileManager> m_files;
  std::unique_ptr<data::TDBManager> m_tables = std::make_unique<data::TDBManager>();
  std::unique_ptr<VariableStore> m_variables;
  std::unique_ptr<SystemFunctions> m_functions;
  std::unique_ptr<text::TFontPixelManager> m_glyphs;
  std::unique_ptr<TitlePictures> m_pictures;
  std::unique_ptr<ComponentHost> m_components;
  std::unique_ptr<ProjectHost> m_project;
  std::unique_ptr<MediaHost> m_media;
};

}  // namespace nova::app
