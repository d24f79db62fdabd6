// The hand-written statement matchers against the standard regular
// expression engine: on samples and on generated texts both find the same
// leftmost match with the same groups, and the same last match.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <utility>

#include "mod_gcode/GCCode/MacroPattern.h"

namespace quillet::test {
namespace {

namespace mp = macro_pattern;

struct PatternCase {
  mp::SearchFn search;
  std::size_t groups;
  std::string alphabet;  // characters the generated texts are made of
  const char* regex;
  std::vector<std::string> samples;
};

void Compare(const PatternCase& pc, const std::regex& re, const std::string& text, std::size_t from) {
  SCOPED_TRACE(std::string(pc.regex) + " on \"" + text + "\" from " + std::to_string(from));
  const std::u16string wide(text.begin(), text.end());
  auto search = [&](std::size_t pos, std::smatch& m) {
    return std::regex_search(text.begin() + static_cast<std::ptrdiff_t>(pos), text.end(), m, re,
                             pos > 0 ? std::regex_constants::match_prev_avail : std::regex_constants::match_default);
  };
  std::smatch want;
  mp::Match got;
  ASSERT_EQ(pc.search(wide, from, got), search(from, want));
  for (std::size_t g = 0; !want.empty() && g <= pc.groups; ++g) {
    ASSERT_EQ(got.groups[g].matched, want[g].matched) << "group " << g;
    if (!want[g].matched) continue;
    EXPECT_EQ(std::pair(got.groups[g].pos, got.groups[g].len),
              std::pair(from + static_cast<std::size_t>(want.position(g)), static_cast<std::size_t>(want.length(g))))
        << "group " << g;
  }
  // The last match, searching on from where each match ended.
  std::size_t pos = 0, lastPos = 0, lastLen = 0;
  bool found = false;
  for (std::smatch m; pos <= text.size() && search(pos, m); pos = lastPos + lastLen) {
    found = true;
    lastPos = pos + static_cast<std::size_t>(m.position(0));
    lastLen = static_cast<std::size_t>(m.length(0));
  }
  mp::Match last;
  ASSERT_EQ(mp::CollectLastMatchGroups(pc.search, wide, last), found);
  if (!found) return;
  EXPECT_EQ(std::pair(last.groups[0].pos, last.groups[0].len), std::pair(lastPos, lastLen));
}

TEST(MacroPattern, MatchesLikeTheRegexEngine) {
  // clang-format off
  const PatternCase cases[] = {
      {mp::SearchCondition, 3, "[]#1 2GTEQLxe+-*/.  ]]",
       R"(([\[*#A-Za-z0-9\+\-\*\/\.]+\]*)(?:\s*)([A-Z]{2})(?:\s*)([\[*#A-Za-z0-9\+\-\*\/\.]+\]+))",
       {"[[#1+1] LT [#2*2]]", "[#1GTE10]", "[#1 EQ #2]]", "[a GT b] [c LT d]", "EQ]", "[SIN[30] GE 0.5]"}},
      {mp::SearchIf, 9, "IFGOTHEN [ ]#1=+,5x\r",
       R"(([a-zA-Z]+)(\s*)(\[.+\])(\s*)([a-zA-Z]+)(\s*)((\d+)|([\[*#A-Za-z0-9\+\-\*\/\.\=\]*]+)))",
       {"N10 IF [#1 EQ 1] THEN #2=5,#3=6", "IF [#1 EQ 1] GOTO", "IF[#1GT#2]GOTO#3", "IF [1] GOTO 10ABC IF [2] GO 5",
        "IF [#1 EQ 1]\r GOTO 5", "XIF [1] GO 2"}},
      {mp::SearchWhile, 4, "WHDO [ ]#1<3\r\n", R"(([A-Za-z\s]+)(\[.+\])([A-Za-z\s]+)(\d+))",
       {"N10 WHILE [#1 LT 3] DO 12", "WHILE [#1 LT 3] 1", "WH [1] DO2 [3] DO4", "WHILE [a\r] DO1"}},
      {mp::SearchEnd, 2, "END 12X\r", R"(([A-Za-z\s]+)(\d+))", {"N20 END 2", "END1 X10", "END"}},
      {mp::SearchAssignment, 2, "#P|12345=-[]xS ,", R"(([#|P][0-9]{1,4})=(-?[A-Za-z0-9#\+\-\*\/\.\[\]]+))",
       {"#12=#1*2", "#12345=1", "#1=#2=3", "P12=-3", "|7=[#1]", "#1 = 5", "#1=-"}},
      {mp::SearchAtan, 2, "[]/1#+\r", R"((\[.+\])/(\[.+\]))",
       {"ATAN[1]/[2]+[3]", "[1]/[2]/[3]", "ATAN[1]/[1\r]/[2]", "[]/[]", "[1]/[]x]"}},
  };
  // clang-format on
  std::mt19937 rng(20240611);
  for (const PatternCase& pc : cases) {
    const std::regex re(pc.regex, std::regex::ECMAScript);
    for (const std::string& s : pc.samples)
      for (std::size_t from = 0; from <= s.size(); ++from) Compare(pc, re, s, from);
    std::uniform_int_distribution<std::size_t> pick(0, pc.alphabet.size() - 1);
    for (std::size_t n = 0; n < 6000 && !::testing::Test::HasFatalFailure(); ++n) {
      // Odd: letters of the alphabet; even: a sample with three letters changed.
      std::string s = n % 2 ? std::string(rng() % 19, ' ') : pc.samples[n / 2 % pc.samples.size()];
      for (std::size_t k = 0; k < (n % 2 ? s.size() : 3) && !s.empty(); ++k)
        s[n % 2 ? k : rng() % s.size()] = pc.alphabet[pick(rng)];
      Compare(pc, re, s, s.empty() ? 0 : rng() % s.size());
    }
  }
}

}  // namespace
}  // namespace quillet::test
