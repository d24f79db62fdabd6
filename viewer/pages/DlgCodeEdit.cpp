#include "viewer/pages/DlgCodeEdit.h"

#include <QDir>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

#include "platform/Paths.h"
#include "viewer/DlgRender.h"
#include "viewer/Language.h"
#include "viewer/RavikDlg.h"
#include "viewer/Styling.h"
#include "viewer/TextConv.h"
#include "viewer/layout/LayoutFile.h"
#include "viewer/layout/ShellList.h"

namespace ravik {
namespace {

// The command of a Ctrl shortcut of the page, or 0.
int ShortcutCommand(const QKeyEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier) || (event->modifiers() & (Qt::AltModifier | Qt::MetaModifier)))
    return 0;
  switch (event->key()) {
    case Qt::Key_G: return CDlgCodeEdit::kCmdParse;
    case Qt::Key_N: return CDlgCodeEdit::kCmdOpen;
    case Qt::Key_S: return CDlgCodeEdit::kCmdSave;
    case Qt::Key_Q: return CDlgCodeEdit::kCmdAddSkip;
    case Qt::Key_U: return CDlgCodeEdit::kCmdRemoveSkip;
    default: return 0;
  }
}

QString ExeFolder() { return QString::fromStdString(plat::ExeDir()); }

}  // namespace

CDlgCodeEdit::CDlgCodeEdit(QWidget* parent)
    : CDlgParams(new CLayoutProp(LanguageFlag() == 0 ? "dlg_codeedit_cn.dlgc" : "dlg_codeedit.dlgc"), parent) {
  suppressOkCancel = true;
}

CDlgCodeEdit::~CDlgCodeEdit() {
  // The folder shown is where the next run starts.
  if (IsCreated() && layout()) {
    CDlgCtrls& tree = layout()->FindCtrlByName(u"tree");
    if (tree.GetWnd() && !m_folder.isEmpty()) {
      tree.value = ToU16(m_folder);
      layout()->Save();
    }
  }
}

bool CDlgCodeEdit::OnInitDialog() {
  CDlgParams::OnInitDialog();
  m_main = CRavikDlg::Instance();
  m_edit = qobject_cast<CXRichEdit*>(layout()->FindWndByName(u"richedit"));
  m_shellList = qobject_cast<CCustomShellList*>(layout()->FindWndByName(u"shelllist"));
  m_tree = qobject_cast<CShellTree*>(layout()->FindWndByName(u"tree"));
  if (!m_edit) {
    // Without its editor in the layout the page still edits programs: the
    // editor takes the room the layout's controls leave free.
    m_edit = new CXRichEdit(this);
    m_edit->setObjectName(QStringLiteral("richedit"));
    SetCtrlId(m_edit, kRichEditId);
    m_edit->setGeometry(FreeArea(m_edit));
    m_ownEditor = true;
    StyleDialogChildren(this);
  }
  if (m_tree) m_tree->ExpandRoot();

  // The line height: the distance between the tops of two lines of text.
  m_edit->setUndoRedoEnabled(false);
  m_edit->setPlainText(QStringLiteral("123\n234"));
  const QTextBlock first = m_edit->document()->firstBlock();
  m_lineHeight = m_edit->cursorRect(QTextCursor(first.next())).top() - m_edit->cursorRect(QTextCursor(first)).top();
  if (m_lineHeight <= 0) m_lineHeight = m_edit->fontMetrics().lineSpacing();
  m_edit->setPlainText(QString());
  m_edit->setUndoRedoEnabled(true);
  m_edit->document()->setModified(false);

  // The folder of the last run, or "code" beside the executable; a folder
  // that is gone gives way to the executable's folder.
  CDlgCtrls& treeCtrl = layout()->FindCtrlByName(u"tree");
  QString folder = FromU16(treeCtrl.value);
  if (folder.isEmpty()) {
    folder = QDir(ExeFolder()).filePath(QStringLiteral("code"));
    if (treeCtrl.GetWnd()) treeCtrl.value = ToU16(folder);
  }
  if (!QDir(folder).exists()) folder = ExeFolder();
  m_folder = QDir::cleanPath(folder);
  if (m_tree) m_tree->SelectPath(m_folder);
  if (m_shellList) m_shellList->DisplayFolder(m_folder);

  // Shortcuts act before the key takes its normal way.
  for (QWidget* w : {static_cast<QWidget*>(m_edit), static_cast<QWidget*>(m_shellList.data()),
                     static_cast<QWidget*>(m_tree.data())})
    if (w) w->installEventFilter(this);
  installEventFilter(this);

  connect(m_edit, &CXRichEdit::textReady, this, &CDlgCodeEdit::textReady);
  connect(m_edit, &CXRichEdit::textFailed, this, [this] {
    if (CDlgRender* render = Render()) render->OnEditorOutOfMemory();
  });
  m_edit->setFocus();
  m_edit->moveCursor(QTextCursor::Start);
  m_edit->SetupGutter(m_lineHeight);
  return true;
}

void CDlgCodeEdit::resizeEvent(QResizeEvent* event) {
  CDlgParams::resizeEvent(event);
  if (m_ownEditor && m_edit) m_edit->setGeometry(FreeArea(m_edit));
}

QWidget* CDlgCodeEdit::GetMainWnd() const { return m_edit; }

CDlgRender* CDlgCodeEdit::Render() const { return m_main ? m_main->render() : nullptr; }

bool CDlgCodeEdit::IsPreparing() const { return m_edit && m_edit->IsPreparing(); }

// ------------------------------------------------------------ messages

std::intptr_t CDlgCodeEdit::OnMessage(WndMsg& msg) {
  switch (msg.msg) {
    case WM_SHELL_ACTIVATE:
      return OpenListItem(static_cast<int>(msg.wParam));
    case WM_CHANGE_CURRENT_FOLDER:
      if (m_shellList) {
        if (m_tree) m_tree->SelectPath(m_shellList->currentFolder());
        m_folder = m_tree && !m_tree->GetSelectedPath().isEmpty() ? m_tree->GetSelectedPath()
                                                                   : m_shellList->currentFolder();
      }
      break;
    case WM_LBUTTONUP:
      // A click in the editor's line-number margin (wParam: the line, from 1).
      if (CDlgRender* render = Render()) render->HighlightBlock(static_cast<unsigned>(msg.wParam));
      break;
    default:
      break;
  }
  return CDlgParams::OnMessage(msg);
}

void CDlgCodeEdit::OnCommand(int id, int, QWidget*) {
  if (id >= kCmdParse && id <= kCmdRemoveSkip) RunCommand(id);
}

std::intptr_t CDlgCodeEdit::OnNotify(NmHdr* hdr) {
  if (hdr->code == TVN_SELCHANGEDW && hdr->idFrom == kTreeId && m_tree) {
    const QString path = m_tree->GetSelectedPath();
    if (!path.isEmpty() && path != m_folder) ShowFolder(path);
    return 0;
  }
  return 0;  // NM_DBLCLK of the list: the list enters folders itself
}

void CDlgCodeEdit::ShowFolder(const QString& folder) {
  m_folder = QDir::cleanPath(folder);
  if (m_shellList && m_shellList->currentFolder() != m_folder) m_shellList->DisplayFolder(m_folder);
}

std::intptr_t CDlgCodeEdit::OpenListItem(int index) {
  if (!m_shellList) return 0;
  const QString path = m_shellList->GetItemPath(index);
  if (path.isEmpty() || IsFolderOrRoot(ToU16(path))) return 0;
  CDlgRender* render = Render();
  if (!render) return 0;
  render->OpenPath(path);
  return 1;
}

bool CDlgCodeEdit::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (const int id = ShortcutCommand(key)) {
      // Claimed from the window's shortcuts, then acted on as a key press.
      if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return false;
      }
      RunCommand(id);
      return true;
    }
  }
  return CDlgParams::eventFilter(watched, event);
}

// ------------------------------------------------------------ commands

void CDlgCodeEdit::RunCommand(int id) {
  CDlgRender* render = Render();
  switch (id) {
    case kCmdParse:
      if (render) render->ParseText(GetCodeText());
      break;
    case kCmdOpen:
      if (render) render->OnOpenNcFile();
      break;
    case kCmdSave:
      Save();
      break;
    case kCmdSaveAs:
      if (render) render->SaveAs(GetCodeText());
      break;
    case kCmdAddSkip:
      InsertSkipMarks();
      break;
    case kCmdRemoveSkip:
      RemoveSkipMarks();
      break;
    default:
      break;
  }
}

void CDlgCodeEdit::Save() {
  CDlgRender* render = Render();
  if (!render) return;
  QString path = render->currentPath();
  if (!render->SaveFile(path, GetCodeText())) return;  // the edits stay marked unsaved
  render->setCurrentPath(path);
  SetModified(false);
  if (m_main) m_main->SetTitlePath(render->currentPath());
}

void CDlgCodeEdit::InsertSkipMarks() { ChangeSkipMarks(true); }
void CDlgCodeEdit::RemoveSkipMarks() { ChangeSkipMarks(false); }

void CDlgCodeEdit::ChangeSkipMarks(bool insert) {
  if (!m_edit || m_edit->isReadOnly()) return;  // a large text still on its way
  QTextDocument* doc = m_edit->document();
  const QTextCursor selection = m_edit->textCursor();
  const int first = doc->findBlock(selection.selectionStart()).blockNumber();
  const int last = doc->findBlock(selection.selectionEnd()).blockNumber();
  QTextCursor edit(doc);
  edit.beginEditBlock();  // one undo step
  QTextBlock block = doc->findBlockByNumber(first);
  QTextBlock end;
  for (int n = first; n <= last && block.isValid(); ++n, block = block.next()) {
    edit.setPosition(block.position());
    if (insert) edit.insertText(QStringLiteral("/"));
    else if (block.text().startsWith(QLatin1Char('/'))) edit.deleteChar();
    end = block;
  }
  edit.endEditBlock();
  if (end.isValid()) {
    QTextCursor caret(end);
    caret.movePosition(QTextCursor::EndOfBlock);
    m_edit->setTextCursor(caret);
  }
}

// ------------------------------------------------------------ text

void CDlgCodeEdit::SetCodeText(const QString& text) { m_edit->SetCodeText(text); }

QString CDlgCodeEdit::GetCodeText() const { return m_edit->CodeText(); }

bool CDlgCodeEdit::IsModified() const { return !m_edit->IsPreparing() && m_edit->document()->isModified(); }

void CDlgCodeEdit::SetModified(bool modified) { m_edit->document()->setModified(modified); }

void CDlgCodeEdit::ClearSelectedLine() {
  if (m_edit && m_edit->selectedLine() != -1) m_edit->SetSelectedLine(-1);
}

void CDlgCodeEdit::GoToLine(int scroll, int line) {
  QScrollBar* bar = m_edit->verticalScrollBar();
  bar->setValue(bar->value() + scroll);
  QTextBlock block = m_edit->document()->findBlockByNumber(line < 0 ? 0 : line);
  if (!block.isValid()) block = m_edit->document()->lastBlock();
  m_edit->SetSelectedLine(block.blockNumber() + 1);
  QTextCursor cursor(block);
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  m_edit->setTextCursor(cursor);
  m_edit->ensureCursorVisible();
}

}  // namespace ravik
