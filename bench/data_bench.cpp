// The DB tables against plain C++ on the same values, in the same run.
//
// - BM_SortPaired/ORDER: DBSort's sort of 100,000 records by (integer,
//   20-byte string, float), the records random, sorted, reversed or all
//   equal, against std::stable_sort of structs holding the same values in
//   the same order. Required ratio <= 1.5, goal <= 1.0.
// - BM_SearchIntPaired, BM_SearchTextPaired: 1,000 exact searches of
//   present keys in 100,000 records, the index built, against a linear
//   std::find (std::find_if with the fold for the case-insensitive text)
//   over a vector of the same values. Required ratio <= 0.02, goal <= 0.005;
//   scan_ms is the baseline's time for the 1,000 searches.
// - BM_LoadTsvPaired: DBLoadTsvFile's loader on 10 MB (100,000 lines of an
//   integer, a 20-byte string, a 60-byte Shift-JIS string with trail bytes
//   0x5C and "\n" escapes, a flag and a float) against splitting the same
//   bytes into lines and tab fields as std::string. Required ratio <= 2,
//   goal <= 1.25.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "thread_clock.h"
#include "core/binary_io.h"
#include "core/sjis.h"
#include "data/db_manager.h"
#include "data/db_search.h"
#include "data/db_tsv.h"
#include "expr/number_text.h"
#include "expr/params.h"

namespace {

using namespace nova;
using data::DBFieldType;
using data::TDBManager;
using data::TDBTable;

constexpr int kRecords = 100'000;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "bench_data: %s\n", what);
  std::exit(1);
}

struct Row {
  std::int32_t i = 0;
  std::string s;
  long double f = 0;
};

bool row_less(const Row& a, const Row& b) {
  if (a.i != b.i) return a.i < b.i;
  if (const int c = a.s.compare(b.s); c != 0) return c < 0;
  return a.f < b.f;
}

std::vector<Row> rows_in_order(int order) {
  std::mt19937 rng(42);
  std::vector<Row> rows(kRecords);
  for (Row& r : rows) {
    if (order == 3) {
      r = {7, "the same twenty byte", 1.5L};
      continue;
    }
    r.i = static_cast<std::int32_t>(rng() % 1000);
    r.s.resize(20);
    for (char& c : r.s) c = static_cast<char>('a' + rng() % 26);
    r.f = static_cast<long double>(rng()) / 1000.0L;
  }
  if (order == 1) std::stable_sort(rows.begin(), rows.end(), row_less);
  if (order == 2) {
    std::stable_sort(rows.begin(), rows.end(), row_less);
    std::reverse(rows.begin(), rows.end());
  }
  return rows;
}

// The rows as a game block of one table, which each iteration loads afresh.
std::vector<std::uint8_t> table_block(const std::vector<Row>& rows) {
  TDBManager m;
  TDBTable& t = m.create("t", false);
  t.add_field("i", DBFieldType::Integer);
  t.add_field("s", DBFieldType::String, 20);
  t.add_field("f", DBFieldType::Float);
  for (const Row& r : rows) {
    const std::int32_t rec = t.append();
    t.set_int(rec, 0, r.i);
    t.set_str(rec, 1, r.s);
    t.set_float(rec, 2, r.f);
  }
  core::ByteWriter w;
  m.save(w, TDBManager::Form::Game);
  return w.take();
}

void BM_SortPaired(benchmark::State& state) {
  const std::vector<Row> rows = rows_in_order(static_cast<int>(state.range(0)));
  const std::vector<std::uint8_t> block = table_block(rows);
  const data::DBSortKey keys[] = {{0, false}, {1, false}, {2, false}};
  bench::PairedTimes times;
  for (auto _ : state) {
    TDBManager m;
    core::ByteReader r(block);
    m.load(r, TDBManager::Form::Game);
    std::vector<Row> copy = rows;
    TDBTable& t = *m.find("t");
    times.time([&] { t.sort(keys); },
               [&] { std::stable_sort(copy.begin(), copy.end(), row_less); });
    if (*t.get_int(0, 0) != copy.front().i || *t.get_str(kRecords - 1, 1) != copy.back().s) fail("orders differ");
  }
  state.counters["ratio"] = times.ratio();
}
BENCHMARK(BM_SortPaired)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->ArgName("order")->Unit(benchmark::kMillisecond);

// A table of 100,000 records with unique integers and texts in mixed case,
// and the 1,000 keys searched for.
struct SearchData {
  TDBManager m;
  std::vector<std::int32_t> ints;
  std::vector<std::string> texts;
  std::vector<std::int32_t> wanted;
  SearchData() {
    std::mt19937 rng(7);
    TDBTable& t = m.create("t", false);
    t.add_field("i", DBFieldType::Integer);
    t.add_field("s", DBFieldType::String, 20);
    for (int k = 0; k < kRecords; ++k) {
      const std::int32_t rec = t.append();
      ints.push_back(k * 3 + 1);
      std::string s = (k % 2 ? "Item" : core::sjis("ＩＴＥＭ")) + std::to_string(k);
      texts.push_back(s);
      t.set_int(rec, 0, ints.back());
      t.set_str(rec, 1, s);
    }
    for (int k = 0; k < 1000; ++k) wanted.push_back(static_cast<std::int32_t>(rng() % kRecords));
  }
};

SearchData& search_data() {
  static SearchData d;
  return d;
}

void BM_SearchIntPaired(benchmark::State& state) {
  SearchData& d = search_data();
  const TDBTable& t = *d.m.find("t");
  expr::TParamStr names("I");
  expr::TParamInt value(0);
  const data::DBCriteria c{&names, &value, false, false};
  // The first two searches scan and build the index.
  for (int k = 0; k < 2; ++k) data::find_records(t, c, data::DBFindMode::First);
  bench::PairedTimes times;
  for (auto _ : state) {
    times.time(
        [&] {
          for (std::int32_t w : d.wanted) {
            value.set_int(d.ints[static_cast<std::size_t>(w)]);
            if (data::find_first(t, c) != w) fail("the index missed a key");
          }
        },
        [&] {
          for (std::int32_t w : d.wanted) {
            const auto at = std::find(d.ints.begin(), d.ints.end(), d.ints[static_cast<std::size_t>(w)]);
            benchmark::DoNotOptimize(at);
          }
        });
  }
  if (!t.search_cache().built) fail("no index");
  state.counters["ratio"] = times.ratio();
  state.counters["scan_ms"] = times.theirs * 1000.0 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SearchIntPaired)->Unit(benchmark::kMillisecond);

void BM_SearchTextPaired(benchmark::State& state) {
  SearchData& d = search_data();
  const TDBTable& t = *d.m.find("t");
  expr::TParamStr names("s");
  expr::TParamStr value("");
  const data::DBCriteria c{&names, &value, true, false};
  for (int k = 0; k < 2; ++k) data::find_records(t, c, data::DBFindMode::First);
  // The keys in the other case, so the fold has work to do.
  std::vector<std::string> keys;
  for (std::int32_t w : d.wanted) keys.push_back(core::upper(d.texts[static_cast<std::size_t>(w)]));
  bench::PairedTimes times;
  for (auto _ : state) {
    times.time(
        [&] {
          for (std::size_t k = 0; k < keys.size(); ++k) {
            value.set_str(keys[k]);
            if (data::find_first(t, c) != d.wanted[k]) fail("the index missed a text");
          }
        },
        [&] {
          for (const std::string& key : keys) {
            const auto at = std::find_if(d.texts.begin(), d.texts.end(),
                                         [&key](const std::string& s) { return core::equal_ci(s, key); });
            benchmark::DoNotOptimize(at);
          }
        });
  }
  if (!t.search_cache().built) fail("no index");
  state.counters["ratio"] = times.ratio();
  state.counters["scan_ms"] = times.theirs * 1000.0 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SearchTextPaired)->Unit(benchmark::kMillisecond)->Iterations(3);

std::string tsv_text() {
  std::mt19937 rng(3);
  // "表" is 0x95 0x5C and "ソ" 0x83 0x5C: trail bytes that are no backslash.
  const std::string kanji = core::sjis("表ソ漢字");
  std::string out = "id int\tname str 20\tnote str 60\ton bool\trate float\r\n";
  for (int k = 0; k < kRecords; ++k) {
    out += std::to_string(k) + '\t';
    for (int c = 0; c < 20; ++c) out += static_cast<char>('a' + rng() % 26);
    out += '\t';
    std::string note;
    while (note.size() < 54) note += kanji.substr((rng() % 4) * 2, 2);
    note += "\\n" + std::to_string(rng() % 100);
    out += note + '\t' + (rng() % 2 ? "TRUE" : "FALSE") + '\t' + expr::float_text(rng() / 1024.0L) + "\r\n";
  }
  return out;
}

void BM_LoadTsvPaired(benchmark::State& state) {
  const std::string text = tsv_text();
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  bench::PairedTimes times;
  for (auto _ : state) {
    TDBManager m;
    TDBTable& t = m.create("t", false);
    std::size_t fields_seen = 0;
    times.time(
        [&] {
          if (!data::load_tsv(t, bytes)) fail("the table did not load");
        },
        [&] {
          std::vector<std::string> fields;
          std::size_t start = 0;
          while (start < text.size()) {
            std::size_t end = text.find_first_of("\r\n", start);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(start, end - start);
            fields.clear();
            std::size_t from = 0;
            for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1) {
              fields.push_back(line.substr(from, tab - from));
            }
            fields.push_back(line.substr(from));
            fields_seen += fields.size();
            start = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
          }
        });
    if (t.record_count() != kRecords || fields_seen != 5u * (kRecords + 1)) fail("the sides read different lines");
  }
  state.counters["ratio"] = times.ratio();
  state.counters["megabytes"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(BM_LoadTsvPaired)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
