// CRavikDlg: the main window. Left: the 3D view (CDlgRender) above the
// message list; right: the tab control with the pages. It runs modally;
// Enter and Escape never close it, and closing it with unsaved edits asks
// first. CDlgAbout: the About box.
#pragma once
#include <QAbstractTableModel>
#include <QDialog>
#include <QString>

#include <mutex>
#include <vector>

class QMenuBar;
class QTabBar;
class QTableView;

namespace ravik {

class CDlgParams;
class CDlgRender;
class CodePage;

// One row of the message list.
struct MessageRow {
  QString program;
  int line = 0;
  int sequence = 0;
  QString text;
};

// The message list's rows: program name, line number (from 1), N number,
// message text.
class MessageListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit MessageListModel(QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void Append(std::vector<MessageRow> rows);
  void Clear();
  const MessageRow& Row(int r) const { return m_rows[static_cast<std::size_t>(r)]; }

 private:
  std::vector<MessageRow> m_rows;
};

class CRavikDlg : public QDialog {
  Q_OBJECT

 public:
  enum : int { kCmdAbout = 32773 };

  explicit CRavikDlg(QWidget* parent = nullptr);
  ~CRavikDlg() override;

  // The one main window of the process (the library's callbacks reach the
  // message list through it); null when none exists.
  static CRavikDlg* Instance();

  // Empties the message list (and the rows still on their way to it).
  void ClearLists();
  void SetCodeText(const QString& text);
  QString GetCodeText() const;
  // The title text followed by a blank and `path`.
  void SetTitlePath(const QString& path);
  // The title without a path ("Ravik G code viewer").
  QString TitleText() const;
  // Asks before unsaved edits of the code page are lost; true when going on
  // is fine (saved, or the user does not want them).
  bool ConfirmDiscardEdits();
  // Goes to the code line of a message row (as a double click does).
  void OnMessageDoubleClick(int row);
  void ShowAbout();
  void SelectPage(int index);

  // Hands message rows from any thread to the list; never waits for the
  // interface thread.
  void QueueMessageRow(MessageRow row);

  CDlgRender* render() const { return m_render; }
  QTableView* messageList() const { return m_list; }
  MessageListModel* messageModel() const { return m_model; }
  QTabBar* tabBar() const { return m_tabBar; }
  QWidget* tabControl() const { return m_tab; }
  QMenuBar* menuBar() const { return m_menu; }
  const std::vector<CDlgParams*>& pages() const { return m_pages; }
  CodePage* codePage() const { return m_codePage; }
  int currentPage() const { return m_current; }

 public slots:
  void reject() override;  // Escape does not close the main window

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void OnInitDialog();
  void PlaceChildren();
  void FitTabs(int width);
  void ScaleMessageColumns();
  void FlushMessageRows();

  QString m_title;
  QMenuBar* m_menu = nullptr;
  QWidget* m_client = nullptr;
  QWidget* m_tab = nullptr;
  QTabBar* m_tabBar = nullptr;
  int m_tabFitWidth = -1;  // the width the tab font was last fitted to
  QTableView* m_list = nullptr;
  // Each message column's share of the list's width: the columns scale with
  // the list, and a column the user drags keeps its new share.
  std::vector<double> m_columnShares;
  bool m_scalingColumns = false;
  MessageListModel* m_model = nullptr;
  CDlgRender* m_render = nullptr;
  std::vector<CDlgParams*> m_pages;
  CodePage* m_codePage = nullptr;
  int m_current = 0;

  std::mutex m_pendingMutex;
  std::vector<MessageRow> m_pendingRows;
  bool m_flushQueued = false;
};

class CDlgAbout : public QDialog {
  Q_OBJECT

 public:
  explicit CDlgAbout(QWidget* parent = nullptr);
  // Product name, version, copyright and company, one per line.
  static QString VersionText();
};

// The message callback handed to the library (any thread).
void AppendMessageRow(char16_t* programName, int* line, int* sequenceNumber, char16_t* text);

}  // namespace ravik
