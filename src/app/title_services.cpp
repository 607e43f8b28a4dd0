#include "app/title_services.h"

#include "components/base_list.h"
#include "components/component_functions.h"
#include "data/data_functions.h"
#include "expr/expr_functions.h"

namespace nova::app {

SystemFunctions::SystemFunctions(std::uint32_t seed, expr::TParamCollection& store, files::TVrFileManager* files)
    : random(seed) {
  if (files) access = std::make_unique<files::ScriptFileAccess>(*files);
  component_scope.access = access.get();
  db_scope.access = access.get();
  // Layer order: each layer may replace what a lower one registered.
  expr::register_expr_functions(funcs, store, random);
  components::register_component_functions(funcs, component_scope);
  data::register_data_functions(funcs, history_scope, db_scope);
}

VariableStore::VariableStore() {
  router.attach("store", store_variables, expr::TStoreVariables::kIndexes);
  store.set_system_variables(&router);
}

VariableStore::~VariableStore() {
  store.set_system_variables(nullptr);
  for (const auto& p : providers) router.detach(*p);
  router.detach(store_variables);
}

TitleServices::~TitleServices() {
  // A close that never ran (a start that failed early) frees in the same
  // order as FormClose; the file manager goes last.
  free_project();
  free_functions();
  free_variables();
  free_components();
  free_pictures();
  free_media();
}

void TitleServices::free_project() {
  if (!m_project) return;
  // The boxes keep the project's read marks: they go with it.
  if (m_components && m_components->base_list()) m_components->base_list()->set_read_marks(nullptr);
  if (m_components) m_components->set_text_source(nullptr);
  m_project.reset();
  if (m_functions && m_functions->access) script::unregister_script_functions(m_functions->funcs, *m_functions->access);
}

void TitleServices::free_media() {
  if (m_media) m_media->finalize();
  m_media.reset();
}

}  // namespace nova::app
