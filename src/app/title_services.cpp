#include "app/title_services.h"

#include "components/component_functions.h"
#include "expr/expr_functions.h"

namespace nova::app {

SystemFunctions::SystemFunctions(std::uint32_t seed) : random(seed) {
  expr::register_expr_functions(funcs, random);
  components::register_component_functions(funcs);
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

void TitleServices::free_media() {
  if (m_media) m_media->finalize();
  m_media.reset();
}

}  // namespace nova::app
