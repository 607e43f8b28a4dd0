// The page decompiler: a page file back to page source (the language of
// page_compiler.h).
//
// Every expression is shown as text found by the expression decompiler and
// checked by compiling it as the page compiler will; every text command's
// glyph stream as tagged text checked by parsing it again. What has no such
// text is written as a raw value and counted.
//
// Plain dumps give source that builds an equivalent page: the same
// commands, fields, nesting and indexes. Exact dumps keep, besides, what
// cannot be derived from the source (line numbers, nesting levels that the
// indentation does not give, indexes that match no label or loop, property
// sets beyond what the commands use, the version, bytes after the commands),
// and are checked by building them: the result is the page's own bytes.
#pragma once

#include <string>
#include <string_view>

#include "script/page_file.h"
#include "tools/toolchain/page_compiler.h"

namespace nova::tools {

struct PageDumpOptions {
  bool exact = false;
  bool ops = false;                    // the operations of every expression, as comments
  std::string page_name;               // the page's own name (Shift-JIS)
  const TitleLabels* title = nullptr;  // the other pages' labels, when known
  // The most compilations the search for one expression's text makes.
  int expression_budget = 20000;
};

struct PageDumpStats {
  int expressions = 0;
  int raw_expressions = 0;  // kept as raw bytes
  int texts = 0;
  int raw_texts = 0;
  // Exact dumps only: whether building the source gave the page's bytes.
  bool verified = false;
};

// The page source (UTF-8).
std::string dump_page(const script::TPageFile& page, const PageDumpOptions& options, PageDumpStats& stats);

// The labels of a page: each Label command's name with the index of the
// first Label command of that name.
std::map<std::string, int> page_labels(const script::TPageFile& page);

}  // namespace nova::tools
