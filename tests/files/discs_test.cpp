// Titles on discs: asking for a disc, mounting it, start-up data location.
#include <gtest/gtest.h>

#include "core/frame_clock.h"
#include "file_manager_fixture.h"
#include "files/file_manager.h"
#include "files/install_set.h"

namespace nova::files {
namespace {

namespace fs = std::filesystem;
using platform::MessageAnswer;
using platform::MessageBoxSpec;
using testing::ManagerTest;
using testing::read_text;
using testing::write_archive;

void write_install(const fs::path& path, std::string title, int disc, bool installed) {
  TNovaInstallSet s;
  s.title = std::move(title);
  s.disc = disc;
  s.data_installed = installed;
  fs::create_directories(path.parent_path());
  s.SaveToFile(path);
}

// A disc root holding a title's disc n (counted from 0) with one file.
void make_disc(const fs::path& root, const std::string& title, int n, const std::string& file) {
  write_install(root / "install.dat", title, n, false);
  write_archive(root / "game.dat", {{file, "from disc " + std::to_string(n)}});
}

DiscPrompt prompt(core::FrameClock* clock = nullptr, bool* closed = nullptr) {
  DiscPrompt p = DiscPrompt::Defaults();
  p.project_title = "Title";
  p.caption = "Caption";
  p.clock = clock;
  if (closed) p.request_close = [closed] { *closed = true; };
  return p;
}

TEST(Discs, AskForDiscUnmountsTheOldDiscAndMountsTheNewOne) {
  ManagerTest t;
  const fs::path cd = t.root / "cd";
  make_disc(cd, "Title", 0, "one.txt");
  auto m = t.make({cd});
  ASSERT_EQ(m->Mount(cd / "game.dat"), 1);
  int boxes = 0;
  t.dialogs.answer = [&](const MessageBoxSpec&) {
    // The user swaps the disc while the first box is open, but puts in the
    // wrong one first.
    if (++boxes == 1) make_disc(cd, "Other title", 1, "two.txt");
    if (boxes == 2) make_disc(cd, "Title", 1, "two.txt");
    return MessageAnswer::Ok;
  };
  EXPECT_TRUE(m->AskForDisc(2, prompt()));
  EXPECT_EQ(boxes, 2);
  ASSERT_FALSE(t.dialogs.boxes.empty());
  EXPECT_EQ(t.dialogs.boxes[0].text, test::sjis("ディスク2を入れてから[OK]をクリックしてください"));
  EXPECT_EQ(t.dialogs.boxes[0].caption, "Caption");
  EXPECT_EQ(t.dialogs.boxes[0].buttons, platform::MessageButtons::OkCancel);
  EXPECT_FALSE(m->Exists("one.txt")) << "the old disc's archive is unmounted";
  EXPECT_EQ(read_text(*m, "two.txt"), "from disc 1");
}

TEST(Discs, ConfirmingTheQuitTextEndsThePlayer) {
  ManagerTest t;
  auto m = t.make({t.root / "cd"});
  core::FrameClock clock;
  bool closed = false;
  t.dialogs.answer = [](const MessageBoxSpec&) { return MessageAnswer::Cancel; };
  // Cancel on the disc box, then Cancel on the quit box asks again; the
  // third box is the disc box again, and the fourth quit box is confirmed.
  std::vector<MessageAnswer> answers = {MessageAnswer::Cancel, MessageAnswer::Cancel, MessageAnswer::Cancel,
                                        MessageAnswer::Ok};
  std::size_t next = 0;
  t.dialogs.answer = [&](const MessageBoxSpec&) { return answers.at(next++); };
  EXPECT_FALSE(m->AskForDisc(3, prompt(&clock, &closed)));
  ASSERT_EQ(t.dialogs.boxes.size(), 4u);
  EXPECT_EQ(t.dialogs.boxes[1].text, test::sjis("終了します"));
  EXPECT_EQ(t.dialogs.boxes[2].text, test::sjis("ディスク3を入れてから[OK]をクリックしてください"));
  EXPECT_TRUE(clock.TerminateFlag);
  EXPECT_TRUE(closed);
}

TEST(Discs, UnattendedPromptsGiveUpAfterTheirRounds) {
  ManagerTest t;
  t.max_rounds = 3;
  auto m = t.make();
  core::FrameClock clock;
  t.dialogs.answer = [](const MessageBoxSpec&) { return MessageAnswer::Ok; };
  EXPECT_FALSE(m->AskForDisc(2, prompt(&clock)));
  EXPECT_EQ(t.dialogs.boxes.size(), 3u);
  EXPECT_TRUE(clock.TerminateFlag);
}

TEST(Discs, EnsureFileAsksOnlyForFilesOnAnotherDiscThatAreNotStreamed) {
  ManagerTest t;
  const fs::path cd = t.root / "cd";
  write_archive(t.root / "game.dat", {{"here.txt", "h"}});
  auto m = t.make({cd});
  m->Mount(t.root / "game.dat");
  TFolderDiskList discs;
  discs.Add("disc2", 2);
  t.dialogs.answer = [&](const MessageBoxSpec&) {
    make_disc(cd, "Title", 1, "disc2\\scene.nsb");
    return MessageAnswer::Ok;
  };
  EXPECT_TRUE(m->EnsureFile("here.txt", discs, ".wav.wma.ogg", prompt()));
  EXPECT_FALSE(m->EnsureFile("", discs, ".wav.wma.ogg", prompt()));
  EXPECT_FALSE(m->EnsureFile("elsewhere\\x.nsb", discs, ".wav.wma.ogg", prompt())) << "no disc holds it";
  EXPECT_FALSE(m->EnsureFile("disc2\\voice.WAV", discs, ".wav.wma.ogg", prompt()))
      << "streamed files are not asked for";
  EXPECT_TRUE(t.dialogs.boxes.empty());
  EXPECT_TRUE(m->EnsureFile("disc2\\scene.nsb", discs, ".wav.wma.ogg", prompt()));
  EXPECT_EQ(t.dialogs.boxes.size(), 1u);
  EXPECT_EQ(read_text(*m, "disc2\\scene.nsb"), "from disc 1");
}

TEST(StartupLocation, WithoutInstallDataTheTitleDoesNotStart) {
  ManagerTest t;
  auto m = t.make();
  EXPECT_FALSE(m->LocateStartupData(prompt()));
  ASSERT_EQ(t.dialogs.boxes.size(), 1u);
  EXPECT_EQ(t.dialogs.boxes[0].text, test::sjis("インストールし直してください"));
  EXPECT_EQ(t.dialogs.boxes[0].caption, test::sjis("情報"));
  EXPECT_EQ(t.dialogs.boxes[0].icon, platform::MessageIcon::Information);
}

TEST(StartupLocation, InstalledDataBesideThePlayerIsUsed) {
  ManagerTest t;
  write_install(t.root / "player" / "INSTALL.DAT", "Title", 0, true);
  write_archive(t.root / "player" / "Game.dat", {{"nova.npb", "settings"}});
  auto m = t.make();
  auto set = m->LocateStartupData(prompt());
  ASSERT_TRUE(set);
  EXPECT_EQ(set->title, "Title");
  EXPECT_EQ(m->BaseFolder(), t.root / "player");
  EXPECT_EQ(read_text(*m, "nova.npb"), "settings");
  EXPECT_TRUE(t.dialogs.boxes.empty());
}

TEST(StartupLocation, InstallDataInsideTheExecutablesArchiveIsFound) {
  ManagerTest t;
  TNovaInstallSet s;
  s.title = "Title";
  s.data_installed = true;
  const auto bytes = s.Bytes();
  write_archive(t.root / "inside.dat",
                {{"install.dat", std::string(bytes.begin(), bytes.end())}, {"nova.npb", "settings"}});
  auto m = t.make();
  m->Mount(t.root / "inside.dat");
  ASSERT_TRUE(m->LocateStartupData(prompt()));
  EXPECT_TRUE(m->BaseFolder().empty());
  EXPECT_TRUE(t.dialogs.boxes.empty());
}

TEST(StartupLocation, AMatchingDiscIsSearchedForAndAskedFor) {
  ManagerTest t;
  write_install(t.root / "player" / "install.dat", "Title", 0, false);
  const fs::path cd = t.root / "cd";
  make_disc(cd / "wrong", "Another title", 0, "x.txt");
  auto m = t.make({cd / "wrong"});
  int boxes = 0;
  t.dialogs.answer = [&](const MessageBoxSpec&) {
    ++boxes;
    make_disc(cd / "right", "Title", 0, "scene.nsb");
    t.cdrom_roots.push_back(cd / "right");  // mounted after the box
    return MessageAnswer::Ok;
  };
  auto set = m->LocateStartupData(prompt());
  ASSERT_TRUE(set);
  EXPECT_EQ(boxes, 1);
  EXPECT_EQ(t.dialogs.boxes[0].text, test::sjis("ディスクを入れてください"));
  EXPECT_EQ(read_text(*m, "scene.nsb"), "from disc 0");
  EXPECT_FALSE(m->Exists("x.txt"));
}

TEST(StartupLocation, DecliningTheDiscEndsTheStart) {
  ManagerTest t;
  write_install(t.root / "player" / "install.dat", "Title", 0, false);
  auto m = t.make();
  std::vector<MessageAnswer> answers = {MessageAnswer::Cancel, MessageAnswer::Cancel, MessageAnswer::Ok,
                                        MessageAnswer::Cancel, MessageAnswer::Ok};
  std::size_t next = 0;
  t.dialogs.answer = [&](const MessageBoxSpec&) { return answers.at(next++); };
  EXPECT_FALSE(m->LocateStartupData(prompt()));
  ASSERT_EQ(t.dialogs.boxes.size(), 5u);
  EXPECT_EQ(t.dialogs.boxes[1].text, test::sjis("終了します"));
  EXPECT_EQ(t.dialogs.boxes[2].text, test::sjis("ディスクを入れてください")) << "Cancel on the quit box asks again";
}

}  // namespace
}  // namespace nova::files
