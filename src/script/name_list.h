// TNameList: the names a command lists to choose components by name (the
// moves of Flip's surface mode, the cabinet commands). Each listed text
// holds one name per line; lines end at CR LF, CR or LF, and a final line
// break adds no line. Names compare byte for byte, as component names do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

namespace nova::script {

class TNameList {
 public:
  // Adds every line of `text`.
  void add_text(std::string_view text);
  bool contains(std::string_view name) const { return m_names.count(std::string(name)) > 0; }
  bool empty() const { return m_names.empty(); }

  // The cabinet commands' test: `mode`, turned round for a listed name.
  bool choose(std::string_view name, bool mode) const { return contains(name) ? !mode : mode; }
  // Flip's move test: a name moves when the mode is 0 and it is not
  // listed, or when the mode is 1 and it is (other modes move nothing).
  bool moves(std::string_view name, std::int32_t mode) const { return contains(name) ? mode == 1 : mode == 0; }

 private:
  std::unordered_set<std::string> m_names;
};

}  // namespace nova::script
