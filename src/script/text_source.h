// TScriptTextSource: where message boxes and the message history read the
// text of a text command. A page is taken from the interpreter's page
// cache when it holds one of that name (compared without regard to case),
// otherwise read from its file; either way the glyph streams of its text
// commands are copied out, so the page handed on outlives the cache's
// choice of what to keep.
//
// The project owns one and gives it the interpreter once that exists;
// the app hands it to the component system's message services.
#pragma once

#include <memory>
#include <string_view>

#include "data/text_command_source.h"
#include "script/script_host.h"

namespace nova::script {

class TCallMan;
class TPage;

class TScriptTextSource final : public data::TextCommandSource {
 public:
  // `host` outlives the source; the interpreter may come later.
  explicit TScriptTextSource(ScriptHost& host, const TCallMan* interpreter = nullptr)
      : m_host(host), m_interpreter(interpreter) {}
  void set_interpreter(const TCallMan* interpreter) { m_interpreter = interpreter; }

  // The host's file lookup: names compared as the file manager compares.
  bool exists(std::string_view page_name) override;
  // nullptr when no file of that name exists; a file that does not read as
  // a page raises core::Error. A page of a version the player does not run
  // (newer than it, or one that must be rebuilt) has no commands.
  std::unique_ptr<data::TextCommandPage> load(std::string_view page_name) override;

 private:
  ScriptHost& m_host;
  const TCallMan* m_interpreter;
};

}  // namespace nova::script
