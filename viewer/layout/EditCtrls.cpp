#include "viewer/layout/EditCtrls.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMetaObject>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QScreen>
#include <QThread>

#include <algorithm>

#include "viewer/Styling.h"
#include "viewer/UiSeam.h"
#include "viewer/layout/ShellList.h"
#include "viewer/layout/WinMsg.h"

namespace ravik {
namespace {

// Keys whose text is not a typed character here: they keep their meaning
// as keys (Enter and Esc reach the page, which ignores them).
bool IsKeyText(char16_t c) { return c == u'\r' || c == u'\n' || c == 0x1B || c == u'\t' || c == 0x7F; }

}  // namespace

bool IsNumberEditChar(char16_t c) {
  return (c >= u'0' && c <= u'9') || c == 3 || c == 8 || c == 22 || c == 24 || c == u'-' || c == u'.';
}

int VirtualKey(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Delete: return VK_DELETE;
    default: return 0;
  }
}

// ------------------------------------------------------------ number edit

CNumEdit::CNumEdit(QWidget* parent) : QLineEdit(parent) {
  m_tooltip = new CCustomTTCtrl(this);
  // Edits that do not come from a key (a paste from the context menu, a
  // drop) are reported like typed characters, so the layout's value does
  // not go stale.
  connect(this, &QLineEdit::textEdited, this, [this] {
    if (!m_inKey) NotifyChar();
  });
  connect(this, &QLineEdit::textChanged, this, [this](const QString& t) {
    if (m_tipActive) {
      m_tipText = t;
      setToolTip(t);
    }
  });
}

void CNumEdit::setErrorHighlight(int on) {
  m_errorHighlight = on;
  ApplyColours();
}

void CNumEdit::setTipActive(int on) {
  m_tipActive = on;
  if (on) {
    m_tipText = text();
    setToolTip(m_tipText);
  } else {
    setToolTip(QString());
  }
}

void CNumEdit::ApplyColours() {
  // A read-only field keeps its colours (the static colour request).
  QPalette p = parentWidget() ? parentWidget()->palette() : QPalette();
  if (m_errorHighlight && !isReadOnly()) {
    p.setColor(QPalette::Base, QColor(255, 0, 0));
    p.setColor(QPalette::Text, QColor(255, 255, 255));
  }
  setPalette(p);
}

void CNumEdit::NotifyChar() {
  WndMsg m;
  m.msg = WM_CHAR;
  m.lParam = reinterpret_cast<std::intptr_t>(this);
  m.source = this;
  SendToParent(this, m);
}

void CNumEdit::keyPressEvent(QKeyEvent* event) {
  const QString t = event->text();
  const QString before = text();
  m_inKey = true;
  // Ctrl+A selects the field's text, whatever the filter lets through.
  if (event->matches(QKeySequence::SelectAll)) {
    QLineEdit::keyPressEvent(event);
    m_inKey = false;
    NotifyChar();
    return;
  }
  if (!t.isEmpty() && !IsKeyText(t.front().unicode())) {
    const char16_t c = t.front().unicode();
    if (m_anyChar || IsNumberEditChar(c)) QLineEdit::keyPressEvent(event);
    else event->accept();  // dropped
    m_inKey = false;
    NotifyChar();
    return;
  }
  QLineEdit::keyPressEvent(event);
  m_inKey = false;
  // A key without a character that changed the text (Delete) is reported too.
  if (text() != before) NotifyChar();
}

void CNumEdit::keyReleaseEvent(QKeyEvent* event) {
  WndMsg m;
  m.msg = WM_KEYUP;
  SendToParent(this, m);
  QLineEdit::keyReleaseEvent(event);
}

void CNumEdit::focusInEvent(QFocusEvent* event) {
  m_tipText = text();
  QLineEdit::focusInEvent(event);
}

void CNumEdit::mouseMoveEvent(QMouseEvent* event) {
  if (m_tipActive) {
    setFont(font());
    m_tipText = text();
    setToolTip(m_tipText);
  }
  QLineEdit::mouseMoveEvent(event);
}

// ------------------------------------------------------------ rich edit

class GutterWidget : public QWidget {
 public:
  explicit GutterWidget(CXRichEdit* edit) : QWidget(edit), m_edit(edit) {}

 protected:
  void paintEvent(QPaintEvent* event) override { m_edit->PaintGutter(event); }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) m_edit->GutterPress(event->position().toPoint().y());
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) m_edit->GutterRelease();
  }

 private:
  CXRichEdit* m_edit;
};

CXRichEdit::CXRichEdit(QWidget* parent)
    : QPlainTextEdit(parent), m_gutterBack(ColorFromRef(0xEEEEEE)), m_gutterText(ColorFromRef(0x696969)) {
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setUndoRedoEnabled(true);
  m_gutter = new GutterWidget(this);
  m_gutter->hide();
  connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
    if (m_gutterWidth <= 0) return;
    if (dy) m_gutter->scroll(0, dy);
    else m_gutter->update(0, rect.y(), m_gutter->width(), rect.height());
  });
}

CXRichEdit::~CXRichEdit() { JoinWorkers(true); }

void CXRichEdit::SetupGutter(int lineHeight) {
  m_gutterWidth = 0;
  m_lineHeight = lineHeight;
  m_gutterWidth = QFontMetrics(NormalFont()).horizontalAdvance(QStringLiteral("99999"));
  setViewportMargins(m_gutterWidth, 0, 0, 0);
  const QRect c = contentsRect();
  m_gutter->setGeometry(c.left(), c.top(), m_gutterWidth, c.height());
  m_gutter->setVisible(m_gutterWidth > 0);
  UpdateVisibleLines();
  m_gutter->update();
}

void CXRichEdit::UpdateVisibleLines() {
  m_visibleLines = m_lineHeight > 0 ? viewport()->height() / m_lineHeight + 1 : 0;
}

void CXRichEdit::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  const QRect c = contentsRect();
  m_gutter->setGeometry(c.left(), c.top(), m_gutterWidth, c.height());
  UpdateVisibleLines();
}

int CXRichEdit::FirstVisibleLine() const { return firstVisibleBlock().blockNumber(); }

void CXRichEdit::SetSelectedLine(int line) {
  m_selectedLine = line;
  m_gutter->repaint();
}

int CXRichEdit::LineAtY(int y) const {
  QTextBlock block = firstVisibleBlock();
  qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
  while (block.isValid() && top <= viewport()->height()) {
    const qreal bottom = top + blockBoundingRect(block).height();
    if (y >= top && y < bottom) return block.blockNumber() + 1;
    top = bottom;
    block = block.next();
  }
  return 0;
}

void CXRichEdit::PaintGutter(QPaintEvent*) {
  if (m_gutterWidth <= 0) return;
  QPainter painter(m_gutter);
  const QRect g(0, 0, m_gutter->width(), m_gutter->height());
  painter.fillRect(g, m_gutterBack);
  painter.setFont(NormalFont());
  UpdateVisibleLines();
  QTextBlock block = firstVisibleBlock();
  qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
  for (int k = 0; block.isValid() && top <= g.height() && (m_lineHeight <= 0 || k < m_visibleLines); ++k) {
    const int height = static_cast<int>(blockBoundingRect(block).height());
    const int n = block.blockNumber() + 1;
    const QRect cell(g.left(), static_cast<int>(top), g.width() - 2, height);
    if (n == m_selectedLine) {
      painter.setPen(Qt::NoPen);
      painter.setBrush(ColorFromRef(0xFF0000));
      painter.drawRoundedRect(cell, 2, 2);
      painter.setPen(Qt::white);
    } else {
      painter.setPen(m_gutterText);
    }
    painter.drawText(cell, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, QString::number(n));
    top += blockBoundingRect(block).height();
    block = block.next();
  }
}

void CXRichEdit::GutterPress(int y) {
  // As in the text itself, the button puts the caret on the line clicked.
  const int line = LineAtY(y);
  if (line <= 0) return;
  QTextCursor cursor(document()->findBlockByNumber(line - 1));
  setTextCursor(cursor);
}

void CXRichEdit::GutterRelease() {
  m_selectedLine = textCursor().blockNumber() + 1;
  m_gutter->repaint();
  WndMsg m;
  m.msg = WM_LBUTTONUP;
  m.wParam = static_cast<std::uintptr_t>(m_selectedLine);
  SendToParent(this, m);
}

void CXRichEdit::JoinWorkers(bool all) {
  for (auto it = m_workers.begin(); it != m_workers.end();) {
    if (all || it->done->load()) {
      it->thread->wait();
      it = m_workers.erase(it);
    } else {
      ++it;
    }
  }
}

QTextDocument* CXRichEdit::NewLargeDocument() {
  // A plain-text editor lays out every line of its document whenever its
  // width grows beyond the document's line width or when it is the view that
  // owns that width: a line layout of a few hundred bytes for each of
  // millions of lines. Lines do not wrap here, so the width does not matter:
  // an empty, never shown editor as wide as the screens takes the width
  // first, and this editor then only lays out the lines it shows.
  if (!m_widthHolder) {
    m_widthHolder = std::make_unique<QPlainTextEdit>();
    m_widthHolder->setAttribute(Qt::WA_DontShowOnScreen);
    m_widthHolder->setLineWrapMode(QPlainTextEdit::NoWrap);
  }
  // The editor is never wider than the screens; the horizontal scroll range
  // is this width less the editor's.
  QScreen* screen = this->screen();
  const int wide = screen ? screen->virtualGeometry().width() : 4096;
  m_widthHolder->resize(std::max(wide, width()) + 16, 32);
  m_widthHolder->show();
  auto* document = new QTextDocument();
  document->setDocumentLayout(new QPlainTextDocumentLayout(document));
  document->setUndoRedoEnabled(false);
  document->setDefaultFont(font());
  m_widthHolder->setDocument(document);
  m_widthHolder->setDocument(nullptr);
  m_widthHolder->hide();
  return document;
}

void CXRichEdit::SetCodeText(const QString& text) {
  ++m_serial;
  // Another text is another program: no block of it is highlighted yet.
  m_selectedLine = -1;
  m_gutter->update();
  JoinWorkers(false);
  if (text.size() < kBackgroundBytes) {
    m_preparing = false;
    m_pending.clear();
    m_pendingLatin1.clear();
    setReadOnly(false);
    // Loading a text is not an edit, and a loaded program is not undone.
    setUndoRedoEnabled(false);
    setPlainText(text);
    setUndoRedoEnabled(true);
    document()->setModified(false);
    emit textReady();
    return;
  }
  // A large text: the document is filled on a worker thread and handed to
  // the editor when it is complete; meanwhile the editor is read-only and
  // answers with the text itself.
  m_preparing = true;
  // A text of Latin-1 characters (most programs) waits as 8-bit text, half
  // the size, while the document is filled.
  const bool latin1 = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x100; });
  m_pendingLatin1 = latin1 ? text.toLatin1() : QByteArray();
  m_pending = latin1 ? QString() : text;
  setReadOnly(true);
  setPlainText(tr("Loading the program text..."));
  const unsigned serial = m_serial;
  QThread* guiThread = thread();
  QPointer<CXRichEdit> self(this);
  auto done = std::make_shared<std::atomic<bool>>(false);
  QTextDocument* document = NewLargeDocument();
  const QString wide = m_pending;
  const QByteArray narrow = m_pendingLatin1;
  std::unique_ptr<QThread> worker(QThread::create([self, serial, wide, narrow, guiThread, done, document]() mutable {
    try {
      if (narrow.isNull()) {
        document->setPlainText(wide);
      } else {
        // Piece by piece, each piece ending after a line end.
        QTextCursor end(document);
        constexpr qsizetype kPiece = 1 << 20;
        for (qsizetype at = 0; at < narrow.size();) {
          qsizetype stop = std::min(narrow.size(), at + kPiece);
          if (stop < narrow.size()) {
            const qsizetype lf = narrow.indexOf('\n', stop);
            stop = lf < 0 ? narrow.size() : lf + 1;
          }
          end.insertText(QString::fromLatin1(narrow.constData() + at, stop - at));
          at = stop;
        }
      }
      document->setUndoRedoEnabled(true);
      document->setModified(false);
    } catch (const std::bad_alloc&) {
      // No memory for the document: the editor keeps the text itself (and
      // saves it), without showing it.
      delete document;
      document = nullptr;
    }
    if (document) document->moveToThread(guiThread);
    // The editor waits for this thread before it goes away, so `self` is
    // alive when the call is queued; a late call for an older text is dropped.
    QMetaObject::invokeMethod(
        self.data(),
        [self, serial, document] {
          if (self) self->AdoptDocument(serial, document);
          else delete document;
        },
        Qt::QueuedConnection);
    done->store(true);
  }));
  document->moveToThread(worker.get());
  worker->start();
  if (!worker->isRunning() && !worker->isFinished()) {
    // No thread (no memory for its stack): as if the document had none.
    document->moveToThread(guiThread);
    delete document;
    QMetaObject::invokeMethod(
        this, [self, serial] { if (self) self->AdoptDocument(serial, nullptr); }, Qt::QueuedConnection);
    return;
  }
  m_workers.push_back(Worker{std::move(worker), done});
}

void CXRichEdit::AdoptDocument(unsigned serial, QTextDocument* document) {
  JoinWorkers(false);
  if (serial != m_serial) {
    delete document;
    return;
  }
  if (!document) {
    // No memory for the document: the text is not shown half, and whoever
    // gave it decides what the editor shows instead.
    emit textFailed();
    return;
  }
  // setDocument deletes a document that the editor made itself; one that
  // was adopted earlier (its parent is this editor) is deleted here.
  QTextDocument* old = this->document();
  const bool adoptedEarlier = old && old->parent() == this;
  document->setParent(this);
  if (document->defaultFont() != font()) document->setDefaultFont(font());
  setDocument(document);
  if (adoptedEarlier) old->deleteLater();
  setReadOnly(false);
  m_preparing = false;
  m_pending.clear();
  m_pendingLatin1.clear();
  m_gutter->update();
  emit textReady();
}

QString CXRichEdit::CodeText() const {
  if (!m_preparing) {
    // The document's own characters: toPlainText() would also turn every
    // no-break space of the program into a space.
    QString text = document()->toRawText();
    for (QChar& c : text) {
      const char16_t u = c.unicode();
      if (u == QChar::ParagraphSeparator || u == QChar::LineSeparator || u == 0xFDD0 || u == 0xFDD1) c = u'\n';
    }
    return text;
  }
  return m_pendingLatin1.isNull() ? m_pending : QString::fromLatin1(m_pendingLatin1);
}

// ------------------------------------------------------------ cell editor

CEditInplace::CEditInplace(QWidget* parent) : QLineEdit(parent) {}

void CEditInplace::keyPressEvent(QKeyEvent* event) {
  const int vk = VirtualKey(event->key());
  if (vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_UP || vk == VK_DOWN) {
    WndMsg m;
    m.msg = WM_KEYDOWN;
    m.wParam = static_cast<std::uintptr_t>(vk);
    SendWndMsg(m_list.data(), m);
    event->accept();
    return;
  }
  const QString t = event->text();
  if (!t.isEmpty() && !IsKeyText(t.front().unicode())) {
    if (IsNumberEditChar(t.front().unicode())) QLineEdit::keyPressEvent(event);
    else event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

// ------------------------------------------------------------ browse edit

CEditBrowse::CEditBrowse(QWidget* parent) : QWidget(parent) {
  m_edit = new QLineEdit(this);
  m_edit->setReadOnly(true);
  m_button = new QToolButton(this);
  m_button->setText(QStringLiteral("..."));
  connect(m_button, &QToolButton::clicked, this, &CEditBrowse::Browse);
}

QString CEditBrowse::text() const { return m_edit->text(); }
void CEditBrowse::setText(const QString& text) { m_edit->setText(text); }

void CEditBrowse::Browse() {
  const QString folder = Ui().FolderName(this, m_edit->text());
  if (!folder.isEmpty()) m_edit->setText(folder);
  WndMsg m;
  m.msg = WM_BROWSE_DONE;
  SendToParent(this, m);
}

void CEditBrowse::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int b = std::min(height(), width() / 2);
  m_edit->setGeometry(0, 0, width() - b, height());
  m_button->setGeometry(width() - b, 0, b, height());
}

}  // namespace ravik
