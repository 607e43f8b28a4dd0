// The first stage of the tag language: cutting a text into tokens, each
// either a tag ("<...>") or a run of text.
//
// The text arrives as lines joined with a CR between them, and is scanned
// one character at a time: a double-byte character is taken whole before any
// rule looks at it, so a trail byte 0x5C is never a backslash and a trail
// byte 0x7C never a delimiter. The rules, in the order they are tried:
//   in a quote      every byte but CR, LF and TAB; '"' ends the quote
//   raw blocks      "<!--", "<SCRIPT", "<STYLE" open (nesting), "-->",
//                   "</SCRIPT>", "</STYLE>" close; the whole block is one token
//   '<'             opens a tag (a text token before it is emitted)
//   '>'             in a tag: closes it at depth 0 and emits it; PRE and
//                   TEXTAREA tags switch their modes, and a script tag that
//                   is no raw block ("<\SCRIPT>") counts script text up or
//                   down
//   '\'             before one of " % < > \ { } stands for that character;
//                   dropped before anything else
//   CR              in PRE, TEXTAREA or script text (outside tags) ends the
//                   token, and PRE adds "<BR>"; elsewhere it becomes one
//                   space unless the byte before it is a space
//   0x14            a space (not doubled outside PRE, TEXTAREA and scripts)
//   TAB             eight spaces in PRE, TEXTAREA and scripts, else dropped
//   '"'             itself, and a quote begins
//   other bytes     themselves; a space never follows a space in a token
// A lead byte at the very end of the text is half a character and dropped.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nova::text {

// Splits a text into lines at CR LF, CR or LF; a break at the very end adds
// no empty line (so "a\r\n" is one line). A lead byte always takes the byte
// after it with it.
std::vector<std::string> split_lines(std::string_view text);

// The lines joined with a CR between them.
std::string join_lines(std::span<const std::string> lines);

struct Token {
  std::string text;
  // The token was cut as markup: a tag, a raw block, or the "<BR>" that PRE
  // adds. A text token is never taken for a tag, even when escapes gave it
  // the shape of one ("\<B>" shows "<B>").
  bool markup = false;

  bool operator==(const Token&) const = default;
};

// The tokens of a joined text, in order; none for an empty text.
std::vector<Token> tokenize(std::string_view joined);

// Whether a token is a tag: markup, longer than two bytes, beginning with '<'
// and ending with a '>' that is a character of its own (not a trail byte).
bool is_tag(const Token& token);

}  // namespace nova::text
