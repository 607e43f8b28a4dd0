#include "script/script_functions.h"

#include <vector>

#include "core/error.h"
#include "core/log.h"
#include "core/sjis.h"
#include "expr/function_args.h"
#include "expr/sjis_string.h"
#include "files/names.h"

namespace nova::script {

namespace {

using Args = expr::FunctionArgs;

constexpr int kGetSaveCaption = 27, kListSaveCaption = 134, kDeleteStack = 157, kFileExists = 71, kLoadTextFile = 72,
              kCopyFile = 158, kExtractFile = 151;
constexpr int kIndexes[] = {kGetSaveCaption, kListSaveCaption, kDeleteStack, kFileExists,
                            kLoadTextFile,   kCopyFile,        kExtractFile};

// The characters of a name, each as its bytes, for the pattern match.
std::vector<std::string_view> chars_of(std::string_view s) {
  std::vector<std::string_view> out;
  core::for_each_char(s, [&](std::size_t at, std::size_t n) { out.push_back(s.substr(at, n)); });
  return out;
}

bool match_from(const std::vector<std::string_view>& n, std::size_t i, const std::vector<std::string_view>& p,
                std::size_t j) {
  // Iterative with one back-track point for the last "*": linear enough for
  // names, and no recursion a hostile pattern could deepen.
  std::size_t star = std::string_view::npos, resume = 0;
  while (i < n.size()) {
    if (j < p.size() && (p[j] == "?" || core::equal_ci(p[j], n[i]))) {
      ++i;
      ++j;
    } else if (j < p.size() && p[j] == "*") {
      star = j++;
      resume = i;
    } else if (star != std::string_view::npos) {
      j = star + 1;
      i = ++resume;
    } else {
      return false;
    }
  }
  while (j < p.size() && p[j] == "*") ++j;
  return j == p.size();
}

void set_string_array(expr::TCustomParam& v, const std::vector<std::string>& items) {
  if (items.empty()) {
    v.set_str("");
    return;
  }
  const auto n = static_cast<std::int32_t>(items.size());
  v.set_dims(std::span<const std::int32_t>(&n, 1));
  for (std::int32_t i = 0; i < n; ++i) v.set_str_at(i, items[static_cast<std::size_t>(i)]);
}

// ExtractFile's names: patterns listed through the file manager.
std::vector<std::string> extract_names(files::ScriptFileAccess& access, const expr::TCustomParam& names) {
  std::vector<std::string> out;
  const std::int32_t n = names.count();
  for (std::int32_t i = 0; i < n; ++i) {
    const std::string name = names.str_at(i);
    bool pattern = false;
    core::for_each_char(name, [&](std::size_t at, std::size_t len) {
      if (len == 1 && (name[at] == '*' || name[at] == '?')) pattern = true;
    });
    if (!pattern) {
      out.push_back(name);
      continue;
    }
    const std::string folder = files::names::folder_of(name);
    std::vector<std::string> listed;
    access.files().ListFolder(folder, listed);
    // The views of chars_of point into the pattern's text, which must stay.
    const std::string pattern_text = name.substr(folder.size());
    const auto p = chars_of(pattern_text);
    for (const std::string& f : listed) {
      if (f.size() < folder.size()) continue;
      if (match_from(chars_of(std::string_view(f).substr(folder.size())), 0, p, 0)) out.push_back(f);
    }
  }
  return out;
}

bool extract_file(files::ScriptFileAccess& access, ExtractDialogs& dialogs, Args a) {
  std::optional<std::filesystem::path> folder;
  if (a.size() > 2) folder = access.WritableFolder(a[2]->as_str());
  if (!folder) {
    folder = dialogs.choose_folder();
    if (!folder) return false;
    access.NoteChosenFolder(*folder);
  }
  const bool confirm = a.size() < 2 || a[1]->as_flag();
  // Outside the base folder a file of the player's is at stake: always ask.
  const bool ask = confirm || !access.InsideBaseFolder(*folder);
  bool yes_to_all = false, no_to_all = false;
  for (const std::string& name : extract_names(access, *a[0])) {
    const auto target = access.PlaceInto(*folder, name);
    if (!target) continue;
    std::error_code ec;
    if (std::filesystem::exists(*target, ec)) {
      if (no_to_all) continue;
      if (ask && !yes_to_all) {
        const std::string text = overwrite_question(files::ScriptFileAccess::ScriptNameOf(*target, false));
        switch (dialogs.ask_overwrite(text)) {
          case platform::MessageAnswer::Yes: break;
          case platform::MessageAnswer::YesToAll: yes_to_all = true; break;
          case platform::MessageAnswer::NoToAll: no_to_all = true; continue;
          case platform::MessageAnswer::Cancel: return false;
          default: continue;  // No
        }
      }
    }
    const auto bytes = access.Read(name);
    if (!bytes) {
      core::logf(core::Channel::Script, core::Level::Warning, "ExtractFile: %s cannot be read",
                 {platform::codepage::to_utf8(name)});
      continue;
    }
    access.WriteHost(*target, *bytes);
  }
  return true;
}

}  // namespace

std::string overwrite_question(std::string_view sjis_path) {
  return std::string(sjis_path) + "\r\n\r\n" + core::sjis("既に同名のファイルが存在します。上書きしますか？");
}

bool matches_pattern(std::string_view name, std::string_view pattern) {
  return match_from(chars_of(name), 0, chars_of(pattern), 0);
}

void register_script_functions(expr::TSysFuncMan& funcs, TProject& project, files::ScriptFileAccess& access,
                               ExtractDialogs& dialogs) {
  access.set_save_hook([&project] {
    try {
      project.StoreSaveEntries({});
      return true;
    } catch (const core::Error& e) {
      core::logf(core::Channel::Script, core::Level::Warning, "save.dat was not stored: %s",
                 {platform::codepage::to_utf8(e.message())});
      return false;
    }
  });
  funcs.set_behaviour(kGetSaveCaption,
                      [&project](expr::TCustomParam& t, Args a) { t.set_str(project.SaveCaption(a[0]->as_int())); });
  funcs.set_behaviour(kListSaveCaption, [&project](expr::TCustomParam& t, Args a) {
    std::vector<std::string> captions;
    std::vector<std::int32_t> slots;
    for (const auto& [slot, caption] : project.SaveCaptions()) {  // ascending slots
      slots.push_back(slot);
      captions.push_back(caption);
    }
    if (expr::TCustomParam* v = expr::written_variable(a, 0)) set_string_array(*v, captions);
    if (expr::TCustomParam* v = expr::written_variable(a, 1)) {
      if (slots.empty()) {
        v->set_int(0);
      } else {
        const auto n = static_cast<std::int32_t>(slots.size());
        v->set_dims(std::span<const std::int32_t>(&n, 1));
        for (std::int32_t i = 0; i < n; ++i) v->set_int_at(i, slots[static_cast<std::size_t>(i)]);
      }
    }
    t.set_int(static_cast<std::int32_t>(slots.size()));
  });
  funcs.set_behaviour(kDeleteStack, [&project](expr::TCustomParam& t, Args a) {
    TCallMan* interpreter = project.interpreter();
    t.set_flag(interpreter && interpreter->DeleteStack(a[0]->as_int()));
  });
  funcs.set_behaviour(kFileExists,
                      [&access](expr::TCustomParam& t, Args a) { t.set_flag(access.Exists(a[0]->as_str())); });
  funcs.set_behaviour(kLoadTextFile, [&access](expr::TCustomParam& t, Args a) {
    const auto bytes = access.Read(a[1]->as_str());
    if (!bytes) {
      t.set_flag(false);
      return;
    }
    std::vector<std::string> lines =
        expr::split_text_lines(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    if (lines.empty()) lines.emplace_back();
    if (lines.size() > static_cast<std::size_t>(expr::kMaxElements)) {
      const std::int32_t n = static_cast<std::int32_t>(std::min<std::size_t>(lines.size(), INT32_MAX));
      expr::throw_bad_dims(std::span<const std::int32_t>(&n, 1));
    }
    if (expr::TCustomParam* v = expr::written_variable(a, 0)) {
      const auto n = static_cast<std::int32_t>(lines.size());
      v->set_dims(std::span<const std::int32_t>(&n, 1));
      for (std::int32_t i = 0; i < n; ++i) v->set_str_at(i, lines[static_cast<std::size_t>(i)]);
    }
    t.set_flag(true);
  });
  funcs.set_behaviour(kCopyFile, [&access](expr::TCustomParam& t, Args a) {
    const auto bytes = access.Read(a[0]->as_str());
    t.set_flag(bytes && access.Write(a[1]->as_str(), *bytes));
  });
  funcs.set_behaviour(kExtractFile, [&access, &dialogs](expr::TCustomParam& t, Args a) {
    t.set_flag(extract_file(access, dialogs, a));
  });
}

void unregister_script_functions(expr::TSysFuncMan& funcs, files::ScriptFileAccess& access) {
  access.set_save_hook({});
  for (int index : kIndexes) {
    funcs.set_behaviour(index, [index](expr::TCustomParam&, Args) {
      core::throw_error(std::string(expr::kSysFuncs[static_cast<std::size_t>(index)].name) + ": the project is closed");
    });
  }
}

}  // namespace nova::script
