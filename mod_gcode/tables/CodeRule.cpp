#include "mod_gcode/tables/CodeRule.h"

#include "mod_gcode/text/FileUtil.h"
#include "platform/Numbers.h"

namespace quillet {

void CCodeRuleEntry::SetGroup(const WString& text) {
  m_group = text;
  m_groupNumber = static_cast<short>(plat::ParseIntPrefix(text));
}

void CCodeRuleEntry::SetGlobalName(const WString& text) {
  m_globalname = text;
  m_globalNumber = static_cast<short>(plat::ParseIntPrefix(text));
}

CCodeRuleEntry CCodeRuleEntry::Empty() {
  CCodeRuleEntry e;
  e.m_codename.clear();
  e.m_codefunc.clear();
  e.m_globalname.clear();
  e.m_group = u"-1";
  e.m_groupNumber = -1;
  e.m_globalNumber = 0;
  e.m_address.clear();
  e.m_movable = 0;
  e.m_flag = 0;
  return e;
}

const CCodeRuleEntry& CCodeRuleTable::EmptyEntry() {
  static const CCodeRuleEntry empty = CCodeRuleEntry::Empty();
  return empty;
}

bool CCodeRuleTable::Load(WStringView relativePath) { return LoadFile(MakeExePath(relativePath)); }

bool CCodeRuleTable::LoadFile(const std::string& path) {
  m_entries.clear();
  m_byCode.clear();
  m_reading = CCodeRuleEntry();
  bool ok = ReadRuleFile(path, [this](const WString& k, const WString& v) { OnKey(k, v); });
  Finish();
  return ok;
}

void CCodeRuleTable::OnKey(const WString& key, const WString& value) {
  if (key == u"codename") m_reading.m_codename = value;
  else if (key == u"codefunc") m_reading.m_codefunc = value;
  else if (key == u"address") m_reading.m_address = value;
  else if (key == u"group") m_reading.SetGroup(value);
  else if (key == u"globalname") m_reading.SetGlobalName(value);
  else if (key == u"movable") {
    std::size_t used = 0;
    int v = plat::ParseIntPrefix(value, &used);
    m_reading.m_movable = (used > 0 && v == 1) ? 1 : 0;
  } else if (key == u"%") {
    m_entries.push_back(m_reading);
    m_byCode[m_reading.m_codename] = m_reading;
    m_reading = CCodeRuleEntry();
  }
}

void CCodeRuleTable::Finish() {
  m_lineNumberLetter.clear();
  std::size_t pos = 0;
  if (FindByFunction(u"linenumber", &pos)) m_lineNumberLetter = WideToAnsi(m_entries[pos].m_codename);
  BuildLetterCache();
}

CCodeRuleTable::CCodeRuleTable(const CCodeRuleTable& other)
    : m_reading(other.m_reading),
      m_entries(other.m_entries),
      m_lineNumberLetter(other.m_lineNumberLetter),
      m_byCode(other.m_byCode) {
  BuildLetterCache();
}

CCodeRuleTable& CCodeRuleTable::operator=(const CCodeRuleTable& other) {
  if (this != &other) {
    m_reading = other.m_reading;
    m_entries = other.m_entries;
    m_lineNumberLetter = other.m_lineNumberLetter;
    m_byCode = other.m_byCode;
    BuildLetterCache();
  }
  return *this;
}

// The cache points into this table's own map.
void CCodeRuleTable::BuildLetterCache() {
  for (std::size_t c = 0; c < m_letterCache.size(); ++c) {
    char16_t ch = static_cast<char16_t>(c);
    m_letterCache[c] = &FindByCode(WStringView(&ch, 1));
  }
}

WString CCodeRuleTable::NormaliseCode(WStringView code) {
  WString copy(code);
  if (copy.empty()) return copy;
  char16_t first = copy[0];
  switch (first) {
    case u'D': case u'F': case u'H': case u'T':
      if (copy.size() > 1 && copy[1] != u'I') copy.resize(1);
      break;
    case u'S':
      if (copy.size() > 1 && copy[1] != u'I' && copy[1] != u'Q') copy.resize(1);
      break;
    case u'G': case u'M':
      if (copy.size() == 2) copy.insert(1, 1, u'0');
      break;
    default:
      break;
  }
  return copy;
}

const CCodeRuleEntry& CCodeRuleTable::FindByCode(WStringView code) const {
  auto it = m_byCode.find(NormaliseCode(code));
  return it == m_byCode.end() ? EmptyEntry() : it->second;
}

const CCodeRuleEntry& CCodeRuleTable::FindByLetter(char16_t letter) const {
  if (letter < m_letterCache.size() && m_letterCache[letter]) return *m_letterCache[letter];
  return FindByCode(WStringView(&letter, 1));
}

const CCodeRuleEntry* CCodeRuleTable::FindExact(WStringView codename) const {
  auto it = m_byCode.find(WString(codename));
  return it == m_byCode.end() ? nullptr : &it->second;
}

WString CCodeRuleTable::NormaliseFunction(WStringView func) {
  WString copy(func);
  if (copy.empty()) return copy;
  if (copy[0] == u'G' || copy[0] == u'M') {
    if (copy.size() == 2) copy.insert(1, 1, u'0');
    return copy;
  }
  static const char16_t kLetters[] = u"ABCDEFGHIJKLMOPQRSTUVWXYZ";
  for (const char16_t* p = kLetters; *p; ++p) {
    if (copy[0] == *p) {
      copy.resize(1);
      break;
    }
  }
  return copy;
}

bool CCodeRuleTable::FindByFunction(WStringView func, std::size_t* position) const {
  WString f = NormaliseFunction(func);
  for (std::size_t i = 0; i < m_entries.size(); ++i) {
    if (m_entries[i].m_codefunc == f) {
      if (position) *position = i;
      return true;
    }
  }
  return false;
}

WString CCodeRuleTable::CodenameOfFunction(WStringView func) const {
  std::size_t pos = 0;
  return FindByFunction(func, &pos) ? m_entries[pos].m_codename : WString();
}

CCodeRuleEntry CCodeRuleTable::EntryOfFunction(WStringView func) const {
  std::size_t pos = 0;
  return FindByFunction(func, &pos) ? m_entries[pos] : CCodeRuleEntry::Empty();
}

const CCodeRuleEntry& CCodeRuleTable::FindByPrefix(WStringView text) const {
  for (const auto& e : m_entries)
    if (WStringView(e.m_codename).substr(0, text.size()) == text) return e;
  return EmptyEntry();
}

bool CCodeTips::Load(int language) {
  return LoadFile(MakeExePath(language != 0 ? u"coderule\\codetips_en.txt" : u"coderule\\codetips_cn.txt"));
}

bool CCodeTips::LoadFile(const std::string& path) {
  int number = 0;
  WString tip, fmt;
  return ReadTipsFile(path, [&](const WString& key, const WString& value) {
    if (key == u"nCodeName") number = plat::ParseIntPrefix(value);
    else if (key == u"Tip") tip = value;
    else if (key == u"Fmt") fmt = value;
    else if (key == u"%") m_tips[number] = CCodeTip{tip, fmt};
  });
}

int CCodeTips::CodeNumber(WStringView code) {
  if (code.empty() || code[0] != u'G') return -1;
  return plat::ParseIntPrefix(code.substr(1));
}

const WString& CCodeTips::GetFmt(WStringView code) {
  m_fmtResult.clear();
  int n = CodeNumber(code);
  if (n == -1) return m_fmtResult;
  auto it = m_tips.find(n);
  if (it != m_tips.end()) m_fmtResult = it->second.m_fmt;
  return m_fmtResult;
}

const WString& CCodeTips::GetTip(WStringView code) {
  m_tipResult.clear();
  int n = CodeNumber(code);
  if (n == -1) return m_tipResult;
  auto it = m_tips.find(n);
  // A code without a record has no tip (not a bare line end).
  if (it == m_tips.end()) return m_tipResult;
  m_tipResult = it->second.m_tip;
  WString next;
  // The next number counted in a wider type: n may be the largest int.
  for (long long k = n < 0 ? 0 : static_cast<long long>(n) + 1; k < 100; ++k) {
    auto jt = m_tips.find(static_cast<int>(k));
    if (jt != m_tips.end()) {
      next = jt->second.m_tip;
      break;
    }
  }
  m_tipResult += u"\r\n";
  m_tipResult += next;
  return m_tipResult;
}

}  // namespace quillet
