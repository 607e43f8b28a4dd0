// The builtin functions of the script layer: the save captions
// (GetSaveCaption, ListSaveCaption), DeleteStack, and the file functions
// (FileExists, LoadTextFile, CopyFile, ExtractFile), which reach files only
// through the script file access (files/script_file_access.h).
#pragma once

#include <string>

#include "expr/sys_func_man.h"
#include "files/script_file_access.h"
#include "platform/dialogs.h"
#include "script/project.h"

namespace nova::script {

// What ExtractFile asks of the player: the folder dialog and the question
// before a file is overwritten.
class ExtractDialogs {
 public:
  virtual ~ExtractDialogs() = default;
  // The folder chosen, or nullopt when cancelled.
  virtual std::optional<std::filesystem::path> choose_folder() = 0;
  // Yes, No, YesToAll, NoToAll or Cancel.
  virtual platform::MessageAnswer ask_overwrite(const std::string& sjis_text) = 0;
};

// The project, the access and the dialogs are not owned; the behaviours use
// them until unregister_script_functions runs (before the project goes).
// Sets the access's save hook to the project's StoreSaveEntries.
void register_script_functions(expr::TSysFuncMan& funcs, TProject& project, files::ScriptFileAccess& access,
                               ExtractDialogs& dialogs);
// Replaces the behaviours with errors saying that the project is gone, and
// clears the access's save hook.
void unregister_script_functions(expr::TSysFuncMan& funcs, files::ScriptFileAccess& access);

// The message of the overwrite question for a target path (Shift-JIS).
std::string overwrite_question(std::string_view sjis_path);

// Whether a name matches a pattern of "*" and "?" without regard to case
// (double-byte characters count as one).
bool matches_pattern(std::string_view name, std::string_view pattern);

}  // namespace nova::script
