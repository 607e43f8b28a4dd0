// The builtin functions of the application layer, and the order in which
// every layer registers its own.
//
//   expr        strings, path names, arrays and variables, math, dates, Calc
//   components  the property types of GetProp
//   data        DB tables and history
//   app         the three file dialogs, OpenUrl, SetWallPaper, GetDisplayMode
//   script      save captions, DeleteStack and the file functions, once the
//               project exists (register_project_functions)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "expr/sys_func_man.h"
#include "files/script_file_access.h"
#include "script/project.h"
#include "script/script_functions.h"

namespace nova::app {

struct PlayerContext;

// OpenUrl's check and form: "http://" or "https://" (either case), no blank
// or control character, Shift-JIS converted to UTF-8 with every non-ASCII
// byte percent-encoded; nullopt when refused.
std::optional<std::string> url_for_launch(std::string_view sjis_url);

// The functions of this layer. The context and the
// access must outlive the manager's use.
void register_app_functions(expr::TSysFuncMan& funcs, PlayerContext& ctx, files::ScriptFileAccess& access);

// ExtractFile's folder dialog and question through the platform's dialogs.
class PlatformExtractDialogs final : public script::ExtractDialogs {
 public:
  explicit PlatformExtractDialogs(PlayerContext& ctx) : m_ctx(ctx) {}
  std::optional<std::filesystem::path> choose_folder() override;
  platform::MessageAnswer ask_overwrite(const std::string& sjis_text) override;

 private:
  PlayerContext& m_ctx;
};

}  // namespace nova::app
