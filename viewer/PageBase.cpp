#include "viewer/PageBase.h"

#include <QKeyEvent>
#include <QMetaObject>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QThread>

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

CDlgCodeText::~CDlgCodeText() { JoinWorkers(true); }

void CDlgCodeText::JoinWorkers(bool all) {
  for (auto it = m_workers.begin(); it != m_workers.end();) {
    if (all || it->done->load()) {
      it->thread.join();
      it = m_workers.erase(it);
    } else {
      ++it;
    }
  }
}

void CDlgCodeText::SetCodeText(const QString& text) {
  ++m_serial;
  JoinWorkers(false);
  if (text.size() < kBackgroundBytes) {
    m_preparing = false;
    m_pending.clear();
    // Loading a text is not an edit, and a loaded program is not undone.
    m_edit->setUndoRedoEnabled(false);
    m_edit->setPlainText(text);
    m_edit->setUndoRedoEnabled(true);
    m_edit->document()->setModified(false);
    emit textReady();
    return;
  }
  // A large text: the document is built on a worker thread and handed to
  // the editor when it is complete; meanwhile the editor is read-only and
  // the page answers with the text itself.
  m_preparing = true;
  m_pending = text;
  m_edit->setReadOnly(true);
  m_edit->setPlainText(tr("Loading the program text..."));
  const unsigned serial = m_serial;
  QThread* guiThread = thread();
  QPointer<CDlgCodeText> self(this);
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread worker([self, serial, text, guiThread, done] {
    auto* document = new QTextDocument();
    document->setDocumentLayout(new QPlainTextDocumentLayout(document));
    document->setUndoRedoEnabled(false);
    document->setPlainText(text);
    document->setUndoRedoEnabled(true);
    document->setModified(false);
    document->moveToThread(guiThread);
    // The page joins this thread before it goes away, so `self` is alive
    // when the call is queued; a late call for an older text is dropped.
    QMetaObject::invokeMethod(
        self.data(), [self, serial, document] {
          if (self) self->AdoptDocument(serial, document);
          else delete document;
        },
        Qt::QueuedConnection);
    done->store(true);
  });
  m_workers.push_back(Worker{std::move(worker), done});
}

void CDlgCodeText::AdoptDocument(unsigned serial, QTextDocument* document) {
  JoinWorkers(false);
  if (serial != m_serial) {
    delete document;
    return;
  }
  QTextDocument* old = m_edit->document();
  document->setParent(m_edit);
  document->setDefaultFont(m_edit->font());
  m_edit->setDocument(document);
  if (old && old->parent() == m_edit) old->deleteLater();
  m_edit->setReadOnly(false);
  m_preparing = false;
  m_pending.clear();
  emit textReady();
}

QString CDlgCodeText::GetCodeText() const { return m_preparing ? m_pending : m_edit->toPlainText(); }

bool CDlgCodeText::IsModified() const { return !m_preparing && m_edit->document()->isModified(); }

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
