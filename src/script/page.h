// TPage: one loaded script page (the page's name, its version and return
// type, the property-set table and the command list). Pages live in the
// interpreter's page cache (callman.h).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "expr/param_collection.h"
#include "script/command.h"
#include "script/page_file.h"

namespace nova::script {

class TPage {
 public:
  // `store` holds the page's page-scope variable; it outlives the page.
  explicit TPage(expr::TParamCollection& store) : m_store(store), m_commands(*this) {}
  // Deletes the page-scope variable.
  ~TPage();
  TPage(const TPage&) = delete;
  TPage& operator=(const TPage&) = delete;

  enum class LoadResult : std::uint8_t {
    Loaded,
    Newer,    // a version above 115: the page is empty
    Refused,  // 102 or below: the page is empty and must be rebuilt
  };
  // Clears the page and loads the file's bytes. Raises core::Error for a
  // damaged page (it is left empty) and "不正なコマンド" for an unknown code.
  LoadResult Load(std::string name, std::span<const std::uint8_t> bytes);

  const std::string& name() const { return m_name; }
  std::int32_t version() const { return m_version; }
  std::uint8_t return_type() const { return m_return_type; }
  const TPropertyTable& property_table() const { return m_table; }
  TComList& commands() { return m_commands; }
  const TComList& commands() const { return m_commands; }
  std::int32_t count() const { return m_commands.count(); }
  TCommand& command(std::int32_t index) const { return m_commands.at(index); }

  // The first command that is the label (exact comparison), or -1.
  std::int32_t FindLabel(std::string_view label) const;

  // The page-scope variable of a page: character 1 followed by its name.
  static std::string scope_variable_name(std::string_view page_name);

 private:
  expr::TParamCollection& m_store;
  std::string m_name;
  std::int32_t m_version = 0;
  std::uint8_t m_return_type = 1;
  TPropertyTable m_table{};
  TComList m_commands;
};

}  // namespace nova::script
