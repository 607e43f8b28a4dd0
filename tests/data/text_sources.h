// A text source of the test's own: pages of text commands made from tagged
// text, pages that fail to read, and counts of what was asked.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "core/sjis.h"
#include "data/text_command_source.h"
#include "text/glyph_stream.h"
#include "text/tag_parser.h"
#include "text/tokenizer.h"

namespace nova::test {

class TestTextSource final : public data::TextCommandSource {
 public:
  // Command i of the page: a text command with that tagged text (UTF-8),
  // or, for nullopt, another command.
  void put(const std::string& page, const std::vector<std::optional<std::string>>& texts,
           std::int32_t initial_wait = 0) {
    Page& p = m_pages[core::upper(page)];
    p.streams.clear();
    for (const auto& t : texts) {
      if (!t) {
        p.streams.emplace_back();
        continue;
      }
      const std::vector<std::string> lines = text::split_lines(core::sjis(*t));
      p.streams.push_back(text::write_glyph_stream(text::parse_tagged_lines(lines, {initial_wait})));
    }
  }
  // A page whose file exists but does not read.
  void put_broken(const std::string& page) { m_pages[core::upper(page)].broken = true; }
  void remove(const std::string& page) { m_pages.erase(core::upper(page)); }

  bool exists(std::string_view page) override { return m_pages.count(core::upper(page)) != 0; }
  std::unique_ptr<data::TextCommandPage> load(std::string_view page) override {
    ++loads;
    const auto it = m_pages.find(core::upper(page));
    if (it == m_pages.end()) return nullptr;
    if (it->second.broken) core::throw_error(std::string(page) + ": not a page");
    return std::make_unique<Loaded>(it->second.streams);
  }

  int loads = 0;

 private:
  struct Page {
    std::vector<std::optional<std::vector<std::uint8_t>>> streams;
    bool broken = false;
  };
  class Loaded final : public data::TextCommandPage {
   public:
    explicit Loaded(std::vector<std::optional<std::vector<std::uint8_t>>> streams) : m_streams(std::move(streams)) {}
    std::int32_t command_count() const override { return static_cast<std::int32_t>(m_streams.size()); }
    std::optional<std::span<const std::uint8_t>> glyph_stream(std::int32_t i) const override {
      if (i < 0 || i >= command_count() || !m_streams[static_cast<std::size_t>(i)]) return std::nullopt;
      return std::span<const std::uint8_t>(*m_streams[static_cast<std::size_t>(i)]);
    }

   private:
    std::vector<std::optional<std::vector<std::uint8_t>>> m_streams;
  };
  std::map<std::string, Page> m_pages;
};

}  // namespace nova::test
