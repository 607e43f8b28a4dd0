#include "text/line_rules.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "core/sjis.h"

namespace nova::text {

namespace {

class CodeSet {
 public:
  explicit CodeSet(std::string_view utf8) {
    const std::string& sjis = core::sjis(utf8);
    core::for_each_char(sjis, [&](std::size_t at, std::size_t) { m_codes.push_back(core::char_code_at(sjis, at)); });
    std::sort(m_codes.begin(), m_codes.end());
  }
  bool contains(std::uint16_t code) const { return std::binary_search(m_codes.begin(), m_codes.end(), code); }

 private:
  std::vector<std::uint16_t> m_codes;
};

const CodeSet& not_at_line_start() {
  static const CodeSet set("。、｣」』)）､｡!?！？】");
  return set;
}

const CodeSet& not_at_line_end() {
  static const CodeSet set("｢「『（([<【");
  return set;
}

}  // namespace

bool may_not_begin_line(std::uint16_t code) { return not_at_line_start().contains(code); }
bool may_not_end_line(std::uint16_t code) { return not_at_line_end().contains(code); }

}  // namespace nova::text
