// The dialect's code rules (which codes exist, their modal group or rule
// type, the function that handles them) and the code tips.
#pragma once
#include <array>
#include <string>
#include <unordered_map>
#include <vector>

#include "mod_gcode/text/TextUtil.h"

namespace quillet {

// One code of the dialect as read from a rule file.
class CCodeRuleEntry {
 public:
  WString m_codename = u"G00";
  WString m_codefunc = u"GRT";
  WString m_group = u"-1";
  WString m_address;
  WString m_globalname = u"1";
  unsigned char m_movable = 1;
  unsigned char m_flag = 1;
  short m_groupNumber = -1;
  short m_globalNumber = 1;

  void SetGroup(const WString& text);
  void SetGlobalName(const WString& text);
  // The entry that lookups give when nothing matches.
  static CCodeRuleEntry Empty();
  bool IsEmpty() const { return m_codename.empty() && m_codefunc.empty(); }
  // Rule type: the number of the group text.
  short RuleType() const { return m_groupNumber; }
  // Rule number: the number of the globalname text.
  short RuleNumber() const { return m_globalNumber; }
};

class CCodeRuleTable {
 public:
  CCodeRuleTable() = default;
  // A copy answers from its own entries: its letter cache is rebuilt.
  CCodeRuleTable(const CCodeRuleTable& other);
  CCodeRuleTable& operator=(const CCodeRuleTable& other);

  // Reads the file at the executable's folder and the relative path. An
  // unreadable file leaves the table empty (after an alert).
  bool Load(WStringView relativePath);
  // Loads from an already resolved path.
  bool LoadFile(const std::string& path);

  // The entry of a code after normalisation (G1 -> G01, T12 -> T, ...); the
  // shared empty entry when none.
  const CCodeRuleEntry& FindByCode(WStringView code) const;
  // The same for a single letter, without building a text.
  const CCodeRuleEntry& FindByLetter(char16_t letter) const;
  // The entry of a whole code name, without normalisation (macro functions).
  const CCodeRuleEntry* FindExact(WStringView codename) const;
  // First entry (file order) whose function name matches after normalisation.
  bool FindByFunction(WStringView func, std::size_t* position = nullptr) const;
  WString CodenameOfFunction(WStringView func) const;
  CCodeRuleEntry EntryOfFunction(WStringView func) const;
  // First entry whose codename begins with the text.
  const CCodeRuleEntry& FindByPrefix(WStringView text) const;

  const std::vector<CCodeRuleEntry>& Entries() const { return m_entries; }
  const std::string& LineNumberLetter() const { return m_lineNumberLetter; }

  static const CCodeRuleEntry& EmptyEntry();

 private:
  void OnKey(const WString& key, const WString& value);
  void Finish();
  void BuildLetterCache();
  static WString NormaliseCode(WStringView code);
  static WString NormaliseFunction(WStringView func);

  CCodeRuleEntry m_reading;
  std::vector<CCodeRuleEntry> m_entries;
  std::string m_lineNumberLetter;
  std::unordered_map<WString, CCodeRuleEntry> m_byCode;
  // FindByCode results of the single characters, built after loading.
  std::array<const CCodeRuleEntry*, 128> m_letterCache{};
};

struct CCodeTip {
  WString m_tip;
  WString m_fmt;
};

class CCodeTips {
 public:
  // Reads "coderule\codetips_en.txt" (language not 0) or "..._cn.txt" (0)
  // under the executable's folder, adding to and replacing earlier records.
  bool Load(int language);
  bool LoadFile(const std::string& path);
  // The tip of a recorded G code, followed by CR LF and the tip of the next
  // recorded G number below 100; empty for a code without a record. The
  // format of a recorded G code, else empty. Each keeps its own text, valid
  // until the next call of the same function.
  const WString& GetTip(WStringView code);
  const WString& GetFmt(WStringView code);
  static int CodeNumber(WStringView code);

 private:
  std::unordered_map<int, CCodeTip> m_tips;
  WString m_tipResult;
  WString m_fmtResult;
};

}  // namespace quillet
