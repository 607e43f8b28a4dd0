// The player end to end: a title written with the project's own writers
// runs headless, computes values into status variables and ends with
// Terminate; the "save.dat" it leaves holds them, and the trace file has the
// interpreter's lines and the errors it swallowed.
#include <gtest/gtest.h>

#include "expr/random.h"
#include "script/project_setting.h"
#include "script/save_file.h"
#include "script_fixture.h"

namespace nova::script::testing {
namespace {

namespace fs = std::filesystem;

class PlayerRun : public ::testing::Test {
 protected:
  PlayerRun() {
    fs::create_directories(title);
    setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  }
  void write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    test::write_file(title / name, std::string(bytes.begin(), bytes.end()));
  }
  int run(const std::string& options, std::string* out) {
    const fs::path player = test::binary_dir() / "src" / "app" / "novaplayer";
    return test::run_command(player.string() + " --headless " + options + " " + title.string() + " 2>&1", out);
  }

  test::TempDir dir;
  fs::path title = dir / "title";
};

TEST_F(PlayerRun, ATitleComputesItsStatusAndTerminates) {
  TProjectSetting s;
  s.title = test::sjis("試験");
  s.start_page = "main.nsb";
  s.keep_status = 1;
  s.initial_variables = {{expr::PT_INT, "total", 0, 0, false, ""},
                         {expr::PT_INT, "sq", 0, 0, false, ""},
                         {expr::PT_INT, "lucky", -1, 0, false, ""},
                         {expr::PT_STR, "greeting", 0, 0, false, ""}};
  write("nova.npb", s.Bytes());
  write(
      "main.nsb",
      page_bytes(
          {Cmd("VarNew").s("name", "i").i("type", 1).e("initial", "0").go(), Cmd("WhileInit").e("expression", "i = 0"),
           Cmd("While").e("condition", "i < 10").i("exit_index", 5).go(),
           Cmd("Calc").e("expression", "total = total + i").level(1).go(),
           Cmd("WhileLoop").e("expression", "i = i + 1").i("loop_index", 2),
           Cmd("Call").s("page", "sub.nsb").e("condition", "TRUE").s("result", "sq").list("arguments", {"total"}).go(),
           Cmd("Calc").e("expression", "lucky = Random(1000000)").go(),
           Cmd("Calc").e("expression", "greeting = \"こんにちは\" ++ \"!\"").go(), Cmd("Wait").e("time", "45").go(),
           Cmd("Terminate")}));
  write("sub.nsb", page_bytes({Cmd("Calc").e("expression", "@Result = @ParamStr[0] * 2")}, 104, expr::PT_INT));

  std::string out;
  EXPECT_EQ(run("--max-ticks 1000 --seed 7 --trace " + (dir / "trace.txt").string(), &out), 0) << out;
  auto status = saved_status(title / "save.dat");
  ASSERT_NE(status, nullptr) << out;
  EXPECT_EQ(status->find("total")->value().as_int(), 45);
  EXPECT_EQ(status->find("sq")->value().as_int(), 90);
  EXPECT_EQ(status->find("greeting")->value().as_str(), test::sjis("こんにちは!"));
  EXPECT_EQ(status->find("lucky")->value().as_int(), expr::StandardRandom(7).next(1000000)) << "--seed seeds Random";
  EXPECT_EQ(status->find("i"), nullptr) << "a global variable is no status";

  const std::string trace = test::read_file(dir / "trace.txt");
  EXPECT_NE(trace.find(" : main.nsb(1)\n"), std::string::npos) << trace;
  EXPECT_NE(trace.find(" : sub.nsb(1)\n"), std::string::npos);
  EXPECT_NE(trace.find(" : main.nsb(10)\n"), std::string::npos) << "Terminate was reached";
  EXPECT_EQ(out.find("message box"), std::string::npos) << out;
}

TEST_F(PlayerRun, SwallowedErrorsReachTheTraceAndTheLog) {
  TProjectSetting s;
  s.title = "errors";
  s.start_page = "main.nsb";
  write("nova.npb", s.Bytes());
  write("main.nsb", page_bytes({Cmd("VarNew").s("name", "1bad").i("type", 1).go().line(12), Cmd("Terminate")}));
  std::string out;
  EXPECT_EQ(run("--max-ticks 10 --trace " + (dir / "trace.txt").string(), &out), 0) << out;
  const std::string trace = test::read_file(dir / "trace.txt");
  int errors = 0;
  for (std::size_t at = trace.find("<Error>main.nsb(12) \"1bad\"：変数名が不正です"); at != std::string::npos;
       at = trace.find("<Error>main.nsb(12)", at + 1)) {
    ++errors;
  }
  EXPECT_GE(errors, 9) << "retried at every tick:\n" << trace;
  EXPECT_NE(out.find("main.nsb(12): \"1bad\"：変数名が不正です"), std::string::npos) << "on the Script channel:\n"
                                                                                     << out;
}

}  // namespace
}  // namespace nova::script::testing
