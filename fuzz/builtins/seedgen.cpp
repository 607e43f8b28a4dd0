// Seeds: calls like those of the builtin tests, encoded by the fuzzer's own
// encoder.
#include "../common/seeds.h"
#include "calls.h"
#include "expr/function_table.h"

namespace {

using namespace nova::fuzz::builtins;

Arg integer(std::int32_t v) { return {kInt, v, {}}; }
Arg text(int i) { return {kText, i, {}}; }
Arg raw(std::string s) { return {kRaw, 0, std::move(s)}; }
Arg variable(int i) { return {kVariable, i, {}}; }
Arg big(int i) { return {kHuge, i, {}}; }
Arg real(int i) { return {kFloat, i, {}}; }

Call call(std::string_view name, std::vector<Arg> args) { return {*nova::expr::find_sys_func(name), std::move(args)}; }

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = nova::fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 1;
  const std::vector<std::vector<Call>> seeds = {
      {call("Copy", {raw("abcdef"), integer(2), integer(3)}), call("JCopy", {text(27), integer(0), integer(1)})},
      {call("StringReplace", {raw("a-b-c"), raw("-"), raw("+"), integer(1)}),
       call("StringReplace", {text(19), raw("\\"), raw("/"), integer(1), integer(1)})},
      {call("StringOfChar", {raw("abcd"), big(3)}), call("IntToStr", {integer(1), big(4)})},
      {call("SetArray", {variable(0), big(2), big(2)}), call("StringToArray", {text(11), variable(1)}),
       call("SortStr", {variable(1)}), call("ArrayToString", {variable(1), text(18)})},
      {call("AddArray", {variable(0), integer(5)}), call("DeleteArray", {variable(0), integer(0), big(0)})},
      {call("FileExists", {text(0)}), call("LoadTextFile", {variable(1), text(7)}),
       call("LoadTextFile", {variable(1), text(11)})},
      {call("CopyFile", {text(11), text(6)}), call("CopyFile", {text(2), text(12)}),
       call("CopyFile", {text(11), text(9)}), call("CopyFile", {text(9), text(10)})},
      {call("ExtractFile", {text(13), integer(0), text(12)}), call("ExtractFile", {text(14), integer(1), text(8)})},
      {call("Calc", {text(22)}), call("Calc", {text(23)}), call("AssignTemp", {text(25)})},
      {call("EncodeDate", {integer(2000), integer(1), integer(1)}), call("GetWeek", {real(2)}),
       call("GetYear", {real(5)}), call("DecodeDate", {real(1), variable(0), variable(0), variable(0)})},
      {call("Abs", {big(1)}), call("Int", {real(3)}), call("Random", {big(5)})},
      {call("OpenUrl", {text(15)}), call("OpenUrl", {text(0)}), call("SelectOpenFile", {variable(1), raw("a|*.txt")})},
      {call("PushVar", {text(26)}), call("PopVar", {}), call("DBGetInt", {raw("f")}),
       call("DBDirectGetStr", {raw("t"), raw("n"), raw("v"), integer(0), integer(0), raw("f"), raw("d")})},
      {call("ListSaveCaption", {variable(1), variable(0)}), call("GetSaveCaption", {integer(1)}),
       call("DeleteStack", {integer(0)})},
  };
  int n = 0;
  for (const auto& s : seeds) {
    std::string bytes;
    encode(s, bytes);
    nova::fuzz::write_seed(folder, n++, bytes);
  }
  return 0;
}
