// The text patterns of the macro statements, matched by hand.
//
// Each search function finds the leftmost match of one fixed pattern at or
// after a start position, with the groups that an ECMAScript regular
// expression engine would report for it (greedy quantifiers, backtracking in
// priority order). Writing them out keeps macro lines cheap in loops that
// run them many times: no regular-expression engine, no allocation.
//
//   condition  ([\[*#A-Za-z0-9\+\-\*\/\.]+\]*)(?:\s*)([A-Z]{2})(?:\s*)([\[*#A-Za-z0-9\+\-\*\/\.]+\]+)
//   IF         ([a-zA-Z]+)(\s*)(\[.+\])(\s*)([a-zA-Z]+)(\s*)((\d+)|([\[*#A-Za-z0-9\+\-\*\/\.\=\]*]+))
//   WHILE      ([A-Za-z\s]+)(\[.+\])([A-Za-z\s]+)(\d+)
//   END        ([A-Za-z\s]+)(\d+)
//   assignment ([#|P][0-9]{1,4})=(-?[A-Za-z0-9#\+\-\*\/\.\[\]]+)
//   ATAN       (\[.+\])/(\[.+\])
//
// "\s" is the ASCII white space (space, tab, LF, VT, FF, CR); "." is any
// character but a line terminator (LF, CR, U+2028, U+2029).
#pragma once
#include <array>
#include <cstddef>

#include "mod_gcode/GCCode/TextUtil.h"

namespace quillet::macro_pattern {

struct Group {
  std::size_t pos = 0;
  std::size_t len = 0;
  bool matched = false;
  WStringView In(WStringView text) const { return matched ? text.substr(pos, len) : WStringView(); }
};

// Group 0 is the whole match; groups 1 to 9 as numbered in the pattern.
struct Match {
  std::array<Group, 10> groups{};
  std::size_t End() const { return groups[0].pos + groups[0].len; }
  WStringView Get(WStringView text, std::size_t group) const { return groups[group].In(text); }
};

using SearchFn = bool (*)(WStringView text, std::size_t from, Match& match);

bool SearchCondition(WStringView text, std::size_t from, Match& match);
bool SearchIf(WStringView text, std::size_t from, Match& match);
bool SearchWhile(WStringView text, std::size_t from, Match& match);
bool SearchEnd(WStringView text, std::size_t from, Match& match);
bool SearchAssignment(WStringView text, std::size_t from, Match& match);
bool SearchAtan(WStringView text, std::size_t from, Match& match);

// Searches again and again, each search starting where the previous match
// ended; `last` receives the last match. False when there was none.
bool CollectLastMatchGroups(SearchFn search, WStringView text, Match& last);

// The number of "[" minus the number of "]".
int BracketBalance(WStringView text);

// The first run of ASCII letters in the text (empty when there is none).
WStringView FirstLetterRun(WStringView text);

}  // namespace quillet::macro_pattern
