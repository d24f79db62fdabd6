// The four data tables a milling control keeps beside the program: tool
// offsets, work coordinate systems, one option parameter and the macro
// variables; each with its file under <folder>/<system name>/.
//
// Rows and columns outside a table read as 0 and are never written. A table
// is written back only when it changed, and never over a file that exists
// but could not be read, so a transient read failure cannot wipe its data;
// Store then answers false, so that the loss of the change is told.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "mod_gcode/geometry/PathRecords.h"
#include "mod_gcode/text/TextUtil.h"

namespace quillet {

class CData {
 public:
  virtual ~CData() = default;
  virtual void Load(const std::string& path) { m_path = path; }
  virtual bool SaveRaw();
  virtual bool Store() { return true; }
  virtual int IsZero() const { return 0; }
  virtual double GetValue(int row, int col) const { (void)row; (void)col; return 0.0; }
  virtual bool SetValue(int row, int col, double value) { (void)row; (void)col; (void)value; return false; }
  virtual WString GetTypeText(int row, int col) const { (void)row; (void)col; return WString(); }
  virtual const WString& GetValueText(int row, int col);
  virtual double GetSum(int row, int col) const { (void)row; (void)col; return 0.0; }

  int Rows() const { return m_rows; }
  int Cols() const { return m_cols; }
  const std::string& Path() const { return m_path; }
  bool IsDirty() const { return m_dirty; }
  // False when the file exists but was not read whole (see m_readFailed).
  bool WasReadWhole() const { return !m_readFailed; }

 protected:
  void LoadRaw(const std::string& path);
  bool InTable(int row, int col) const { return row >= 0 && row < m_rows && col >= 0 && col < m_cols; }

  std::string m_path;
  void* m_raw = nullptr;  // the table's cells, owned by the derived table
  int m_byteLength = 0;
  int m_rows = 0;
  int m_cols = 0;
  bool m_dirty = false;
  // The file exists but was not read whole (unreadable, a line that is not
  // a value and a kind, or not 8-bit text): it is never written over.
  bool m_readFailed = false;
  WString m_text;
};

// Tool offsets ("offset.dat"): 401 rows of 4 doubles. Columns 0 and 1 sum to
// the length offset of an H number, columns 2 and 3 to the diameter of a D.
class CDataComp : public CData {
 public:
  static constexpr int kRows = 401;
  static constexpr int kCols = 4;
  CDataComp();
  void Load(const std::string& path) override;
  bool Store() override { return SaveRaw(); }
  double GetValue(int row, int col) const override;
  bool SetValue(int row, int col, double value) override;
  const WString& GetValueText(int row, int col) override;
  double GetSum(int row, int col) const override;

 private:
  double m_cells[kRows][kCols] = {};
};

// Work coordinate systems ("partzero.dat"): row 0 the external offset, rows
// 1 to 6 G54 to G59; the current system is not stored.
class CDataCoordSystem : public CData {
 public:
  static constexpr int kRows = 7;
  CDataCoordSystem();
  void Load(const std::string& path) override;
  bool Store() override { return SaveRaw(); }
  double GetValue(int row, int col) const override;
  bool SetValue(int row, int col, double value) override;
  const WString& GetValueText(int row, int col) override;
  double GetCell(int row, int col) const { return GetValue(row, col); }
  // Makes a system current and returns its point; false (nothing changed)
  // when the index is outside the table.
  bool Select(int index, CPoint3d* point = nullptr);
  CPoint3d GetCurrent() const { return m_points[m_current]; }
  int CurrentIndex() const { return m_current; }

 private:
  CPoint3d m_points[kRows];
  unsigned char m_current = 1;
};

// The option parameter: one value; its flag says whether it is 0, which
// selects the decimal-point rule of the programs.
class CParameter : public CData {
 public:
  CParameter() { m_rows = 1; m_cols = 1; }
  int IsZero() const override { return m_flag; }
  double GetValue(int, int) const override { return m_value; }
  bool SetValue(int, int, double value) override;
  const WString& GetValueText(int row, int col) override;

 private:
  double m_value = 0.0;
  int m_flag = 1;
};

// A macro variable. Kinds: 0 null, 1 local, 2 common, 3 system.
class CVariableBase {
 public:
  explicit CVariableBase(int kind = 0) : m_kind(kind) {}
  virtual ~CVariableBase() = default;
  int GetKind() const { return m_kind; }
  const char16_t* GetKindName() const;
  // "null" (any case) leaves the variable as it is and reports false.
  bool SetFromText(WStringView text);
  void SetValue(double value);
  void SetFromAnsi(std::string_view text);
  double GetValue() const { return m_value; }
  // The value's display text: "%f" cut to 7 characters (made on demand).
  const WString& Text() const;

 private:
  mutable WString m_text;
  mutable bool m_textValid = true;
  double m_value = 0.0;
  int m_kind = 0;
};
class CVariableLocal : public CVariableBase {
 public:
  CVariableLocal() : CVariableBase(1) {}
};
class CVariableCommon : public CVariableBase {
 public:
  CVariableCommon() : CVariableBase(2) {}
};
class CVariableSystem : public CVariableBase {
 public:
  CVariableSystem() : CVariableBase(3) {}
};

// Macro variables ("variables.txt"): the vector index is the number.
class CVariables : public CData {
 public:
  CVariables() { m_cols = 1; }
  // `count` fresh local variables (the locals of a program frame).
  explicit CVariables(int count);
  void Load(const std::string& path) override;
  bool Store() override;
  double GetValue(int row, int col) const override;
  bool SetValue(int row, int col, double value) override;
  WString GetTypeText(int row, int col) const override;
  const WString& GetValueText(int row, int col) override;

  // The variable of a number; null when the table has no such variable.
  // The locals of a frame are made on first use (a call that reads none of
  // them costs no variable); until then the const form gives a vacant one.
  CVariableBase* GetVariable(int number);
  const CVariableBase* GetVariable(int number) const;
  int Count() const { return static_cast<int>(m_vars.size()); }
  // The file text as Store writes it (LF line ends; CR LF on disk).
  std::string FileText() const;
  // Reads one row per line; false when a line was not exactly a value and
  // a kind (the rows are all there, but writing them back would change it).
  bool ParseFileText(std::string_view text);

 private:
  std::vector<std::unique_ptr<CVariableBase>> m_vars;
};

// The four tables of `Code_SwitchData`.
struct CDataTables {
  std::unique_ptr<CDataComp> comp;
  std::unique_ptr<CDataCoordSystem> coord;
  std::unique_ptr<CParameter> param;
  std::unique_ptr<CVariables> vars;

  CData* ByKind(unsigned kind) const;
  // Creates the tables and loads them from <folder>/<system>/<file>.
  void Create(WStringView folder, WStringView systemName);
  // A changed table that Store did not write: its file, and whether that is
  // because the file was not read whole (else the write failed).
  struct NotStored {
    std::string path;
    bool notReadWhole;
  };
  // Writes back what changed; the changed tables that were not written.
  std::vector<NotStored> StoreAll();
  bool Exist() const { return comp && coord && param && vars; }
};

// Path of a data file: folder, system name and file name joined.
std::string DataFilePath(WStringView folder, WStringView systemName, WStringView file);

}  // namespace quillet
