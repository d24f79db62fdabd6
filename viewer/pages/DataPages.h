// The six tab pages after the code page, each built from its layout file
// ("<file>.dlgc", Chinese "<file>_cn.dlgc"):
//
//   CDlgCodeTable      dlg_codetable      the code rules of the dialect
//   CDlgCodeCommands   dlg_codecmd        the simulated commands (owner data
//                                         over the command store)
//   CDlgCodeOffset     dlg_codeoffset     tool offsets (table 0), editable
//   CDlgCodePartZero   dlg_codepartzero   work offsets "Ext", G54..G59 (table 1), editable
//   CDlgCodeOptions    dlg_codeoptions    the decimal-point rule (table 2)
//   CDlgCodeVariables  dlg_codevariables  macro variables (table 3): #0-#999
//                                         (the locals #0-#32 of the current
//                                         program), #4001-, #5001-, #5201-
//
// Library access. The loader thread holds the library for a whole load,
// simulation included. A page never waits for it: a refresh that finds the
// library busy keeps what the page shows and runs again when the loader
// ends; a cell edit is refused (the cell shows its old value again) with a
// message; the options page sends its choice when the loader has ended.
// A committed cell whose text is not a number, or that lies outside the
// library's table, changes nothing either.
#pragma once
#include <QPointer>
#include <QString>

#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "viewer/PageBase.h"

namespace ravik {

class CListCtrlBase;

// The number a committed cell text stands for: the whole text (blanks
// around it aside) must be a finite decimal number.
bool EditTextNumber(const QString& text, double& value);

class CDlgDataPage : public CDlgParams {
  Q_OBJECT

 public:
  CDlgDataPage(const char* english, const char* chinese, QWidget* parent);
  QWidget* GetMainWnd() const override { return mainList(); }
  // Whether the last refresh found the library busy (it runs again when the
  // loader ends).
  bool refreshPending() const { return m_refreshPending; }
  // The list control of the layout named `name`, or null.
  CListCtrlBase* List(std::u16string_view name) const;
  // The loader has left the library: a deferred refresh runs, and a page on
  // screen is brought up to date.
  virtual void OnLoaderEnded();

 protected:
  bool OnInitDialog() override;
  // Runs `call` holding the library lock; false (not run) while the loader
  // holds it.
  static bool Library(const std::function<void()>& call);
  void DeferRefresh() { m_refreshPending = true; }
  void RefreshDone() { m_refreshPending = false; }
  // Releases the main list's row records and deletes its rows.
  void ClearMainList();
  // A cell text of the main list the page put there (kept so that a
  // refused edit can be undone).
  void ShowCell(int row, int column, const QString& text);
  // Writes a committed cell of the main list (message 1034) to the table
  // `kind` at (row, column of the list - 1), unless its text is not a
  // number, the cell lies outside the table's rows or its first
  // `dataColumns` columns, or the loader holds the library. A written cell
  // shows the table's text of the new value; a refused one its old text.
  // True when the table was written.
  bool CommitCell(unsigned kind, const WndMsg& msg, int dataColumns);
  // Tells the user that an edit could not reach the library.
  void ReportBusy();

 private:
  std::map<std::pair<int, int>, QString> m_shown;
  bool m_refreshPending = false;
};

class CDlgCodeTable : public CDlgDataPage {
  Q_OBJECT

 public:
  explicit CDlgCodeTable(QWidget* parent = nullptr);
  void Refresh() override;

 protected:
  bool OnInitDialog() override;
};

class CDlgCodeCommands : public CDlgDataPage {
  Q_OBJECT

 public:
  explicit CDlgCodeCommands(QWidget* parent = nullptr);
  void Refresh() override;
  void GetDispInfoText(NmLvDispInfo* info, std::intptr_t* result) override;
  // The text of one cell of record `item` (empty beyond the store's end).
  static QString CellText(int item, int column);
};

class CDlgCodeOffset : public CDlgDataPage {
  Q_OBJECT

 public:
  explicit CDlgCodeOffset(QWidget* parent = nullptr);
  void Refresh() override;

 protected:
  std::intptr_t OnMessage(WndMsg& msg) override;
};

class CDlgCodePartZero : public CDlgDataPage {
  Q_OBJECT

 public:
  explicit CDlgCodePartZero(QWidget* parent = nullptr);
  void Refresh() override;
  // "Ext", "G54" .. "G59" for the rows 0 to 6; empty otherwise.
  static QString RowName(int row);

 protected:
  std::intptr_t OnMessage(WndMsg& msg) override;
};

class CDlgCodeOptions : public CDlgDataPage {
  Q_OBJECT

 public:
  enum : int { kCmdIgnoreDecimal = 1010, kCmdLeastInput = 1011 };
  explicit CDlgCodeOptions(QWidget* parent = nullptr);
  ~CDlgCodeOptions() override;

  // 0 when "ignoredecimal" is set, else the least input increment typed
  // (the last one accepted while the field holds one that is refused).
  double OptionValue() const;
  // Sends the option to the library now, or when the loader has ended. An
  // increment that is not one number above 0 is refused with its reason and
  // the field shows the last accepted one again.
  bool ApplyOption();
  bool optionPending() const { return m_optionPending; }
  void OnLoaderEnded() override;
  // The choice is written back to the layout file.
  bool SavesLayout() const override { return true; }

 protected:
  bool OnInitDialog() override;
  void OnCommand(int id, int code, QWidget* control) override;

 private:
  // Checks the field's text; a refused text is reported and replaced by the
  // last accepted increment.
  void CheckIncrement();

  bool m_optionPending = false;
  QString m_acceptedIncrement = QStringLiteral("0.001");
};

class CDlgCodeVariables : public CDlgDataPage {
  Q_OBJECT

 public:
  explicit CDlgCodeVariables(QWidget* parent = nullptr);
  void Refresh() override;
  void GetDispInfoText(NmLvDispInfo* info, std::intptr_t* result) override;
  // The variable number item `item` of list `listId` (1010 to 1013) shows,
  // or -1.
  static int VariableNumber(int listId, int item);

 protected:
  std::intptr_t OnMessage(WndMsg& msg) override;

 private:
  struct Shown {
    QString value, kind;
  };
  // Reads the texts of every variable shown (under the library lock).
  void ReadAll();
  void ReadOne(int listIndex, int item);
  // The value and kind texts of each list's items, read from the library
  // when the page refreshes and after an edit: drawing never calls it.
  std::vector<Shown> m_shown[4];
};

}  // namespace ravik
