#include "script_fixture.h"

#include "core/error.h"
#include "core/format.h"
#include "script/save_file.h"

namespace nova::script::testing {

Cmd::Cmd(std::string_view command_name) {
  auto code = find_command(command_name);
  if (!code) ADD_FAILURE() << "no command " << command_name;
  m_record = TCommandRecord::make(code.value_or(CC_CALC));
}

Cmd& Cmd::e(std::string_view field, std::string_view expression) {
  m_record.field(field).expression = TExpression::compile(test::sjis(expression));
  return *this;
}

Cmd& Cmd::s(std::string_view field, std::string_view text) {
  m_record.field(field).bytes = test::sjis(text);
  return *this;
}

Cmd& Cmd::i(std::string_view field, std::int32_t value) {
  m_record.field(field).number = value;
  return *this;
}

Cmd& Cmd::list(std::string_view field, std::initializer_list<std::string_view> expressions) {
  auto& list = m_record.field(field).expressions;
  list.clear();
  for (std::string_view text : expressions) {
    list.push_back(text.empty() ? TExpression() : TExpression::compile(test::sjis(text)));
  }
  return *this;
}

Cmd& Cmd::prop(int id, std::string_view expression) {
  TPropertyExpression p;
  p.id = id;
  if (!expression.empty()) p.expression = TExpression::compile(test::sjis(expression));
  auto& props = m_record.properties;
  auto at = std::find_if(props.begin(), props.end(), [&](const auto& q) { return q.id > id; });
  props.insert(at, std::move(p));
  return *this;
}

Cmd& Cmd::go(bool on) {
  m_record.continue_flag = on ? 1 : 0;
  return *this;
}

Cmd& Cmd::skip(bool on) {
  m_record.skip_flag = on ? 1 : 0;
  return *this;
}

Cmd& Cmd::level(std::int32_t n) {
  m_record.nesting_level = n;
  return *this;
}

Cmd& Cmd::line(std::int32_t n) {
  m_record.line_number = n;
  return *this;
}

std::vector<std::uint8_t> page_bytes(const std::vector<TCommandRecord>& commands, std::int32_t version,
                                     std::uint8_t return_type) {
  TPageFile file;
  file.version = version;
  file.return_type = return_type;
  file.commands = commands;
  for (std::size_t i = 0; i < file.commands.size(); ++i) {
    if (file.commands[i].line_number == 0) file.commands[i].line_number = static_cast<std::int32_t>(i + 1);
  }
  file.set_property_table(property_table_for(file.commands));
  return file.bytes();
}

std::unique_ptr<expr::TParamCollection> saved_status(const std::filesystem::path& save_file) {
  auto archive = TSaveFile(save_file).open();
  files::TVrFile* entry = archive->Find(kStatusEntryName);
  if (!entry) return nullptr;
  files::MemoryBlock record;
  archive->ReadEntry(*entry, record);
  auto store = std::make_unique<expr::TParamCollection>();
  data::TDBManager tables;
  read_status_record(record.bytes(), *store, tables);
  return store;
}

std::vector<std::uint8_t> MemoryHost::ReadFile(std::string_view name) {
  auto it = files.find(std::string(name));
  if (it == files.end()) core::throw_error(core::format(test::sjis("%s:ファイルがありません"), {name}));
  return it->second;
}

ScriptLog::ScriptLog() {
  core::set_log_level(core::Channel::Script, core::Level::Trace);
  m_sink = std::make_unique<core::LogSink>([this](core::Channel c, core::Level l, std::string_view m) {
    if (c == core::Channel::Script && l != core::Level::Trace) {
      lines.emplace_back(m);
      levels.push_back(l);
    }
  });
}

ScriptLog::~ScriptLog() {
  m_sink.reset();
  core::set_log_level(core::Channel::Script, core::Level::Warning);
}

int ScriptLog::count(std::string_view text, std::optional<core::Level> level) const {
  int n = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    n += lines[i].find(text) != std::string::npos && (!level || levels[i] == *level);
  }
  return n;
}

InterpreterTest::InterpreterTest() {
  core::set_stderr_logging(false);
  cm = std::make_unique<TCallMan>(TCallManServices{clock, store, funcs, host});
  cm->set_event_queue(&events);
  cm->set_component_directory(&events);
  cm->set_trace_hook([this](std::string_view line) { trace.emplace_back(line); });
  variables = std::make_unique<TInterpreterVariables>(*cm);
  store.set_system_variables(variables.get());
}

InterpreterTest::~InterpreterTest() {
  cm.reset();
  store.set_system_variables(nullptr);
  core::set_stderr_logging(true);
}

void InterpreterTest::page(const std::string& name, const std::vector<TCommandRecord>& commands, std::int32_t version,
                           std::uint8_t return_type) {
  host.files[name] = page_bytes(commands, version, return_type);
}

void InterpreterTest::tick(int n) {
  for (int k = 0; k < n; ++k) {
    clock.FrameDeltaMs.store(15);
    clock.GameClockMs.store(clock.GameClockMs.load() + 15);
    cm->RunTick();
  }
}

expr::TParamCollectionItem& InterpreterTest::var(std::string_view name, expr::TParamType type) {
  bool created = false;
  return store.create(name, type, expr::TVarScope::Global, created);
}

std::int32_t InterpreterTest::ivalue(std::string_view name) {
  auto* item = store.find(name);
  EXPECT_NE(item, nullptr) << name;
  return item ? item->value().as_int() : -99999;
}

std::string InterpreterTest::svalue(std::string_view name) {
  auto* item = store.find(name);
  EXPECT_NE(item, nullptr) << name;
  return item ? item->value().as_str() : "<missing>";
}

int InterpreterTest::traced(std::string_view text) const {
  int n = 0;
  for (const auto& l : trace) n += l.find(text) != std::string::npos;
  return n;
}

}  // namespace nova::script::testing
