// Seeds for the archive directory fuzzer: archives of every version in every
// form, made by our writer (version 102) and by the tests' builder (the
// older versions, which our writer does not write).
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "../common/seeds.h"
#include "archive_builder.h"
#include "files/archive.h"
#include "fuzz_input.h"

using namespace nova;
namespace fs = std::filesystem;

namespace {

void save(const fs::path& folder, const std::string& name, fuzz::Form form, const std::string& body) {
  fuzz::write_seed(folder, name, static_cast<char>(form), body);
}

std::string written_by_us(bool with_big_entry) {
  files::TVrFileCollection c;
  c.AddMemoryFile("nova.npb", files::as_bytes("project settings project settings"), true);
  c.AddMemoryFile("bgm\\op.ogg", files::as_bytes(std::string(300, 'o')), false);
  c.AddMemoryFile("\x83\x5C\\x.bri", files::as_bytes("picture"), true);
  c.AddMemoryFile("empty", {}, true);
  if (with_big_entry) c.AddMemoryFile("big.mpg", files::as_bytes(std::string(files::kArchiveLimit, 'm')), true);
  files::TKvBigMemoryStream out;
  c.Write(out);
  return std::string(reinterpret_cast<const char*>(out.bytes().data()), out.bytes().size());
}

std::vector<test::RawEntry> raw_entries(int version) {
  std::vector<test::RawEntry> e(3);
  e[0] = {"a.txt", test::zlib_compress("alpha alpha alpha"), false, 0x58A15C21, 0, false};
  e[1] = {"b\\c.wav", "stored bytes", version >= 101, 0x58A15C22, 0, false};
  if (version < 101) e[1].data = test::zlib_compress(e[1].data);
  e[2] = {"d", "", version >= 101, 0, 0, false};
  for (auto& r : e) r.checksum = version >= 101 ? test::crc32_of(r.data) : 0;
  return e;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path folder = fuzz::seed_folder(argc, argv);
  if (folder.empty()) return 2;
  const std::string ours = written_by_us(false);
  save(folder, "ours_file", fuzz::Form::File, ours);
  save(folder, "ours_empty", fuzz::Form::File, test::build_archive(102, {}));
  std::string appended = std::string(
                             "\x7F"
                             "ELF",
                             4) +
                         std::string(60, 'P') + ours;
  std::uint32_t base = 64;
  appended.append(reinterpret_cast<const char*>(&base), 4);
  appended += "nv";
  save(folder, "ours_appended", fuzz::Form::Appended, appended);
  save(folder, "ours_resource", fuzz::Form::Resource, test::build_elf({{".nvres/BINTYPE/DUMMY", ours}}));
  for (int version : {0, 1, 100, 101, 102}) {
    const auto raw = raw_entries(version);
    const std::string v = std::to_string(version);
    save(folder, "v" + v + "_file", fuzz::Form::File, test::build_archive(version, raw));
    save(folder, "v" + v + "_appended", fuzz::Form::Appended, test::build_appended("MZ", version, raw));
    auto split = test::build_split_archive(version, raw);
    std::string body;
    body.push_back(static_cast<char>(split.directory.size() & 0xFF));
    body.push_back(static_cast<char>(split.directory.size() >> 8));
    body += split.directory + split.data;
    save(folder, "v" + v + "_split", fuzz::Form::Split, body);
  }
  return 0;
}
