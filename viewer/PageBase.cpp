#include "viewer/PageBase.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

#include "viewer/Language.h"
#include "viewer/Styling.h"

namespace ravik {

CDlgParams::CDlgParams(QWidget* parent) : QWidget(parent) {}

void CDlgParams::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (width() == 0 || height() == 0) return;  // keeps the last client rectangle
  if (!m_lastClient.isEmpty()) ResizeDialogChildren(width(), height(), this, m_lastClient);
  m_lastClient = rect();
}

void CDlgParams::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

CDlgCodeText::CDlgCodeText(QWidget* parent) : CDlgParams(parent) {
  m_edit = new QPlainTextEdit(this);
  m_edit->setObjectName(QStringLiteral("richedit"));
  m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_edit->setUndoRedoEnabled(true);
  StyleDialogChildren(this);
}

QString CDlgCodeText::GetTitle() const { return Tr(QStringLiteral("Code"), QStringLiteral("代码")); }

QWidget* CDlgCodeText::GetMainWnd() const { return m_edit; }

void CDlgCodeText::SetCodeText(const QString& text) {
  // Loading a text is not an edit, and a loaded program is not undone.
  m_edit->setUndoRedoEnabled(false);
  m_edit->setPlainText(text);
  m_edit->setUndoRedoEnabled(true);
  m_edit->document()->setModified(false);
}

QString CDlgCodeText::GetCodeText() const { return m_edit->toPlainText(); }

bool CDlgCodeText::IsModified() const { return m_edit->document()->isModified(); }

void CDlgCodeText::SetModified(bool modified) { m_edit->document()->setModified(modified); }

void CDlgCodeText::GoToLine(int scroll, int line) {
  QScrollBar* bar = m_edit->verticalScrollBar();
  bar->setValue(bar->value() + scroll);
  QTextBlock block = m_edit->document()->findBlockByNumber(line < 0 ? 0 : line);
  if (!block.isValid()) block = m_edit->document()->lastBlock();
  QTextCursor cursor(block);
  m_edit->setTextCursor(cursor);
  m_edit->ensureCursorVisible();
}

void CDlgCodeText::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  m_edit->setGeometry(rect());
}

}  // namespace ravik
