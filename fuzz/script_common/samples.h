// What the script fuzz targets share: sample pages, settings and states
// written with the engine's own writers for the seed corpora, and a script
// host over pages in memory.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "../expr_common/samples.h"  // write_seed
#include "core/error.h"
#include "core/format.h"
#include "script/callman.h"
#include "script/page_file.h"
#include "script/project_setting.h"

namespace nova::fuzz {

inline script::TCommandRecord command(int code, int continue_flag = 1) {
  using namespace script;
  TCommandRecord r = TCommandRecord::make(code);
  r.continue_flag = static_cast<std::uint8_t>(continue_flag);
  const CommandSpec& spec = command_spec(code);
  for (std::size_t i = 0; i < spec.fields.size(); ++i) {
    TCommandField& f = r.fields[i];
    switch (f.kind) {
      case FieldKind::Expression: f.expression = TExpression::compile("i = i + " + std::to_string(i)); break;
      case FieldKind::String:
      case FieldKind::Text: f.bytes = "sub.nsb"; break;
      case FieldKind::Int: f.number = static_cast<std::int32_t>(i); break;
      case FieldKind::Byte: f.number = 1; break;
      case FieldKind::ExpressionList: f.expressions = {TExpression::compile("1"), TExpression()}; break;
    }
  }
  if (spec.has_properties) r.properties.push_back({0, TExpression::compile("\"name\"")});
  return r;
}

inline std::vector<std::uint8_t> page_of(std::vector<script::TCommandRecord> commands, int version = 115) {
  script::TPageFile page;
  page.version = version;
  page.commands = std::move(commands);
  for (std::size_t i = 0; i < page.commands.size(); ++i)
    page.commands[i].line_number = static_cast<std::int32_t>(i + 1);
  page.set_property_table(script::property_table_for(page.commands));
  return page.bytes();
}

// Pages by name: every code at several versions, and small pages with waits
// and calls that saved states refer to.
inline std::map<std::string, std::vector<std::uint8_t>> sample_pages() {
  using namespace script;
  std::map<std::string, std::vector<std::uint8_t>> pages;
  for (int version : {103, 106, 110, 115}) {
    std::vector<TCommandRecord> all;
    for (int code = 0; code < kCommandCount; ++code) {
      TCommandRecord r = command(code);
      const CommandSpec& spec = command_spec(code);
      for (std::size_t i = 0; i < spec.fields.size(); ++i) {
        if (!spec.fields[i].present_in(version)) r.fields[i] = TCommandRecord::make(code).fields[i];
      }
      all.push_back(std::move(r));
    }
    pages["all" + std::to_string(version) + ".nsb"] = page_of(all, version);
  }
  TCommandRecord wait = TCommandRecord::make(CC_WAIT);
  wait.field("time").expression = TExpression::compile("100");
  pages["main.nsb"] = page_of({command(CC_CALC), wait, command(CC_TERMINATE)});
  pages["sub.nsb"] = page_of({wait, command(CC_CALC, 0)});
  return pages;
}

// Settings of `version` naming a title, its pages and one folder, with the
// given initial variables.
inline script::TProjectSetting sample_settings(int version, std::vector<script::TInitialVariable> variables) {
  script::TProjectSetting s;
  s.version = version;
  s.title = "title";
  s.start_page = "main.nsb";
  if (version >= 110) s.exit_page = "exit.nsb";
  s.initial_variables = std::move(variables);
  s.folders.Add("bgm\\", 2);
  return s;
}

class MemoryHost final : public script::ScriptHost {
 public:
  explicit MemoryHost(std::map<std::string, std::vector<std::uint8_t>> files) : m_files(std::move(files)) {}
  bool EnsureFile(std::string_view name) override { return m_files.count(std::string(name)) > 0; }
  bool Exists(std::string_view name) override { return m_files.count(std::string(name)) > 0; }
  std::vector<std::uint8_t> ReadFile(std::string_view name) override {
    auto it = m_files.find(std::string(name));
    if (it == m_files.end()) core::throw_error(core::format("%s: no such page", {name}));
    return it->second;
  }
  void ShowFatal(std::string_view, std::string_view) override {}
  void RequestClose() override {}
  // The interpreter's fuzz targets run no saves; the requests are dropped.
  void RequestGameSave(script::GameSaveRequest) override {}
  void RequestGameLoad(std::int32_t) override {}

 private:
  std::map<std::string, std::vector<std::uint8_t>> m_files;
};

}  // namespace nova::fuzz
