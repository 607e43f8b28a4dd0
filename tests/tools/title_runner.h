// Runs a title source tree end to end and checks what it did: built with
// `nova build`, played with `novaplayer --headless`, its trace and the
// status variables of its save.dat and its screenshots compared with an
// expectation (the format of tests/titles/README.md).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace nova::test {

struct Expectation {
  // A moment of the play: a tick of a run (1 the first run), written
  // "TICK" for the first run or "RUN/TICK".
  struct At {
    int run = 1;
    int tick = 0;
    auto operator<=>(const At&) const = default;
  };
  int ticks = 100;
  int seed = 1;
  // More options for the player, as on its command line.
  std::string args;
  // Two runs of fresh builds must leave byte-identical save files.
  bool identical_runs = false;
  bool errors_allowed = false;
  std::vector<std::pair<bool, std::string>> trace;  // in order; true: with the clock
  std::vector<std::string> no_trace;
  // Lines of `nova dump`'s report of save.dat ("status TYPE NAME = VALUE",
  // "read KEY: POSITION/PAGE ...").
  std::vector<std::string> status;
  std::vector<std::string> no_status;
  // Lines the game report of a slot holds (nova dump save.dat --slot N).
  std::vector<std::pair<int, std::string>> slot_lines;
  // Golden texts (files beside expect.txt) whose lines must stand in the
  // report of save.dat, or of a slot, together and in order, exactly.
  std::vector<std::string> saved_blocks;
  std::vector<std::pair<int, std::string>> slot_blocks;
  // Scripted input, "TICK EVENT" lines of the player's --input format.
  std::vector<std::string> input;
  // The screen at a tick equals a PNG beside expect.txt, pixel for pixel.
  struct Screenshot {
    At tick;
    std::string file;
  };
  std::vector<Screenshot> screenshots;
  // One pixel of the screen at a tick, 0xRRGGBB.
  struct Pixel {
    At tick;
    int x = 0, y = 0;
    std::uint32_t rgb = 0;
  };
  std::vector<Pixel> pixels;
  // How often the player runs on the built title, each run keeping what
  // the last left (save.dat, written files), with the same input; the
  // screen is taken in the runs the lines above and below name, trace and
  // save.dat come from the last.
  int runs = 1;
  // A ".bri" file in the title's folder after the last run, in a storage
  // mode: equal pixel for pixel to the screen at a tick, or of a size with
  // every pixel within a tolerance of one colour (0xRRGGBB).
  struct PictureFile {
    std::string file;
    int mode = 0;
    At tick{1, -1};  // tick -1: compared with the colour
    int width = 0, height = 0;
    std::uint32_t rgb = 0;
    int tolerance = 0;
  };
  std::vector<PictureFile> picture_files;

  // A folder of the build tree whose ".bri" files are added to the source
  // before it is built, and where the PNG files of the formulas below are
  // read ("" when the title has none).
  std::string pictures;
  // One screen pixel at a tick computed from PNG pixels: `kind` Plain is
  // the first picture's pixel; Masked is the first drawn through its alpha
  // plane over the second (an opaque picture); Fade is the fade transition
  // from the first (old screen) to the second at elapsed time e of d.
  struct Formula {
    enum class Kind { Plain, Masked, Fade } kind = Kind::Plain;
    At tick;
    int x = 0, y = 0;
    std::string file[2];
    int px[2] = {0, 0}, py[2] = {0, 0};
    int elapsed = 0, duration = 1;
  };
  std::vector<Formula> formulas;
  // The pixels within a tolerance of a colour in a rectangle of the screen
  // at each tick: none at the first tick, and more at each later one.
  struct Ink {
    At tick;
    int x = 0, y = 0, width = 0, height = 0;
    std::uint32_t rgb = 0;
    int tolerance = 0;
  };
  std::vector<Ink> ink;
  // A rectangle of the screen at one tick against one of the same size at
  // another (or the same) tick: equal pixel for pixel (`same`), or
  // differing in some pixel. The first must hold more than one colour, so
  // that an empty area never passes.
  struct Area {
    bool same = true;
    At tick;
    int x = 0, y = 0, width = 0, height = 0;
    At other_tick;
    int other_x = 0, other_y = 0;
  };
  std::vector<Area> areas;
};

// Unknown lines fail the test that reads them. `input_file:` lines are read
// from `source` (the title's source tree).
Expectation parse_expectation(const std::string& text, const std::string& where,
                              const std::filesystem::path& source = {});

// Builds, runs and checks, reporting each unmet expectation as a test
// failure. Screenshot files are looked for in `folder` (expect.txt's);
// a screenshot that differs is kept there as FILE.actual.png.
void run_title(const std::filesystem::path& source, const Expectation& expectation,
               const std::filesystem::path& folder = {});

}  // namespace nova::test
