// CDlgCodeEdit: the first tab page, the NC program editor. Its layout
// ("dlg_codeedit.dlgc" / "dlg_codeedit_cn.dlgc") gives it a folder tree
// ("tree", id 1010), a file list ("shelllist", id 1011), the editor with
// line numbers ("richedit", id 1050) and the command buttons 900 to 905:
//
//   900 Ctrl+G  parse the editor's text          903         save as
//   901 Ctrl+N  open a file                      904 Ctrl+Q  add "/" to the selected lines
//   902 Ctrl+S  save to the current file         905 Ctrl+U  remove one "/" from them
//
// A click on a line number highlights that block of the tool path; a file
// activated in the list is opened (after asking about unsaved edits). The
// folder shown is kept in the layout file ("tree" value) for the next run.
// Large programs reach the editor off the interface thread (CXRichEdit).
#pragma once
#include <QPointer>

#include "viewer/PageBase.h"
#include "viewer/layout/ShellList.h"

namespace ravik {

class CDlgRender;
class CRavikDlg;

class CDlgCodeEdit : public CDlgParams, public CodePage {
  Q_OBJECT

 public:
  enum : int {
    kCmdParse = 900,
    kCmdOpen = 901,
    kCmdSave = 902,
    kCmdSaveAs = 903,
    kCmdAddSkip = 904,
    kCmdRemoveSkip = 905,
    kTreeId = 1010,
    kShellListId = 1011,
    kRichEditId = 1050
  };

  explicit CDlgCodeEdit(QWidget* parent = nullptr);
  ~CDlgCodeEdit() override;

  QWidget* GetMainWnd() const override;
  // The folder shown is written back to the layout file.
  bool SavesLayout() const override { return true; }

  void SetCodeText(const QString& text) override;
  QString GetCodeText() const override;
  bool IsModified() const override;
  void SetModified(bool modified) override;
  void GoToLine(int scroll, int line) override;
  void ClearSelectedLine() override;

  // The commands of the page (the buttons and shortcuts above).
  void RunCommand(int id);
  // Block-skip marks on the lines of the selection.
  void InsertSkipMarks();
  void RemoveSkipMarks();

  CXRichEdit* editor() const { return m_edit; }
  CCustomShellList* shellList() const { return m_shellList; }
  CShellTree* tree() const { return m_tree; }
  const QString& currentFolder() const { return m_folder; }
  // The line height measured at initialisation.
  int measuredLineHeight() const { return m_lineHeight; }
  bool IsPreparing() const;

 signals:
  // The text given last is in the editor.
  void textReady();

 protected:
  bool OnInitDialog() override;
  std::intptr_t OnMessage(WndMsg& msg) override;
  void OnCommand(int id, int code, QWidget* control) override;
  std::intptr_t OnNotify(NmHdr* hdr) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Opens the list's item `index` (message 2035); 1 when a file was opened.
  std::intptr_t OpenListItem(int index);
  // Sets the current folder and shows it in the list.
  void ShowFolder(const QString& folder);
  void Save();
  void ChangeSkipMarks(bool insert);
  CDlgRender* Render() const;

  CXRichEdit* m_edit = nullptr;
  QPointer<CCustomShellList> m_shellList;
  QPointer<CShellTree> m_tree;
  CRavikDlg* m_main = nullptr;
  QString m_folder;
  int m_lineHeight = 0;
  bool m_ownEditor = false;
};

}  // namespace ravik
