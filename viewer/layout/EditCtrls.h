// The custom edit controls of the pages:
//   CNumEdit     a single-line edit that takes only number characters unless
//                told otherwise, reports every key to its parent (WM_CHAR
//                (0, itself), WM_KEYUP (0, 0)), shows white on red when
//                flagged and carries a tooltip with its text;
//   CXRichEdit   the program editor with a line-number margin; a click in the
//                margin marks the caret's line and sends WM_LBUTTONUP (line
//                from 1, 0) to the parent;
//   CEditInplace the cell editor of CListCtrlEdited;
//   CEditBrowse  a read-only folder field with a browse button that sends
//                2024 (0, 0) to its parent when browsing ends.
#pragma once
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QToolButton>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

class QTextDocument;
class QThread;

namespace ravik {

class CCustomTTCtrl;

// Whether a character passes the number filter: '0' to '9', Ctrl+C (3),
// Backspace (8), Ctrl+V (22), Ctrl+X (24), '-' and '.'.
bool IsNumberEditChar(char16_t c);

class CNumEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit CNumEdit(QWidget* parent = nullptr);

  int errorHighlight() const { return m_errorHighlight; }
  void setErrorHighlight(int on);
  int anyChar() const { return m_anyChar; }
  void setAnyChar(int on) { m_anyChar = on; }
  int tipActive() const { return m_tipActive; }
  void setTipActive(int on);
  const QString& tipText() const { return m_tipText; }
  // Whether the layout marks this edit red while it is empty (on by default).
  bool markEmpty() const { return m_markEmpty; }
  void setMarkEmpty(bool on) { m_markEmpty = on; }
  CCustomTTCtrl* tooltip() const { return m_tooltip; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void NotifyChar();
  void ApplyColours();

  CCustomTTCtrl* m_tooltip = nullptr;
  QString m_tipText;
  int m_errorHighlight = 0;
  int m_anyChar = 0;
  int m_tipActive = 0;
  bool m_markEmpty = true;
  bool m_inKey = false;
};

class CXRichEdit : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit CXRichEdit(QWidget* parent = nullptr);
  ~CXRichEdit() override;

  // Texts above this size are put into a document on a worker thread, so a
  // program of a million lines does not freeze the interface. Such a
  // document never gets a line layout per line: only the lines shown are
  // laid out (see SetCodeText).
  static constexpr qsizetype kBackgroundBytes = 2 * 1024 * 1024;

  // Measures the margin (the width of "99999" in the normal dialog font)
  // and makes room for it; `lineHeight` is the height of one text line.
  void SetupGutter(int lineHeight);
  int gutterWidth() const { return m_gutterWidth; }
  int selectedLine() const { return m_selectedLine; }
  // Marks a line (from 1; -1 for none) and repaints the margin.
  void SetSelectedLine(int line);
  int visibleLines() const { return m_visibleLines; }
  // The number (from 0) of the first line in view.
  int FirstVisibleLine() const;
  int lineHeight() const { return m_lineHeight; }
  // The margin widget (for painting checks and clicks).
  QWidget* gutter() const { return m_gutter; }
  // The line (from 1) whose text stands at the margin's y, or 0.
  int LineAtY(int y) const;

  // Replaces the text without making it an undoable edit or a modification;
  // a large text is prepared off the interface thread (the editor is
  // read-only meanwhile and CodeText() answers with the given text).
  void SetCodeText(const QString& text);
  QString CodeText() const;
  bool IsPreparing() const { return m_preparing; }

 signals:
  // The text given last to SetCodeText is in the editor.
  void textReady();
  // There was no memory for the document of the text given last; the editor
  // is read-only and answers with that text until it is given another.
  void textFailed();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend class GutterWidget;
  void PaintGutter(QPaintEvent* event);
  // Lines that fit the text area: its height over the line height, plus one.
  void UpdateVisibleLines();
  void GutterPress(int y);
  void GutterRelease();
  void JoinWorkers(bool all);
  void AdoptDocument(unsigned serial, QTextDocument* document);
  // An empty document for a large text (see the .cpp).
  QTextDocument* NewLargeDocument();

  QWidget* m_gutter = nullptr;
  QColor m_gutterBack, m_gutterText;
  int m_gutterWidth = 0;
  int m_selectedLine = -1;
  int m_visibleLines = 0;
  int m_lineHeight = 0;

  // The text given last while it is prepared: as 8-bit text when every
  // character is Latin-1, else as it is.
  QString m_pending;
  QByteArray m_pendingLatin1;
  bool m_preparing = false;
  unsigned m_serial = 0;
  struct Worker {
    std::unique_ptr<QThread> thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Worker> m_workers;
  // Holds the line width of large documents (see SetCodeText).
  std::unique_ptr<QPlainTextEdit> m_widthHolder;
};

class CEditInplace : public QLineEdit {
  Q_OBJECT

 public:
  explicit CEditInplace(QWidget* parent = nullptr);
  // The list that receives Enter, Esc, Up and Down (WM_KEYDOWN (key, 0)).
  void setList(QWidget* list) { m_list = list; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QPointer<QWidget> m_list;
};

class CEditBrowse : public QWidget {
  Q_OBJECT

 public:
  explicit CEditBrowse(QWidget* parent = nullptr);
  QLineEdit* edit() const { return m_edit; }
  QToolButton* button() const { return m_button; }
  QString text() const;
  void setText(const QString& text);
  // Asks for a folder (through the dialog seam); a chosen folder becomes the
  // text. Then the parent receives 2024 (0, 0).
  void Browse();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QLineEdit* m_edit;
  QToolButton* m_button;
};

// Virtual-key codes the lists and editors exchange.
enum : int {
  VK_BACK = 0x08,
  VK_TAB = 0x09,
  VK_RETURN = 0x0D,
  VK_ESCAPE = 0x1B,
  VK_PRIOR = 0x21,
  VK_NEXT = 0x22,
  VK_LEFT = 0x25,
  VK_UP = 0x26,
  VK_RIGHT = 0x27,
  VK_DOWN = 0x28,
  VK_DELETE = 0x2E
};
// The virtual key of a Qt key (0 for keys the lists do not use).
int VirtualKey(int qtKey);

}  // namespace ravik
