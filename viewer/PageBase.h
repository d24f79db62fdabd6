// CDlgParams: the base of the main window's tab pages. A page is a child
// widget of the tab control; the main window places it, shows the current
// one and calls Refresh when its tab is selected.
//
// CDlgCodeText: the code page as it stands until the full editor arrives:
// the program text of the last load, editable, with its modified flag (so
// that opening another file or closing asks before losing edits).
#pragma once
#include <QPointer>
#include <QString>
#include <QWidget>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

class QPlainTextEdit;
class QTextDocument;

namespace ravik {

class CDlgParams : public QWidget {
  Q_OBJECT

 public:
  explicit CDlgParams(QWidget* parent = nullptr);

  // The page's title on its tab.
  virtual QString GetTitle() const = 0;
  // The page's main control (its list or editor), or null.
  virtual QWidget* GetMainWnd() const { return nullptr; }
  // Fills the page from its data source; called when its tab is selected.
  virtual void Refresh() {}

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // Enter and Escape never hide or close a page.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QRect m_lastClient;
};

// What the main window needs of the code page.
class CodePage {
 public:
  virtual ~CodePage() = default;
  virtual void SetCodeText(const QString& text) = 0;
  virtual QString GetCodeText() const = 0;
  virtual bool IsModified() const = 0;
  virtual void SetModified(bool modified) = 0;
  // Scrolls by `scroll` lines and puts the cursor on line `line` (from 0).
  virtual void GoToLine(int scroll, int line) = 0;
};

class CDlgCodeText : public CDlgParams, public CodePage {
  Q_OBJECT

 public:
  explicit CDlgCodeText(QWidget* parent = nullptr);
  ~CDlgCodeText() override;

  // Texts above this size are laid out into a document on a worker thread,
  // so a program of a million lines does not freeze the interface.
  static constexpr qsizetype kBackgroundBytes = 2 * 1024 * 1024;

  QString GetTitle() const override;
  QWidget* GetMainWnd() const override;

  void SetCodeText(const QString& text) override;
  QString GetCodeText() const override;
  bool IsModified() const override;
  void SetModified(bool modified) override;
  void GoToLine(int scroll, int line) override;

  QPlainTextEdit* editor() const { return m_edit; }
  // Whether a text is still being prepared in the background.
  bool IsPreparing() const { return m_preparing; }

 signals:
  // The text given last is in the editor.
  void textReady();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Joins the workers that have finished (all of them with `all`).
  void JoinWorkers(bool all);
  void AdoptDocument(unsigned serial, QTextDocument* document);

  QPlainTextEdit* m_edit = nullptr;
  // The text being prepared (what GetCodeText answers meanwhile).
  QString m_pending;
  bool m_preparing = false;
  unsigned m_serial = 0;
  // A worker per large text given; a newer text does not wait for an older
  // one's layout, whose document is dropped when it arrives.
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Worker> m_workers;
};

}  // namespace ravik
