// The file dialog the player draws itself: its form driven by keys and
// typed text (notes for paths that do not serve, relative input, Shift-JIS
// editing), its picture, and its event loop on the headless backend.
#include <gtest/gtest.h>

#include <thread>

#include "platform/dialogs.h"
#include "platform/headless/headless_platform.h"
#include "platform/keys.h"
#include "platform/widgets.h"
#include "support/test_support.h"

namespace nova::platform {
namespace {

namespace fs = std::filesystem;
using test::sjis;

Event key(int vk_code) {
  Event e;
  e.type = EventType::KeyDown;
  e.key = vk_code;
  return e;
}

Event typed(const std::string& sjis_text) {
  Event e;
  e.type = EventType::TextInput;
  e.text = sjis_text;
  return e;
}

class WindowFileDialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_fonts = create_font_service().release(); }
  static void TearDownTestSuite() {
    delete s_fonts;
    s_fonts = nullptr;
  }
  static inline FontService* s_fonts = nullptr;

  static void clear(FileDialogForm& f) {
    for (int guard = 0; !f.field_text().empty() && guard < 4096; ++guard) f.handle(key(vk::BACK));
  }

  test::TempDir m_dir;
};

TEST_F(WindowFileDialogTest, OpenWaitsForAnExistingFileAndEditsWholeCharacters) {
  fs::create_directory(m_dir / "sub");
  FileDialogSpec spec;
  FileDialogForm f(*s_fonts, 0, spec, m_dir.path());
  const std::string start = m_dir.path().string() + "/";
  EXPECT_EQ(f.field_text(), start);

  // Backspace takes back a whole double-byte character, even one whose
  // trail byte looks like a backslash (ソ is 83 5C).
  f.handle(typed(sjis("sub/ソあ")));
  f.handle(key(vk::BACK));
  EXPECT_EQ(f.field_text(), start + sjis("sub/ソ"));
  f.handle(key(vk::BACK));
  EXPECT_EQ(f.field_text(), start + "sub/");
  // A line break or tab in typed text is not part of a path.
  f.handle(typed(sjis("ファイ\tル.txt\n")));
  EXPECT_EQ(f.field_text(), start + sjis("sub/ファイル.txt"));

  EXPECT_EQ(f.handle(key(vk::RETURN)), FileDialogForm::State::Open);
  EXPECT_EQ(f.note(), sjis("ファイルが見つかりません。"));
  test::write_file(m_dir / "sub/ファイル.txt", "x");
  EXPECT_EQ(f.handle(key(vk::RETURN)), FileDialogForm::State::Chosen);
  EXPECT_EQ(f.chosen(), m_dir / "sub/ファイル.txt");

  // A folder is not a file to open; typing clears the note.
  FileDialogForm g(*s_fonts, 0, spec, m_dir.path());
  EXPECT_EQ(g.handle(key(vk::RETURN)), FileDialogForm::State::Open);
  EXPECT_EQ(g.note(), sjis("ファイル名を入力してください。"));
  g.handle(typed("a"));
  EXPECT_EQ(g.note(), "");
  EXPECT_EQ(g.handle(key(vk::ESCAPE)), FileDialogForm::State::Cancelled);
}

TEST_F(WindowFileDialogTest, RelativeInputSavesAndFoldersResolveAgainstTheStartFolder) {
  fs::create_directory(m_dir / "sub");
  FileDialogSpec spec;
  spec.must_exist = false;
  FileDialogForm save(*s_fonts, 1, spec, m_dir.path());
  clear(save);
  save.handle(typed("nope/x.txt"));
  EXPECT_EQ(save.handle(key(vk::RETURN)), FileDialogForm::State::Open);
  EXPECT_EQ(save.note(), sjis("フォルダーが見つかりません。"));
  clear(save);
  save.handle(typed("sub/../sub/new.txt"));
  EXPECT_EQ(save.handle(key(vk::RETURN)), FileDialogForm::State::Chosen);
  EXPECT_EQ(save.chosen(), m_dir / "sub/new.txt");

  // An open that need not find its file takes a new name too.
  FileDialogForm open(*s_fonts, 0, spec, m_dir.path());
  open.handle(typed("later.txt"));
  EXPECT_EQ(open.handle(key(vk::RETURN)), FileDialogForm::State::Chosen);
  EXPECT_EQ(open.chosen(), m_dir / "later.txt");

  FileDialogForm folder(*s_fonts, 2, spec, m_dir.path());
  folder.handle(typed("missing"));
  EXPECT_EQ(folder.handle(key(vk::RETURN)), FileDialogForm::State::Open);
  EXPECT_EQ(folder.note(), sjis("フォルダーが見つかりません。"));
  clear(folder);
  folder.handle(typed("sub/"));
  EXPECT_EQ(folder.handle(key(vk::RETURN)), FileDialogForm::State::Chosen);
  EXPECT_EQ(folder.chosen(), m_dir / "sub") << "without the trailing slash";
}

TEST_F(WindowFileDialogTest, ThePictureShowsTheFieldTheButtonsAndTheNote) {
  FileDialogForm f(*s_fonts, 0, FileDialogSpec{}, m_dir.path());
  const Canvas& c = f.draw();
  ASSERT_EQ(c.width(), FileDialogForm::client_size().width);
  auto dark_in = [&c](Rect r) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y) {
      for (int x = r.left; x < r.right; ++x) n += (c.pixel(x, y) & 0xFF) < 0x60;
    }
    return n;
  };
  const Rect ok{310, 89, 385, 112}, cancel{393, 89, 468, 112}, field{13, 31, 467, 52}, note{12, 60, 468, 76};
  EXPECT_GT(dark_in(ok), 15) << "OK is written on its button";
  EXPECT_GT(dark_in(cancel), 40) << "キャンセル is written on its button";
  EXPECT_GT(dark_in(field), 40) << "the start folder is in the field";
  EXPECT_EQ(c.pixel(300, 40), 0xFFFFFFu) << "the field's white ground";
  EXPECT_EQ(dark_in(note), 0);
  f.handle(key(vk::RETURN));
  f.draw();
  EXPECT_GT(dark_in(note), 40) << "the note is shown";
}

TEST_F(WindowFileDialogTest, TheLoopAnswersTypedPathsAndItsCloseBoxCancels) {
  HeadlessOptions o;
  o.echo_message_boxes = false;
  HeadlessPlatform headless(o);
  FileDialogSpec spec;
  spec.must_exist = false;

  // The test types while the dialog's own loop waits for events.
  std::optional<fs::path> answer;
  std::thread dialog([&] { answer = run_window_file_dialog(headless, 1, spec, m_dir.path()); });
  const bool shown = test::eventually([&] { return headless.newest_window() != nullptr; });
  headless.push_event(typed("typed.txt"));
  headless.push_event(key(vk::RETURN));
  dialog.join();
  ASSERT_TRUE(shown);
  EXPECT_EQ(answer, m_dir / "typed.txt");
  EXPECT_EQ(headless.newest_window(), nullptr) << "the dialog's window is gone";

  answer = fs::path("unchanged");
  std::thread closing([&] { answer = run_window_file_dialog(headless, 0, spec, m_dir.path()); });
  ASSERT_TRUE(test::eventually([&] { return headless.newest_window() != nullptr; }));
  Event close;
  close.type = EventType::Close;
  headless.push_event(close);  // addressed to the dialog's window
  closing.join();
  EXPECT_FALSE(answer);
  Event e;
  EXPECT_FALSE(headless.poll_event(e)) << "closing the dialog closes nothing else";
}

}  // namespace
}  // namespace nova::platform
