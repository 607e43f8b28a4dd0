// Game saves of a large game: 500 image components (nested five deep,
// each with an event property) and 20,000 variables (integers, strings and
// arrays), with a table.
//
// - BM_SaveLoadPaired: writing the game record and archiving it into memory,
//   then loading it back, against zlib level 1 deflating and then inflating
//   the same number of bytes, in the same iteration. Required ratio <= 3,
//   goal <= 1.5. The record is written into a buffer kept between saves and
//   archived where it lies, as the project saves.
// - BM_SaveLoadWholePaired: the same save, and the load as the project
//   performs it: the slot read back out of the archive (inflated), and the
//   all-or-nothing load that writes the running game into memory first.
//   Against the same baseline; it shows what the safety of a load costs.
// - BM_FrameSavePaired: the whole save as the frame performs it (record,
//   status, archive, atomic store with fsync and the folder's fsync) against
//   writing and fsyncing the same number of bytes once, to the same disk
//   (the current folder). Wall time, since the disk is the point; the
//   median and maximum of both sides are reported, in milliseconds, for a
//   comparison with the 300 ms stall after which the frame clock stops.
//   Beside them: the records alone (records_ms), and the atomic store of
//   the same bytes already made (atomic_ms: temporary file, its fsync, the
//   rename and the folder's fsync), whose ratio to the plain write is the
//   floor that durability sets for the whole save (floor_ratio).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "components/base_list.h"
#include "components/component_factory.h"
#include "components/nova_control.h"
#include "data/db_manager.h"
#include "data/history_format.h"
#include "expr/param_collection.h"
#include "expr/sys_func_man.h"
#include "files/archive.h"
#include "files/stream.h"
#include "script/callman.h"
#include "script/game_record.h"
#include "script/save_file.h"
#include "thread_clock.h"

namespace {

using namespace nova;
namespace fs = std::filesystem;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "bench_save: %s\n", what);
  std::exit(1);
}

class NoPages final : public script::ScriptHost {
 public:
  bool EnsureFile(std::string_view) override { return false; }
  bool Exists(std::string_view) override { return false; }
  std::vector<std::uint8_t> ReadFile(std::string_view) override { fail("the game reads no pages"); }
  void ShowFatal(std::string_view, std::string_view) override {}
  void RequestClose() override {}
  void RequestGameSave(script::GameSaveRequest) override {}
  void RequestGameLoad(std::int32_t) override {}
};

struct Game {
  Game() {
    components::register_product_classes(factory);
    list.ReleaseSurfaces();
    list.SetScreenSize(640, 480);
    list.set_history(&history);
    cm.set_event_queue(&list.events());
    cm.set_component_directory(&list);
    components::TNovaControl* parent = nullptr;
    for (int i = 0; i < 500; ++i) {
      auto& c = list.Create(components::LT_IMAGES);
      c.SetName("image" + std::to_string(i));
      auto* control = c.AsControl();
      if (!control) fail("an image is no control");
      control->SetParent(i % 5 == 0 || !parent ? &list.base(0) : parent);
      control->SetBounds(i % 64, i % 48, 16, 16);
      control->SetEventTarget(components::PR_ONLBTNUP, "click.nsb:image" + std::to_string(i));
      parent = control;
    }
    bool created = false;
    for (int i = 0; i < 20000; ++i) {
      const std::string name = "v" + std::to_string(i);
      switch (i % 3) {
        case 0: store.create(name, expr::PT_INT, expr::TVarScope::Global, created).value().set_int(i); break;
        case 1:
          store.create(name, expr::PT_STR, expr::TVarScope::Global, created).value().set_str("text " + name);
          break;
        default: {
          expr::TCustomParam& a = store.create(name, expr::PT_INT, expr::TVarScope::Global, created).value();
          const std::int32_t eight[] = {8};
          a.set_dims(eight);
        }
      }
    }
    data::TDBTable& t = tables.create("table", false);
    t.add_field("name", data::DBFieldType::String, 16);
    t.add_field("n", data::DBFieldType::Integer);
    for (int i = 0; i < 100; ++i) t.append();
  }
  script::GameParts parts() { return {list, history, cm, store, tables, 640, 480, false}; }

  components::TComponentFactory factory;
  core::FrameClock clock;
  expr::TParamCollection store;
  expr::TSysFuncMan funcs;
  NoPages host;
  components::TNovaBaseList list{{factory}};
  data::TNovaHistoryFormatManager history;
  data::TDBManager tables;
  script::TCallMan cm{{clock, store, funcs, host, &list}};
};

Game& game() {
  static Game g;
  return g;
}

// The record archived as the slot of an archive in memory, as a save
// writes it (TSaveFile::store_entries, without the disk).
void archive_into(files::TKvBigMemoryStream& out, std::span<const std::uint8_t> record) {
  files::TVrFileCollection archive;
  archive.AddBorrowedFile(script::game_entry_name(1), record);
  out.Clear();
  archive.Write(out);
}

// The paired loop of both save-and-load benchmarks; `load` loads the
// archive `out` that the save has just written, whose record is `record`.
template <typename Load>
void save_load_paired(benchmark::State& state, Load load) {
  Game& g = game();
  script::GameParts parts = g.parts();
  const std::vector<std::uint8_t> sample = script::game_record_bytes(parts, {});
  std::vector<std::uint8_t> packed(compressBound(static_cast<uLong>(sample.size())));
  std::vector<std::uint8_t> unpacked(sample.size());
  core::ByteWriter record;
  files::TKvBigMemoryStream out;
  bench::PairedTimes times;
  for (auto _ : state) {
    times.time(
        [&] {
          record.clear();
          script::write_game_record(record, parts, {});
          archive_into(out, record.data());
          benchmark::DoNotOptimize(out.GetSize());
          load(parts, out, record.data());
        },
        [&] {
          uLongf n = static_cast<uLongf>(packed.size());
          if (compress2(packed.data(), &n, sample.data(), static_cast<uLong>(sample.size()), 1) != Z_OK)
            fail("compress2");
          uLongf m = static_cast<uLongf>(unpacked.size());
          if (uncompress(unpacked.data(), &m, packed.data(), n) != Z_OK) fail("uncompress");
          benchmark::DoNotOptimize(unpacked.data());
        });
  }
  if (record.data() != sample) fail("the record changed across a save and a load");
  state.counters["ratio"] = times.ratio();
  state.counters["record_bytes"] = static_cast<double>(sample.size());
}

void BM_SaveLoadPaired(benchmark::State& state) {
  save_load_paired(state, [](script::GameParts& parts, files::TKvBigMemoryStream&, std::span<const std::uint8_t> record) {
    script::load_game_record(record, parts);
  });
}
BENCHMARK(BM_SaveLoadPaired)->Unit(benchmark::kMillisecond);

void BM_SaveLoadWholePaired(benchmark::State& state) {
  files::MemoryBlock slot;
  core::ByteWriter snapshot;
  save_load_paired(state, [&](script::GameParts& parts, files::TKvBigMemoryStream& out, std::span<const std::uint8_t>) {
    files::TVrFileCollection archive;
    archive.OpenStream(std::make_unique<files::TKvBigMemoryStream>(out.bytes()));
    const files::TVrFile* entry = archive.Find(script::game_entry_name(1));
    if (!entry) fail("the slot is missing from the archive");
    archive.ReadEntry(*entry, slot);
    if (script::load_game_whole(slot.bytes(), parts, &snapshot).outcome != script::WholeLoad::Outcome::Loaded)
      fail("the whole load failed");
  });
}
BENCHMARK(BM_SaveLoadWholePaired)->Unit(benchmark::kMillisecond);

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void BM_FrameSavePaired(benchmark::State& state) {
  Game& g = game();
  script::GameParts parts = g.parts();
  const fs::path folder = fs::current_path() / "bench_save.tmp";
  fs::create_directories(folder);
  const fs::path save = folder / "save.dat";
  const fs::path plain = folder / "plain.dat";
  expr::TParamCollection status_store;
  data::TDBManager status_tables;
  bool created = false;
  for (int i = 0; i < 200; ++i) {
    status_store.create("s" + std::to_string(i), expr::PT_INT, expr::TVarScope::Status, created).value().set_int(i);
  }
  std::vector<double> ours, theirs, records, atomic;
  using clock = std::chrono::steady_clock;
  core::ByteWriter record;
  const std::string slot = script::game_entry_name(1);
  for (auto _ : state) {
    // As TProject::SaveGame: the record into the buffer kept between
    // saves, the status, then one store of "save.dat" opened as it is.
    const auto t0 = clock::now();
    record.clear();
    script::write_game_record(record, parts, {});
    core::ByteWriter status;
    script::write_status_record(status, status_store, script::TStatusTail{}, status_tables);
    const script::TSaveFile::Entry entries[] = {{slot, record.data()}, {script::kStatusEntryName, status.data()}};
    const auto tr = clock::now();
    script::TSaveFile(save).store_entries(entries);
    const auto t1 = clock::now();
    const std::uintmax_t size = fs::file_size(save);
    const std::vector<std::uint8_t> bytes(size, 0x5A);
    const int fd = ::open(plain.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) || ::fsync(fd) != 0)
      fail("the plain write");
    ::close(fd);
    const auto t2 = clock::now();
    files::host::write_file_atomically(folder / "atomic.dat", bytes);
    const auto t3 = clock::now();
    ours.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    theirs.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
    records.push_back(std::chrono::duration<double, std::milli>(tr - t0).count());
    atomic.push_back(std::chrono::duration<double, std::milli>(t3 - t2).count());
  }
  fs::remove_all(folder);
  state.counters["ratio_median"] = median(ours) / std::max(1e-9, median(theirs));
  state.counters["save_ms_median"] = median(ours);
  state.counters["save_ms_max"] = *std::max_element(ours.begin(), ours.end());
  state.counters["write_ms_median"] = median(theirs);
  state.counters["write_ms_max"] = *std::max_element(theirs.begin(), theirs.end());
  state.counters["records_ms_median"] = median(records);
  state.counters["atomic_ms_median"] = median(atomic);
  state.counters["floor_ratio"] = median(atomic) / std::max(1e-9, median(theirs));
  state.counters["stall_ms"] = 300;
}
BENCHMARK(BM_FrameSavePaired)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
