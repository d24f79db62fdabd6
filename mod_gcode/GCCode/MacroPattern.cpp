#include "mod_gcode/GCCode/MacroPattern.h"

namespace quillet::macro_pattern {

namespace {

constexpr std::size_t npos = WStringView::npos;

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool IsUpper(char16_t c) { return c >= u'A' && c <= u'Z'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool IsLineTerminator(char16_t c) { return c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029; }
bool IsLetterOrSpace(char16_t c) { return IsLetter(c) || IsSpace(c); }

// [\[*#A-Za-z0-9\+\-\*\/\.]: an operand character of a condition.
bool IsOperandChar(char16_t c) {
  return IsLetter(c) || IsDigit(c) || c == u'[' || c == u'*' || c == u'#' || c == u'+' || c == u'-' || c == u'/' ||
         c == u'.';
}
// The same with "=" and "]": a character of an IF target statement.
bool IsTargetChar(char16_t c) { return IsOperandChar(c) || c == u'=' || c == u']'; }
// [A-Za-z0-9#\+\-\*\/\.\[\]]: a character of an assigned value.
bool IsValueChar(char16_t c) { return IsOperandChar(c) || c == u']'; }

template <typename Pred>
std::size_t RunEnd(WStringView text, std::size_t i, Pred pred) {
  while (i < text.size() && pred(text[i])) ++i;
  return i;
}

void Set(Match& m, std::size_t group, std::size_t begin, std::size_t end) {
  m.groups[group] = Group{begin, end - begin, true};
}

void Reset(Match& m) { m.groups.fill(Group{}); }

// End of the ".+" run that may follow position i (the first line terminator
// or the end of the text).
std::size_t DotRunEnd(WStringView text, std::size_t i) {
  return RunEnd(text, i, [](char16_t c) { return !IsLineTerminator(c); });
}

// Condition, tail after group 1 ends at g: \s* [A-Z]{2} \s* X+ \]+.
bool ConditionTail(WStringView text, std::size_t s, std::size_t g, Match& m) {
  const std::size_t n = text.size();
  std::size_t a = RunEnd(text, g, IsSpace);
  if (a + 1 >= n || !IsUpper(text[a]) || !IsUpper(text[a + 1])) return false;
  std::size_t q = RunEnd(text, a + 2, IsSpace);
  std::size_t e = RunEnd(text, q, IsOperandChar);
  if (e == q || e >= n || text[e] != u']') return false;
  std::size_t f = RunEnd(text, e, [](char16_t c) { return c == u']'; });
  Reset(m);
  Set(m, 0, s, f);
  Set(m, 1, s, g);
  Set(m, 2, a, a + 2);
  Set(m, 3, q, f);
  return true;
}

// IF, tail after the condition's "]" at c: (\s*)([a-zA-Z]+)(\s*)((\d+)|(T+)).
bool IfTail(WStringView text, std::size_t c, Match& m) {
  const std::size_t n = text.size();
  std::size_t u = RunEnd(text, c + 1, IsSpace);
  std::size_t w = RunEnd(text, u, IsLetter);
  if (w == u) return false;
  std::size_t wordEnd = w;
  std::size_t q = RunEnd(text, w, IsSpace);
  if (q >= n || !(IsDigit(text[q]) || IsTargetChar(text[q]))) {
    // The word gives back its last letter, which starts the target.
    if (w - u < 2) return false;
    wordEnd = w - 1;
    q = wordEnd;
  }
  Set(m, 4, c + 1, u);
  Set(m, 5, u, wordEnd);
  Set(m, 6, wordEnd, q);
  if (IsDigit(text[q])) {
    std::size_t d = RunEnd(text, q, IsDigit);
    Set(m, 7, q, d);
    Set(m, 8, q, d);
  } else {
    std::size_t t = RunEnd(text, q, IsTargetChar);
    Set(m, 7, q, t);
    Set(m, 9, q, t);
  }
  return true;
}

}  // namespace

bool SearchCondition(WStringView text, std::size_t from, Match& m) {
  const std::size_t n = text.size();
  std::size_t s = from;
  while (s < n) {
    if (!IsOperandChar(text[s])) {
      ++s;
      continue;
    }
    // Group 1 is X+ then \]*: first the whole run with all its "]", then
    // ever shorter runs without "]". A start inside the same run can only
    // try a subset of these ends, so a failure skips the run.
    std::size_t x = RunEnd(text, s, IsOperandChar);
    std::size_t y = RunEnd(text, x, [](char16_t c) { return c == u']'; });
    if (ConditionTail(text, s, y, m)) return true;
    for (std::size_t g = x - 1; g > s; --g)
      if (ConditionTail(text, s, g, m)) return true;
    s = x;
  }
  return false;
}

bool SearchIf(WStringView text, std::size_t from, Match& m) {
  const std::size_t n = text.size();
  std::size_t s = from;
  while (s < n) {
    if (!IsLetter(text[s])) {
      ++s;
      continue;
    }
    std::size_t l = RunEnd(text, s, IsLetter);
    std::size_t a = RunEnd(text, l, IsSpace);
    if (a < n && text[a] == u'[') {
      std::size_t d = DotRunEnd(text, a + 1);
      // ".+" is greedy: the last "]" first.
      for (std::size_t c = d; c-- > a + 2;) {
        if (text[c] != u']') continue;
        Reset(m);
        if (IfTail(text, c, m)) {
          Set(m, 1, s, l);
          Set(m, 2, l, a);
          Set(m, 3, a, c + 1);
          m.groups[0] = Group{s, m.groups[7].pos + m.groups[7].len - s, true};
          return true;
        }
      }
    }
    s = l;
  }
  return false;
}

bool SearchWhile(WStringView text, std::size_t from, Match& m) {
  const std::size_t n = text.size();
  std::size_t s = from;
  while (s < n) {
    if (!IsLetterOrSpace(text[s])) {
      ++s;
      continue;
    }
    std::size_t r = RunEnd(text, s, IsLetterOrSpace);
    if (r < n && text[r] == u'[') {
      std::size_t d = DotRunEnd(text, r + 1);
      for (std::size_t c = d; c-- > r + 2;) {
        if (text[c] != u']') continue;
        std::size_t k = RunEnd(text, c + 1, IsLetterOrSpace);
        if (k == c + 1 || k >= n || !IsDigit(text[k])) continue;
        std::size_t e = RunEnd(text, k, IsDigit);
        Reset(m);
        Set(m, 0, s, e);
        Set(m, 1, s, r);
        Set(m, 2, r, c + 1);
        Set(m, 3, c + 1, k);
        Set(m, 4, k, e);
        return true;
      }
    }
    s = r;
  }
  return false;
}

bool SearchEnd(WStringView text, std::size_t from, Match& m) {
  const std::size_t n = text.size();
  std::size_t s = from;
  while (s < n) {
    if (!IsLetterOrSpace(text[s])) {
      ++s;
      continue;
    }
    std::size_t r = RunEnd(text, s, IsLetterOrSpace);
    if (r < n && IsDigit(text[r])) {
      std::size_t e = RunEnd(text, r, IsDigit);
      Reset(m);
      Set(m, 0, s, e);
      Set(m, 1, s, r);
      Set(m, 2, r, e);
      return true;
    }
    s = r;
  }
  return false;
}

bool SearchAssignment(WStringView text, std::size_t from, Match& m) {
  const std::size_t n = text.size();
  for (std::size_t s = from; s < n; ++s) {
    char16_t c = text[s];
    if (c != u'#' && c != u'|' && c != u'P') continue;
    std::size_t d = RunEnd(text, s + 1, IsDigit);
    std::size_t digits = d - (s + 1);
    // {1,4} then "=": a longer digit run leaves a digit where "=" must be.
    if (digits < 1 || digits > 4 || d >= n || text[d] != u'=') continue;
    std::size_t e = RunEnd(text, d + 1, IsValueChar);
    if (e == d + 1) continue;
    Reset(m);
    Set(m, 0, s, e);
    Set(m, 1, s, d);
    Set(m, 2, d + 1, e);
    return true;
  }
  return false;
}

bool SearchAtan(WStringView text, std::size_t from, Match& m) {
  const std::size_t n = text.size();
  std::size_t s = from;
  while (s < n) {
    if (text[s] != u'[') {
      ++s;
      continue;
    }
    std::size_t d = DotRunEnd(text, s + 1);
    // The second group's ".+" ends at the last "]" of the same run.
    std::size_t lastClose = npos;
    for (std::size_t c = d; c-- > s + 1;) {
      if (text[c] == u']') {
        lastClose = c;
        break;
      }
    }
    if (lastClose != npos) {
      for (std::size_t c = d; c-- > s + 2;) {
        if (text[c] != u']' || c + 2 >= n || text[c + 1] != u'/' || text[c + 2] != u'[') continue;
        if (lastClose < c + 4) continue;
        Reset(m);
        Set(m, 0, s, lastClose + 1);
        Set(m, 1, s, c + 1);
        Set(m, 2, c + 2, lastClose + 1);
        return true;
      }
    }
    // Every later start in the same run could only try fewer splits.
    s = d;
  }
  return false;
}

bool CollectLastMatchGroups(SearchFn search, WStringView text, Match& last) {
  Match m;
  bool found = false;
  std::size_t pos = 0;
  while (pos <= text.size() && search(text, pos, m)) {
    last = m;
    found = true;
    pos = m.End();
  }
  return found;
}

int BracketBalance(WStringView text) {
  int count = 0;
  for (char16_t c : text) {
    if (c == u'[') ++count;
    else if (c == u']') --count;
  }
  return count;
}

WStringView FirstLetterRun(WStringView text) {
  std::size_t s = 0;
  while (s < text.size() && !IsLetter(text[s])) ++s;
  std::size_t e = RunEnd(text, s, IsLetter);
  return text.substr(s, e - s);
}

}  // namespace quillet::macro_pattern
