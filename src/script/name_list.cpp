#include "script/name_list.h"

#include "expr/sjis_string.h"

namespace nova::script {

void TNameList::add_text(std::string_view text) {
  for (std::string& line : expr::split_text_lines(text)) m_names.insert(std::move(line));
}

}  // namespace nova::script
