// SaveScreen as scripts call it: a base drawn whole into a ".bri" picture,
// in the base folder as the frame list's own file writer would store it, in
// memory as JPEG colour data; sizes, stale pictures of the cache, the
// written-files list and install data; and names a title must not write.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "component_fixture.h"
#include "components/component_functions.h"
#include "expr/expr_functions.h"
#include "expr/nova_parser.h"
#include "expr/random.h"
#include "files/install_set.h"
#include "files/script_file_access.h"
#include "files/stream.h"
#include "graphics/brio_collection.h"
#include "graphics/brios.h"
#include "graphics/memory_dibx.h"
#include "graphics/picture_files.h"
#include "platform/dialogs.h"
#include "support/test_support.h"

namespace nova::test {
namespace {

namespace fs = std::filesystem;

class NoDialogs final : public platform::Dialogs {
 public:
  platform::MessageAnswer message_box(const platform::MessageBoxSpec&) override {
    return platform::MessageAnswer::Cancel;
  }
  std::optional<fs::path> open_file(const platform::FileDialogSpec&) override { return std::nullopt; }
  std::optional<fs::path> save_file(const platform::FileDialogSpec&) override { return std::nullopt; }
  std::optional<fs::path> select_folder(const platform::FileDialogSpec&) override { return std::nullopt; }
};

// The title's files as the player's picture cache reads them.
class ManagerPictures final : public graphics::PictureFiles {
 public:
  explicit ManagerPictures(files::TVrFileManager& files) : m_files(files) {}
  bool exists(const std::string& name) const override { return m_files.Exists(name); }
  std::vector<std::uint8_t> read_all(const std::string& name) const override {
    const auto stream = m_files.ReadFile(name);
    const auto bytes = stream->bytes();
    return {bytes.begin(), bytes.end()};
  }

 private:
  files::TVrFileManager& m_files;
};

std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> out;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const std::string rel = fs::relative(it->path(), root).string();
    out[rel] = it->is_symlink() ? "link" : it->is_regular_file() ? "file:" + read_file(it->path()) : "dir";
  }
  return out;
}

std::unique_ptr<graphics::TBrioFrameList> load_bri(std::span<const std::uint8_t> bytes) {
  auto list = std::make_unique<graphics::TBrioFrameList>(0);
  files::TKvMemoryStream in(bytes);
  list->LoadFromStream(in);
  return list;
}

std::vector<std::uint8_t> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

class SaveScreen : public ComponentTest {
 protected:
  static constexpr int kW = 40, kH = 30;

  SaveScreen() {
    fs::create_directories(base);
    fs::create_directories(outside);
    write_file(outside / "secret.bri", "secret");
    fs::create_directories(dir / "tmp");
    files::FileManagerEnvironment env;
    env.temp_folder = dir / "tmp";
    env.executable = dir / "novaplayer";
    env.current_cdrom_roots = [] { return std::vector<fs::path>{}; };
    manager = std::make_unique<files::TVrFileManager>(dialogs, env);
    manager->SetBaseFolder(base);
    access = std::make_unique<files::ScriptFileAccess>(*manager);

    list.SetScreenSize(kW, kH);
    list.front_base().SetColor(0x0000FF);  // red
    list.back_base().SetColor(0x00FF00);   // green
    TFill& f = list.make<TFill>();
    f.colour = 0xFF0000;  // blue
    f.SetParent(&list.front_base());
    f.SetBounds(4, 2, 10, 6);

    expr::register_expr_functions(funcs, store, random);
    components::register_component_functions(funcs, scope);
    scope.list = &list;
    scope.access = access.get();
  }

  // Runs `text`; the result's text, or "error: <message>".
  std::string run(std::string_view text) {
    parser = expr::compile_expression(sjis(text));
    if (!parser.execute(store, funcs)) return "error: " + utf8(parser.last_error());
    return parser.result() ? utf8(parser.result()->as_str()) : "";
  }
  std::vector<std::uint8_t> file(const fs::path& p) { return bytes_of(read_file(p)); }
  std::vector<std::uint8_t> memory_entry(std::string_view name) {
    files::TVrFileCollection& memory = manager->MemoryArchive();
    const files::TVrFile* entry = memory.Find(name);
    if (!entry) return {};
    files::MemoryBlock data;
    memory.ReadEntry(*entry, data);
    return {data.bytes().begin(), data.bytes().end()};
  }
  // What the screen shows after a full composition.
  void compose_into(graphics::TDIBX& screen) {
    screen.SetSize(kW, kH, 32);
    list.SetDisplaySurface(&screen);
    list.front_base().InvalidateAll();
    list.Compose();
    list.SetDisplaySurface(nullptr);
  }
  // 0xRRGGBB of a 32-bit pixel (0x00RRGGBB) or of a 24-bit frame pixel.
  static std::uint32_t rgb(std::uint32_t pixel) { return pixel & 0xFFFFFF; }

  TempDir dir;
  fs::path base = dir / "base";
  fs::path outside = dir / "outside";
  NoDialogs dialogs;
  std::unique_ptr<files::TVrFileManager> manager;
  std::unique_ptr<files::ScriptFileAccess> access;
  expr::TParamCollection store;
  expr::StandardRandom random{1};
  expr::TSysFuncMan funcs;
  components::ComponentScope scope;
  expr::TNovaParser parser;
};

TEST_F(SaveScreen, AFileInTheBaseFolderIsTheScreenAsTheFileWriterStoresIt) {
  EXPECT_EQ(run("SaveScreen(\"Shot.BRI\")"), "TRUE");
  const auto written = file(base / "Shot.BRI");
  const auto shot = load_bri(written);
  ASSERT_EQ(shot->Count(), 1);
  EXPECT_EQ(shot->storage_mode, graphics::kBrioZlib);
  const graphics::TBrioFrame& frame = shot->Frames(0);
  ASSERT_EQ(frame.Width(), kW);
  ASSERT_EQ(frame.Height(), kH);
  EXPECT_EQ(frame.BitCount(), 24);
  graphics::TDIBX screen;
  compose_into(screen);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      ASSERT_EQ(rgb(frame.surface.GetPixel(x, y)), rgb(screen.GetPixel(x, y))) << x << ", " << y;
    }
  }
  EXPECT_EQ(rgb(frame.surface.GetPixel(5, 3)), 0x0000FFu) << "the blue child (0xFF0000 is blue) on the red base";
  EXPECT_EQ(rgb(frame.surface.GetPixel(0, 0)), 0xFF0000u);

  // The same picture through the frame list's own file writer: byte for
  // byte what SaveScreen wrote.
  graphics::TBrioFrameList again(0);
  graphics::TBrioFrame& f = again.AddFrame();
  f.surface.SetSize(kW, kH, 24);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) f.surface.SetPixel(x, y, frame.surface.GetPixel(x, y));
  again.SaveToFile(dir / "reference.bri");
  EXPECT_EQ(written, file(dir / "reference.bri"));

  list.ClearDirtyRects();
  EXPECT_EQ(run("SaveScreen(\"back.bri\", 0, 0, TRUE)"), "TRUE");
  const auto back = load_bri(file(base / "back.bri"));
  EXPECT_EQ(rgb(back->Frames(0).surface.GetPixel(5, 3)), 0x00FF00u) << "the back base, green and empty";
  EXPECT_TRUE(list.front_base().dirty().rects().empty()) << "drawing the shot leaves the dirty list alone";
}

TEST_F(SaveScreen, MemoryNamesHoldJpegColourUnscrambledAndSaveNamesStoreTheSaveFile) {
  int stores = 0;
  bool store_works = true;
  access->set_save_hook([&] {
    ++stores;
    return store_works;
  });
  EXPECT_EQ(run("SaveScreen(\"mem:t.bri\", 20, 15)"), "TRUE");
  EXPECT_EQ(stores, 0);
  const auto bytes = memory_entry("MEM:T.BRI");
  ASSERT_GT(bytes.size(), 49u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 7), "Brio106");
  EXPECT_EQ(bytes[32], 0) << "not scrambled: image key 0";
  EXPECT_EQ(bytes[33], graphics::kBrioJpeg);
  EXPECT_EQ(bytes[48], 70) << "the JPEG quality";
  const auto shot = load_bri(bytes);
  ASSERT_EQ(shot->Frames(0).Width(), 20);
  // JPEG is lossy: the colours stay near the screen's.
  const std::uint32_t red = rgb(shot->Frames(0).surface.GetPixel(18, 13));
  EXPECT_GE(red >> 16, 0xE0u);
  EXPECT_LE(red & 0xFFFF, 0x2020u);

  EXPECT_EQ(run("SaveScreen(\"save:thumb.bri\")"), "TRUE");
  EXPECT_EQ(stores, 1);
  EXPECT_FALSE(memory_entry("save:thumb.bri").empty());
  store_works = false;
  EXPECT_EQ(run("SaveScreen(\"SAVE:thumb.bri\")"), "FALSE") << "the save file could not be stored";
  EXPECT_FALSE(fs::exists(base / "t.bri"));
}

TEST_F(SaveScreen, SizesScaleByNearestNeighbourAndBadSizesWriteNothing) {
  EXPECT_EQ(run("SaveScreen(\"half.bri\", 20, 15)"), "TRUE");
  const auto half = load_bri(file(base / "half.bri"));
  const graphics::TDIBSurface& s = half->Frames(0).surface;
  ASSERT_EQ(s.Width(), 20);
  ASSERT_EQ(s.Height(), 15);
  // The blue child covers x 4..13, y 2..7 of the screen: every second
  // pixel from 0 lands there for x 2..6, y 1..3.
  std::string row;
  for (int x = 0; x < 10; ++x) row += rgb(s.GetPixel(x, 2)) == 0x0000FF ? 'B' : 'R';
  EXPECT_EQ(row, "RRBBBBBRRR");
  EXPECT_EQ(rgb(s.GetPixel(4, 4)), 0xFF0000u) << "y 8 lies below the child";

  EXPECT_EQ(run("SaveScreen(\"wide.bri\", 0, 60)"), "TRUE");
  EXPECT_EQ(load_bri(file(base / "wide.bri"))->Frames(0).Width(), kW) << "0 takes the screen's side";

  EXPECT_EQ(run("SaveScreen(\"neg.bri\", -1)"), "FALSE");
  EXPECT_EQ(run("SaveScreen(\"huge.bri\", 16385, 1)"), "FALSE") << "a side past the picture cap";
  EXPECT_EQ(run("SaveScreen(\"many.bri\", 16384, 16385)"), "FALSE");
  EXPECT_EQ(run("SaveScreen(\"shot.png\")"), "FALSE") << "only .bri";
  EXPECT_EQ(run("SaveScreen(\"shot\")"), "FALSE");
  EXPECT_FALSE(fs::exists(base / "neg.bri"));
  EXPECT_FALSE(fs::exists(base / "huge.bri"));
  EXPECT_FALSE(fs::exists(base / "shot.png"));

  manager->SetBaseFolder({});
  EXPECT_EQ(run("SaveScreen(\"mem:x.bri\")"), "FALSE") << "nothing without a base folder";
  EXPECT_TRUE(memory_entry("mem:x.bri").empty());
  scope.access = nullptr;
  EXPECT_EQ(run("SaveScreen(\"y.bri\")"), "FALSE");
  scope.list = nullptr;
  EXPECT_EQ(run("SaveScreen(\"y.bri\")"), "error: SaveScreen: no component system is running");
}

TEST_F(SaveScreen, NamesThatLeaveTheBaseFolderAreRefused) {
  fs::create_symlink(outside, base / "out");
  fs::create_symlink(outside / "secret.bri", base / "link.bri");
  const auto before = snapshot(outside);
  for (const char* name : {"..\\\\x.bri", "a\\\\..\\\\..\\\\x.bri", "\\\\etc\\\\x.bri", "/tmp/x.bri", "C:\\\\x.bri",
                           "a:b.bri", "out\\\\x.bri", "out\\\\secret.bri", "link.bri", "OUT\\\\new\\\\x.bri"}) {
    EXPECT_EQ(run(std::string("SaveScreen(\"") + name + "\")"), "FALSE") << name;
  }
  EXPECT_EQ(run("SaveScreen(\"a\" ++ Chr(0) ++ \"b.bri\")"), "FALSE") << "a NUL byte";
  EXPECT_EQ(run("SaveScreen(StringOfChar(\"n\", 5000) ++ \".bri\")"), "FALSE") << "a name over 1024 bytes";
  EXPECT_EQ(snapshot(outside), before);
  EXPECT_EQ(read_file(outside / "secret.bri"), "secret");
  EXPECT_FALSE(fs::exists(dir / "x.bri"));
  EXPECT_TRUE(manager->WrittenFiles().empty());
}

TEST_F(SaveScreen, ACachedPictureOfTheNameTurnsStaleAndItsUsersKeepTheirFrames) {
  ManagerPictures pictures_files(*manager);
  graphics::TBrioCollection pictures(pictures_files, 0, 32);
  TComponentFactory factory2;
  TNovaBaseList shown({factory2, nullptr, nullptr, nullptr, nullptr, &pictures});
  shown.SetScreenSize(kW, kH);
  shown.front_base().SetColor(0x123456);
  scope.list = &shown;

  graphics::TBrioItem& item = pictures.Acquire(7, "shot.bri", false, false);
  ASSERT_TRUE(item.Empty()) << "no such file yet";
  const graphics::TDIBX* old_frame = item.Frames(0).picture.get();
  const std::uint64_t generation = item.Generation();

  EXPECT_EQ(run("SaveScreen(\"SHOT.bri\")"), "TRUE");
  ASSERT_EQ(pictures.Find("shot.bri"), &item) << "the item is not freed";
  EXPECT_EQ(item.Frames(0).picture.get(), old_frame) << "its user still draws the old frame";
  EXPECT_EQ(item.Generation(), generation);

  graphics::TBrioItem& again = pictures.Acquire(7, "shot.bri", false, false);
  EXPECT_FALSE(again.Empty());
  EXPECT_EQ(again.Width(), kW);
  EXPECT_NE(again.Generation(), generation) << "the next acquisition loads the new file";
  EXPECT_EQ(again.Frames(0).picture->GetPixel(0, 0) & 0xFFFFFF, 0x563412u) << "0x123456 is red 0x56";
  pictures.Release(&again, 7);
  pictures.Release(&again, 7);
}

TEST_F(SaveScreen, WrittenFilesAreNotedOnceAndRegistrationTwoRewritesInstallData) {
  EXPECT_EQ(run("SaveScreen(\"a.bri\")"), "TRUE");
  EXPECT_EQ(run("SaveScreen(\"A.BRI\", 0, 0, FALSE, 1)"), "TRUE");
  EXPECT_EQ(run("SaveScreen(\"mem:m.bri\", 0, 0, FALSE, 1)"), "TRUE");
  ASSERT_EQ(manager->WrittenFiles().size(), 1u) << "one file, noted once; memory entries are no files";
  EXPECT_EQ(manager->WrittenFiles()[0], base / "a.bri") << "the existing file of another case is replaced";

  EXPECT_EQ(run("SaveScreen(\"b.bri\", 0, 0, FALSE, 2)"), "FALSE") << "no install.dat";
  EXPECT_TRUE(fs::exists(base / "b.bri")) << "the picture is written all the same";

  files::TNovaInstallSet set;
  set.title = sjis("題名");
  set.written_files = {"old.bri"};
  const auto install = set.Bytes();
  write_file(base / "install.dat", std::string(install.begin(), install.end()));
  EXPECT_EQ(run("SaveScreen(\"sub.bri\", 0, 0, FALSE, 2)"), "TRUE");
  EXPECT_EQ(run("SaveScreen(\"SUB.bri\", 0, 0, FALSE, 2)"), "TRUE");
  const auto updated = files::TNovaInstallSet::Parse(file(base / "install.dat"));
  EXPECT_EQ(updated.title, sjis("題名"));
  EXPECT_EQ(updated.written_files, (std::vector<std::string>{"old.bri", "sub.bri"}))
      << "added once, without regard to case";

  write_file(base / "install.dat", "is108\x01");
  EXPECT_EQ(run("SaveScreen(\"c.bri\", 0, 0, FALSE, 2)"), "FALSE") << "a damaged install.dat";
  EXPECT_EQ(read_file(base / "install.dat"), std::string("is108\x01")) << "left as it was";
  fs::remove(base / "install.dat");
  fs::create_symlink(outside / "secret.bri", base / "install.dat");
  EXPECT_EQ(run("SaveScreen(\"d.bri\", 0, 0, FALSE, 2)"), "FALSE") << "never through a link";
  EXPECT_EQ(read_file(outside / "secret.bri"), "secret");
}

}  // namespace
}  // namespace nova::test
