#pragma once
// Reading a script through before it runs, for the lines that will not do
// what they look like they do: a mistyped keyword (shown, nothing else), a
// rate that is none (taken as 9600), a statement short of fields, a number
// that would end the run halfway. The language stays as it is; the check
// only tells, so that a technician learns it before the drive is touched.
#include <cstddef>
#include <string>
#include <vector>

namespace qv {

struct ScriptNote {
  size_t line = 0;        // counted from 1, as an editor counts
  std::string statement;  // the line as QuotedLine shows it: "LEVL/T"
  std::string text;       // "LEVL is not a keyword (LEVEL?); the line is shown and does nothing"
};

std::vector<ScriptNote> CheckScript(const std::vector<std::string>& lines);

// "line 3 (LEVL/T): LEVL is not a keyword (LEVEL?); the line is shown and does nothing"
std::string NoteLine(const ScriptNote& note);

// A script line as a message names it: trimmed, a long one cut (never inside
// a character) and ended with "...".
std::string QuotedLine(const std::string& line);

// What the check finds wrong with one line, naming the field ("the block
// count is missing"), for an error that ends the run there; empty when the
// check finds nothing.
std::string WhatIsWrongWith(const std::string& line);

}  // namespace qv
