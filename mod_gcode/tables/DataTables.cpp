#include "mod_gcode/tables/DataTables.h"

#include <cmath>
#include <cstring>
#include <optional>

#include "mod_gcode/text/FileUtil.h"
#include "platform/Files.h"
#include "platform/Numbers.h"
#include "platform/Text.h"

namespace quillet {

bool CData::SaveRaw() {
  if (!m_raw || m_byteLength <= 0 || m_path.empty()) return true;
  if (!m_dirty) return true;
  if (m_readFailed) return false;  // changed, but its file is not written over
  if (!WriteRawFile(m_path, m_raw, static_cast<std::size_t>(m_byteLength))) return false;
  m_dirty = false;
  return true;
}

const WString& CData::GetValueText(int, int) {
  m_text.clear();
  return m_text;
}

void CData::LoadRaw(const std::string& path) {
  m_path = path;
  m_dirty = false;
  // Until the file is read whole (a read can fail on the way) the table is
  // one that must not be written over it.
  m_readFailed = true;
  std::size_t got = 0;
  if (!ReadRawFile(path, m_raw, static_cast<std::size_t>(m_byteLength), &got)) {
    // A missing file keeps the zeros; a file that exists but cannot be read
    // must not be overwritten later.
    m_readFailed = plat::FileExists(path);
    return;
  }
  m_readFailed = false;
}

CDataComp::CDataComp() {
  m_raw = m_cells;
  m_byteLength = sizeof(m_cells);
  m_rows = kRows;
  m_cols = kCols;
}

void CDataComp::Load(const std::string& path) { LoadRaw(path); }

double CDataComp::GetValue(int row, int col) const { return InTable(row, col) ? m_cells[row][col] : 0.0; }

bool CDataComp::SetValue(int row, int col, double value) {
  if (!InTable(row, col)) return false;
  if (m_cells[row][col] != value || std::signbit(m_cells[row][col]) != std::signbit(value)) m_dirty = true;
  m_cells[row][col] = value;
  return true;
}

const WString& CDataComp::GetValueText(int row, int col) {
  m_text = NumberToText(GetValue(row, col));
  return m_text;
}

double CDataComp::GetSum(int row, int col) const {
  if (!InTable(row, col) || col + 1 >= kCols) return GetValue(row, col);
  return m_cells[row][col] + m_cells[row][col + 1];
}

CDataCoordSystem::CDataCoordSystem() {
  m_raw = m_points;
  m_byteLength = sizeof(m_points);
  m_rows = kRows;
  m_cols = 1;
  static_assert(sizeof(CPoint3d) == 3 * sizeof(double), "points are three raw doubles");
}

void CDataCoordSystem::Load(const std::string& path) { LoadRaw(path); }

double CDataCoordSystem::GetValue(int row, int col) const {
  if (row < 0 || row >= kRows || col < 0 || col > 2) return 0.0;
  return m_points[row].At(col);
}

bool CDataCoordSystem::SetValue(int row, int col, double value) {
  if (row < 0 || row >= kRows || col < 0 || col > 2) return false;
  if (m_points[row].At(col) != value) m_dirty = true;
  m_points[row].At(col) = value;
  return true;
}

const WString& CDataCoordSystem::GetValueText(int row, int col) {
  m_text = NumberToText(GetCell(row, col));
  return m_text;
}

bool CDataCoordSystem::Select(int index, CPoint3d* point) {
  if (index < 0 || index >= kRows) return false;
  m_current = static_cast<unsigned char>(index);
  if (point) *point = m_points[index];
  return true;
}

bool CParameter::SetValue(int, int, double value) {
  if (m_value != value) m_dirty = true;
  m_value = value;
  m_flag = value == 0.0 ? 1 : 0;
  return true;
}

const WString& CParameter::GetValueText(int, int) {
  m_text = NumberToText(m_value);
  return m_text;
}

const char16_t* CVariableBase::GetKindName() const {
  switch (m_kind) {
    case 1: return u"Local";
    case 2: return u"Common";
    case 3: return u"System";
    default: return u"null";
  }
}

bool CVariableBase::SetFromText(WStringView text) {
  if (text.size() == 4) {
    WString low(text);
    for (auto& c : low)
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    if (low == u"null") return false;
  }
  SetValue(plat::ParseDouble(text));
  return true;
}

void CVariableBase::SetValue(double value) {
  m_value = value;
  m_textValid = false;
}

const WString& CVariableBase::Text() const {
  if (!m_textValid) {
    // The whole value: the shortest text that reads back as the same number.
    m_text = plat::AsciiToWide(plat::FormatRoundTrip(m_value));
    m_textValid = true;
  }
  return m_text;
}

void CVariableBase::SetFromAnsi(std::string_view text) { SetValue(plat::ParseDouble(text)); }

CVariables::CVariables(int count) {
  m_cols = 1;
  m_vars.resize(static_cast<std::size_t>(count > 0 ? count : 0));
  m_rows = count;
}

namespace {
std::unique_ptr<CVariableBase> MakeVariable(int kind) {
  switch (kind) {
    case 1: return std::make_unique<CVariableLocal>();
    case 2: return std::make_unique<CVariableCommon>();
    case 3: return std::make_unique<CVariableSystem>();
    default: return std::make_unique<CVariableBase>(0);
  }
}
}  // namespace

namespace {

// The 8-bit text of a UTF-16 file (with or without a byte-order mark, as a
// text editor may save it); nullopt when the bytes do not look like UTF-16.
// Units beyond ASCII become '?', which no number reads.
std::optional<std::string> NarrowFromUtf16(std::string_view bytes) {
  if (bytes.size() < 2 || bytes.size() % 2 != 0) return std::nullopt;
  bool big = false;
  std::size_t start = 0;
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (byte(0) == 0xFF && byte(1) == 0xFE) {
    start = 2;
  } else if (byte(0) == 0xFE && byte(1) == 0xFF) {
    big = true;
    start = 2;
  } else {
    // No mark: ASCII text in UTF-16 has a zero byte in every unit.
    std::size_t zeroHigh = 0, zeroLow = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      zeroHigh += byte(i + 1) == 0 && byte(i) != 0;
      zeroLow += byte(i) == 0 && byte(i + 1) != 0;
    }
    const std::size_t units = bytes.size() / 2;
    if (zeroHigh * 2 > units) big = false;
    else if (zeroLow * 2 > units) big = true;
    else return std::nullopt;
  }
  std::string out;
  out.reserve((bytes.size() - start) / 2);
  for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
    unsigned unit = big ? byte(i) << 8 | byte(i + 1) : byte(i + 1) << 8 | byte(i);
    out.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  }
  return out;
}

bool IsNullWord(std::string_view word) {
  if (word.size() != 4) return false;
  for (std::size_t i = 0; i < 4; ++i)
    if ((word[i] | 0x20) != "null"[i]) return false;
  return true;
}

}  // namespace

bool CVariables::ParseFileText(std::string_view text) {
  m_vars.clear();
  bool whole = true;
  std::string word;  // carried over when a line does not give one
  int kind = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    std::string_view line = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    pos = end == std::string_view::npos ? text.size() : end + 1;
    // First two blank-separated words: the value and the kind.
    std::size_t i = 0;
    auto skip = [&] { while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i; };
    skip();
    std::size_t b = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    // A line is read exactly when it holds nothing but a number (or
    // "null") and an optional whole kind: a zero byte or any other text
    // makes the table one that Store must not write over.
    bool exact = true;
    if (i > b) {
      word.assign(line.substr(b, std::min<std::size_t>(i - b, 127)));
      std::size_t read = 0;
      plat::ParseDouble(line.substr(b, i - b), &read);
      exact = read == i - b || IsNullWord(line.substr(b, i - b));
      skip();
      std::size_t used = 0;
      int k = plat::ParseIntPrefix(line.substr(i), &used);
      if (used > 0) kind = k;
      i += used;
      skip();
      exact = exact && i == line.size();
    }
    whole = whole && exact;
    auto var = MakeVariable(kind >= 0 && kind <= 3 ? kind : 0);
    var->SetFromAnsi(word);
    m_vars.push_back(std::move(var));
  }
  m_rows = static_cast<int>(m_vars.size());
  return whole;
}

void CVariables::Load(const std::string& path) {
  m_path = path;
  m_dirty = false;
  // Until every row is read (a read can fail on the way, leaving a part of
  // the table) the table is one that must not be written over its file.
  m_readFailed = true;
  // Every byte is read (a zero byte does not end the text); a table that
  // is not exactly what Store would write keeps its file as it is.
  auto bytes = plat::ReadFileBytes(path);
  if (!bytes) {
    m_readFailed = plat::FileExists(path);
    m_vars.clear();
    m_rows = 0;
    return;
  }
  if (std::optional<std::string> narrow = NarrowFromUtf16(*bytes)) {
    ParseFileText(*narrow);
    m_readFailed = true;
    return;
  }
  m_readFailed = !ParseFileText(*bytes);
}

std::string CVariables::FileText() const {
  std::string out;
  out.reserve(m_vars.size() * 8);
  for (int i = 0; i < Count(); ++i) {
    const CVariableBase* v = GetVariable(i);
    // Full double precision, so a stored value reads back exactly.
    out += plat::FormatRoundTrip(v->GetValue());
    out += ' ';
    out += plat::FormatInt(v->GetKind());
    out += '\n';
  }
  return out;
}

bool CVariables::Store() {
  if (m_path.empty() || !m_dirty) return true;
  if (m_readFailed) return false;
  if (!WriteTextFile(m_path, FileText())) return false;
  m_dirty = false;
  return true;
}

CVariableBase* CVariables::GetVariable(int number) {
  if (number < 0 || number >= static_cast<int>(m_vars.size())) return nullptr;
  auto& slot = m_vars[static_cast<std::size_t>(number)];
  if (!slot) slot = std::make_unique<CVariableLocal>();
  return slot.get();
}

const CVariableBase* CVariables::GetVariable(int number) const {
  static const CVariableLocal vacant;
  if (number < 0 || number >= static_cast<int>(m_vars.size())) return nullptr;
  const auto& slot = m_vars[static_cast<std::size_t>(number)];
  return slot ? slot.get() : &vacant;
}

double CVariables::GetValue(int row, int) const {
  const CVariableBase* v = GetVariable(row);
  return v ? v->GetValue() : 0.0;
}

bool CVariables::SetValue(int row, int, double value) {
  CVariableBase* v = GetVariable(row);
  if (!v) return false;
  if (v->GetValue() != value) m_dirty = true;
  v->SetValue(value);
  return true;
}

WString CVariables::GetTypeText(int row, int) const {
  const CVariableBase* v = GetVariable(row);
  return v ? WString(v->GetKindName()) : WString();
}

const WString& CVariables::GetValueText(int row, int) {
  const CVariableBase* v = GetVariable(row);
  m_text = v ? v->Text() : WString();
  return m_text;
}

CData* CDataTables::ByKind(unsigned kind) const {
  switch (kind) {
    case 0: return comp.get();
    case 1: return coord.get();
    case 2: return param.get();
    case 3: return vars.get();
    default: return nullptr;
  }
}

std::string DataFilePath(WStringView folder, WStringView systemName, WStringView file) {
  WString p(folder);
  p += u"\\";
  p += systemName;
  p += u"\\";
  p += file;
  return ResolveUserPath(p);
}

void CDataTables::Create(WStringView folder, WStringView systemName) {
  comp = std::make_unique<CDataComp>();
  coord = std::make_unique<CDataCoordSystem>();
  param = std::make_unique<CParameter>();
  vars = std::make_unique<CVariables>();
  comp->Load(DataFilePath(folder, systemName, u"offset.dat"));
  coord->Load(DataFilePath(folder, systemName, u"partzero.dat"));
  param->Load(DataFilePath(folder, systemName, u"params.dat"));
  vars->Load(DataFilePath(folder, systemName, u"variables.txt"));
}

std::vector<CDataTables::NotStored> CDataTables::StoreAll() {
  std::vector<NotStored> lost;
  for (unsigned k = 0; k < 4; ++k)
    if (CData* d = ByKind(k); d && !d->Store()) lost.push_back({d->Path(), !d->WasReadWhole()});
  return lost;
}

}  // namespace quillet
