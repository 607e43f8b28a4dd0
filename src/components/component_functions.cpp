#include "components/component_functions.h"

#include "components/property_table.h"

namespace nova::components {
namespace {

// The table is constant data, so one answering object serves every player.
const PropertyTypes kPropertyTypes;

}  // namespace

void register_component_functions(expr::TSysFuncMan& funcs) { funcs.set_property_types(&kPropertyTypes); }

}  // namespace nova::components
