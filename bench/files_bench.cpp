// Archive reading.
//
// OpenDirectory10k: opening an archive of 10,000 entries (the directory read
// through the buffered reader, the names hashed).
//
// ReadAllEntries: reading every entry of an archive of about 200 MB, about
// 70 % of it compressed picture-like entries and 30 % stored media entries,
// through the collection (file reads, inflating into a reused buffer), with
// libdeflate and with zlib. The baseline, measured in the same run, is
// zlib's uncompress of the compressed entries' bytes already in memory, into
// buffers of the known size, plus a memcpy of the stored entries' bytes.
// Compare the times: baseline / ours is the speed-up.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "files/archive.h"
#include "files/big_stream.h"
#include "platform/system.h"

namespace {

namespace fs = std::filesystem;
using namespace nova::files;

fs::path bench_folder() {
  static const fs::path folder = [] {
    fs::path p = fs::temp_directory_path() / ("nova-bench-files-" + std::to_string(::getpid()));
    fs::create_directories(p);
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(fs::temp_directory_path() / ("nova-bench-files-" + std::to_string(::getpid())), ec);
    });
    return p;
  }();
  return folder;
}

std::uint32_t lcg(std::uint32_t& s) { return s = s * 1664525u + 1013904223u; }

// A 24-bit picture of flat bands with grain on every other pixel: like
// rendered art, zlib at level 1 packs it to about a third.
std::string picture(int index) {
  const int w = 640, h = 480;
  std::string px(static_cast<std::size_t>(w * h * 3), '\0');
  std::uint32_t s = static_cast<std::uint32_t>(index) * 2654435761u + 1;
  const int a = static_cast<int>(lcg(s) % 7) + 1, b = static_cast<int>(lcg(s) % 5) + 1;
  std::size_t k = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t r = lcg(s);
      const int grain = (r & 1) == 0 ? static_cast<int>(r >> 30) : 0;
      px[k++] = static_cast<char>(((x / 16) * a + (y / 4) * b + grain) & 0xFF);
      px[k++] = static_cast<char>(((x / 24) * b + y / 6 + grain) & 0xFF);
      px[k++] = static_cast<char>(((x + y) / 32 + index) & 0xFF);
    }
  }
  return px;
}

std::string media(int index, std::size_t n) {
  std::string m(n, '\0');
  std::uint32_t s = static_cast<std::uint32_t>(index) + 77;
  for (std::size_t i = 0; i + 4 <= n; i += 4) {
    std::uint32_t v = lcg(s);
    std::memcpy(&m[i], &v, 4);
  }
  return m;
}

const fs::path& directory_archive() {
  static const fs::path path = [] {
    fs::path p = bench_folder() / "directory.dat";
    TVrFileCollection c;
    for (int i = 0; i < 10000; ++i) {
      char name[64];
      std::snprintf(name, sizeof name, "cg\\scene%03d\\image%05d.bri", i / 100, i);
      c.AddMemoryFile(name, as_bytes(std::string(static_cast<std::size_t>(16 + i % 50), 'x')));
    }
    TKvBigFileStream out(p, file_mode::kCreate);
    c.Write(out);
    return p;
  }();
  return path;
}

const fs::path& content_archive() {
  static const fs::path path = [] {
    fs::path p = bench_folder() / "content.dat";
    TVrFileCollection c;
    // About 140 MB of compressed pictures and 60 MB of stored media.
    for (int i = 0; i < 450; ++i) c.AddMemoryFile("cg\\" + std::to_string(i) + ".bmp", as_bytes(picture(i)));
    for (int i = 0; i < 12; ++i) {
      c.AddMemoryFile("bgm\\" + std::to_string(i) + ".ogg",
                      as_bytes(media(i, static_cast<std::size_t>(kArchiveLimit))));
    }
    TKvBigFileStream out(p, file_mode::kCreate);
    c.Write(out);
    return p;
  }();
  return path;
}

void BM_OpenDirectory10k(benchmark::State& state) {
  const fs::path& p = directory_archive();
  for (auto _ : state) {
    TVrFileCollection c;
    c.Open(p);
    benchmark::DoNotOptimize(c.Count());
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_OpenDirectory10k)->Unit(benchmark::kMillisecond);

void read_all_entries(benchmark::State& state, InflateBackend backend) {
  ArchiveOptions options;
  options.inflate = backend;
  TVrFileCollection c(options);
  c.Open(content_archive());
  MemoryBlock out;
  std::int64_t bytes = 0, stored = 0;
  for (auto _ : state) {
    bytes = stored = 0;
    for (int i = 0; i < c.Count(); ++i) {
      const TVrFile& f = c.At(i);
      c.ReadEntry(f, out);
      bytes += static_cast<std::int64_t>(out.size());
      stored += f.length;
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["archive_MB"] = static_cast<double>(stored) / 1e6;
}

void BM_ReadAllEntries_Libdeflate(benchmark::State& state) { read_all_entries(state, InflateBackend::Libdeflate); }
void BM_ReadAllEntries_Zlib(benchmark::State& state) { read_all_entries(state, InflateBackend::Zlib); }

void BM_ReadAllEntries_Baseline(benchmark::State& state) {
  // The entries' stored bytes in memory, with their inflated sizes known.
  TVrFileCollection c;
  c.Open(content_archive());
  struct Held {
    MemoryBlock bytes;
    bool stored;
    std::size_t size;
  };
  std::vector<Held> held;
  for (int i = 0; i < c.Count(); ++i) {
    const TVrFile& f = c.At(i);
    if (f.IsSentinel()) continue;
    Held h;
    c.ReadStored(f, h.bytes);
    h.stored = f.stored;
    MemoryBlock data;
    c.ReadEntry(f, data);
    h.size = data.size();
    held.push_back(std::move(h));
  }
  std::size_t largest = 0;
  for (const auto& h : held) largest = std::max(largest, h.size);
  std::vector<std::uint8_t> out(largest);
  std::int64_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (const auto& h : held) {
      if (h.stored) {
        std::memcpy(out.data(), h.bytes.data(), h.bytes.size());
      } else {
        uLongf n = static_cast<uLongf>(h.size);
        if (uncompress(out.data(), &n, h.bytes.data(), static_cast<uLong>(h.bytes.size())) != Z_OK) {
          state.SkipWithError("uncompress failed");
          return;
        }
      }
      bytes += static_cast<std::int64_t>(h.size);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(state.iterations() * bytes);
}

BENCHMARK(BM_ReadAllEntries_Baseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAllEntries_Zlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAllEntries_Libdeflate)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
