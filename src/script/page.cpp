#include "script/page.h"

#include "core/binary_io.h"

namespace nova::script {

TPage::~TPage() {
  m_commands.clear();
  if (!m_name.empty()) m_store.remove(scope_variable_name(m_name));
}

std::string TPage::scope_variable_name(std::string_view page_name) {
  std::string s(1, '\x01');
  s += page_name;
  return s;
}

TPage::LoadResult TPage::Load(std::string name, std::span<const std::uint8_t> bytes) {
  m_commands.clear();
  m_table = {};
  m_name = std::move(name);
  core::ByteReader head(bytes);
  head.set_context(m_name);
  m_version = head.i32();
  if (m_version > kNewestPageVersion) return LoadResult::Newer;
  if (m_version <= kRefusedPageVersion) return LoadResult::Refused;
  TPageFile file = TPageFile::parse(bytes, m_name);
  m_return_type = file.return_type;
  m_table = file.property_table();
  try {
    for (TCommandRecord& record : file.commands) m_commands.add(make_command(m_commands, std::move(record)));
  } catch (...) {
    m_commands.clear();
    throw;
  }
  return LoadResult::Loaded;
}

std::int32_t TPage::FindLabel(std::string_view label) const {
  for (std::int32_t i = 0; i < count(); ++i) {
    if (command(i).IsLabel(label)) return i;
  }
  return -1;
}

}  // namespace nova::script
