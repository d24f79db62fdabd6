#include "viewer/RavikDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTabBar>
#include <QTableView>
#include <QVBoxLayout>

#include <atomic>

#include "viewer/DlgLoading.h"
#include "viewer/DlgRender.h"
#include "viewer/Language.h"
#include "viewer/PageBase.h"
#include "viewer/Styling.h"
#include "viewer/TextConv.h"
#include "viewer/UiSeam.h"
#include "viewer/layout/ListCtrls.h"
#include "viewer/pages/DataPages.h"
#include "viewer/pages/DlgCodeEdit.h"

#ifndef RAVIK_VERSION
#define RAVIK_VERSION "0.0.0"
#endif

namespace ravik {
namespace {

std::atomic<CRavikDlg*> g_mainWindow{nullptr};

QString Text(const char* key, const char* english) {
  QString s = GetLangString(QString::fromLatin1(key));
  return s.isEmpty() ? QString::fromUtf8(english) : s;
}

// The main window's client area: calls back when its size changes.
class ClientArea : public QWidget {
 public:
  explicit ClientArea(std::function<void()> onResize, QWidget* parent)
      : QWidget(parent), m_onResize(std::move(onResize)) {}

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    m_onResize();
  }

 private:
  std::function<void()> m_onResize;
};

QSize ScreenSize() {
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->size() : QSize(1280, 1024);
}

}  // namespace

// ------------------------------------------------------------ message list

MessageListModel::MessageListModel(QObject* parent) : QAbstractTableModel(parent) {}

int MessageListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int MessageListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

QVariant MessageListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  const MessageRow& r = m_rows[static_cast<std::size_t>(index.row())];
  switch (index.column()) {
    case 0: return r.program;
    case 1: return QString::number(r.line);
    case 2: return QString::number(r.sequence);
    case 3: return r.text;
    default: return {};
  }
}

QVariant MessageListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
  if (role != Qt::DisplayRole) return {};
  switch (section) {
    case 0: return Tr(QStringLiteral("NC name"), QStringLiteral("程序号"));
    case 1: return Tr(QStringLiteral("Line No."), QStringLiteral("行索引"));
    case 2: return Tr(QStringLiteral("N No."), QStringLiteral("N号"));
    case 3: return Tr(QStringLiteral("Error"), QStringLiteral("错误"));
    default: return {};
  }
}

void MessageListModel::Append(std::vector<MessageRow> rows) {
  if (rows.empty()) return;
  const int first = rowCount();
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
  for (MessageRow& r : rows) m_rows.push_back(std::move(r));
  endInsertRows();
}

void MessageListModel::Clear() {
  beginResetModel();
  m_rows.clear();
  endResetModel();
}

void AppendMessageRow(char16_t* programName, int* line, int* sequenceNumber, char16_t* text) {
  CRavikDlg* main = CRavikDlg::Instance();
  if (!main) return;
  MessageRow row;
  row.program = FromU16(programName);
  row.line = line ? *line : 0;
  row.sequence = sequenceNumber ? *sequenceNumber : 0;
  row.text = FromU16(text);
  main->QueueMessageRow(std::move(row));
}

// ------------------------------------------------------------ main window

CRavikDlg* CRavikDlg::Instance() { return g_mainWindow.load(std::memory_order_acquire); }

CRavikDlg::CRavikDlg(QWidget* parent) : QDialog(parent) {
  g_mainWindow.store(this, std::memory_order_release);
  m_title = Tr(QStringLiteral("Ravik G code viewer"), QStringLiteral("Ravik G代码编辑器"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(AppIcon());
  OnInitDialog();
}

CRavikDlg::~CRavikDlg() {
  // The loader is joined and the library shut down before the window that
  // its callbacks reach goes away.
  if (m_render) m_render->Shutdown();
  CRavikDlg* self = this;
  g_mainWindow.compare_exchange_strong(self, nullptr);
}

void CRavikDlg::OnInitDialog() {
  // 1-2: menu and title.
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  m_menu = new QMenuBar(this);
  m_menu->setNativeMenuBar(false);  // in the window, as on every platform
  layout->setMenuBar(m_menu);
  setWindowTitle(m_title);
  QMenu* top = m_menu->addMenu(Tr(QStringLiteral("About"), QStringLiteral("关于")));
  QAction* about = top->addAction(Tr(QStringLiteral("About"), QStringLiteral("关于")));
  about->setData(int(kCmdAbout));
  connect(about, &QAction::triggered, this, &CRavikDlg::ShowAbout);

  m_client = new ClientArea([this] { PlaceChildren(); }, this);
  layout->addWidget(m_client);

  // 3: the message list.
  const QSize screen = ScreenSize();
  m_model = new MessageListModel(this);
  m_list = new QTableView(m_client);
  m_list->setProperty("ctrlId", 1010);
  m_list->setModel(m_model);
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list->setSelectionMode(QAbstractItemView::SingleSelection);
  m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_list->setShowGrid(true);
  m_list->verticalHeader()->hide();
  m_list->horizontalHeader()->setStretchLastSection(false);
  m_list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  const int w = static_cast<int>(screen.width() * 0.5);
  for (int c = 0; c < 3; ++c) m_list->setColumnWidth(c, static_cast<int>(w * 0.1));
  m_list->setColumnWidth(3, static_cast<int>(w * 0.6));
  m_columnShares = {0.1, 0.1, 0.1, 0.6};
  connect(m_list->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
    if (m_scalingColumns || column < 0 || column >= static_cast<int>(m_columnShares.size())) return;
    if (m_list->width() > 0) m_columnShares[column] = static_cast<double>(size) / m_list->width();
  });
  connect(m_list, &QTableView::doubleClicked, this,
          [this](const QModelIndex& index) { OnMessageDoubleClick(index.row()); });

  // 4: fonts and styling.
  CreateDialogFonts(static_cast<int>(screen.height() * 0.8));
  StyleDialogChildren(m_client);
  m_list->horizontalHeader()->setFont(m_list->font());
  m_menu->setFont(NormalFont());

  // 5: the tab control.
  m_tab = new QWidget(m_client);
  m_tab->setProperty("ctrlId", 1005);
  m_tabBar = new QTabBar(m_tab);
  m_tabBar->setFont(NormalFont());
  m_tabBar->setUsesScrollButtons(false);
  m_tabBar->setElideMode(Qt::ElideRight);

  // 6: the view window (starts the 3D view and the library).
  m_render = new CDlgRender(this, m_client);
  m_render->OnInitDialog();

  // 7: the seven pages, in tab order; each reads its layout file.
  auto* code = new CDlgCodeEdit(m_tab);
  m_codePage = code;
  m_pages = {code,
             new CDlgCodeTable(m_tab),
             new CDlgCodeCommands(m_tab),
             new CDlgCodeOffset(m_tab),
             new CDlgCodePartZero(m_tab),
             new CDlgCodeOptions(m_tab),
             new CDlgCodeVariables(m_tab)};
  for (std::size_t i = 0; i < m_pages.size(); ++i) {
    if (!m_pages[i]->IsCreated()) m_pages[i]->Create();
    m_tabBar->insertTab(static_cast<int>(i), m_pages[i]->GetTitle());
    // A page with a list is owned by the view window.
    if (m_pages[i]->mainList()) m_pages[i]->SetOwnerWindow(m_render);
    m_pages[i]->setVisible(static_cast<int>(i) == m_current);
  }
  m_tabBar->setCurrentIndex(m_current);
  connect(m_tabBar, &QTabBar::currentChanged, this, &CRavikDlg::SelectPage);

  // Ctrl+N opens a program from anywhere in the window.
  auto* open = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_N), this);
  open->setContext(Qt::WindowShortcut);
  connect(open, &QShortcut::activated, this, [this] { m_render->OnOpenNcFile(); });

  // 9: size and placement.
  resize(std::max(800, screen.width() * 9 / 10), std::max(600, screen.height() * 9 / 10));
  setWindowState(windowState() | Qt::WindowMaximized);
  PlaceChildren();
}

void CRavikDlg::PlaceChildren() {
  if (!m_render || !m_client) return;
  const int wc = m_client->width(), hc = m_client->height();
  if (wc <= 0 || hc <= 0) return;
  const int tLeft = static_cast<int>(wc * 0.5), tTop = 10, tRight = wc - 10, tBottom = hc - 10;
  m_tab->setGeometry(tLeft, tTop, tRight - tLeft, hc - 20);
  FitTabs(tRight - tLeft);
  const int tabHeight = m_tabBar->sizeHint().height();
  m_tabBar->setGeometry(0, 0, tRight - tLeft, tabHeight);
  const int pageWidth = (tRight - tLeft) - 6, pageHeight = (tBottom - tTop) - tabHeight - 6;
  for (std::size_t i = 0; i < m_pages.size(); ++i) {
    m_pages[i]->setGeometry(2, tabHeight + 3, pageWidth, pageHeight);
    m_pages[i]->setVisible(static_cast<int>(i) == m_current);
  }
  const int s = static_cast<int>(tBottom * 0.8);
  m_list->setGeometry(10, s + 5, tLeft - 14, tBottom - s - 5);
  ScaleMessageColumns();
  m_render->setGeometry(10, tTop, tLeft - 14, s - tTop);
  m_render->show();
}

// Every tab stays in sight: when the titles in the dialog font are wider than
// the tab control, the tab font steps down (not below 8 pixels); only then are
// titles shortened.
void CRavikDlg::FitTabs(int width) {
  if (width == m_tabFitWidth || m_tabBar->count() == 0) return;
  m_tabFitWidth = width;
  QFont font = NormalFont();
  m_tabBar->setFont(font);
  while (m_tabBar->sizeHint().width() > width && font.pixelSize() > 8) {
    font.setPixelSize(font.pixelSize() - 1);
    m_tabBar->setFont(font);
  }
}

// The message list's columns keep their share of the list's width, as the
// list grows or shrinks with the window.
void CRavikDlg::ScaleMessageColumns() {
  const int width = m_list->width();
  if (width <= 0) return;
  // A column is never narrower than its title; the last one (the message
  // text) takes what the others leave.
  const QFontMetrics metrics(m_list->horizontalHeader()->font());
  int room = width - 2 * m_list->frameWidth();
  if (m_list->verticalScrollBar()->isVisible()) room -= m_list->verticalScrollBar()->width();
  const int n = static_cast<int>(m_columnShares.size());
  m_scalingColumns = true;
  for (int c = 0; c < n; ++c) {
    const QString title = m_model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    const int least = metrics.horizontalAdvance(title) + 2 * metrics.averageCharWidth();
    const int w = std::max(least, c == n - 1 ? room : static_cast<int>(m_columnShares[c] * width));
    room -= w;
    m_list->setColumnWidth(c, w);
  }
  m_scalingColumns = false;
}

void CRavikDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  PlaceChildren();
}

void CRavikDlg::SelectPage(int index) {
  if (index < 0 || index >= static_cast<int>(m_pages.size())) return;
  if (m_current >= 0 && m_current < static_cast<int>(m_pages.size())) m_pages[m_current]->hide();
  m_pages[index]->Refresh();
  m_pages[index]->show();
  m_pages[index]->repaint();
  m_current = index;
  if (m_tabBar->currentIndex() != index) m_tabBar->setCurrentIndex(index);
}

void CRavikDlg::ClearLists() {
  // The command page's list (the first list of the third page).
  if (m_pages.size() > 2)
    if (auto* list = qobject_cast<CListCtrlBase*>(m_pages[2]->mainList())) list->DeleteAllItems();
  {
    std::lock_guard lock(m_pendingMutex);
    m_pendingRows.clear();
  }
  m_model->Clear();
}

void CRavikDlg::QueueMessageRow(MessageRow row) {
  bool schedule = false;
  {
    std::lock_guard lock(m_pendingMutex);
    m_pendingRows.push_back(std::move(row));
    if (!m_flushQueued) {
      m_flushQueued = true;
      schedule = true;
    }
  }
  if (schedule) QMetaObject::invokeMethod(this, [this] { FlushMessageRows(); }, Qt::QueuedConnection);
}

void CRavikDlg::FlushMessageRows() {
  std::vector<MessageRow> rows;
  {
    std::lock_guard lock(m_pendingMutex);
    rows.swap(m_pendingRows);
    m_flushQueued = false;
  }
  m_model->Append(std::move(rows));
}

void CRavikDlg::SetCodeText(const QString& text) {
  if (m_codePage) m_codePage->SetCodeText(text);
}

QString CRavikDlg::GetCodeText() const { return m_codePage ? m_codePage->GetCodeText() : QString(); }

QString CRavikDlg::TitleText() const { return m_title; }

void CRavikDlg::SetTitlePath(const QString& path) { setWindowTitle(m_title + QLatin1Char(' ') + path); }

bool CRavikDlg::ConfirmDiscardEdits() {
  if (!m_codePage || !m_codePage->IsModified()) return true;
  const QString q = Text("SAVE_CHANGES", "The program has unsaved changes.\nSave them first?");
  switch (Ui().Question(this, QStringLiteral("Ravik"), q, true)) {
    case UiSeam::Answer::Yes: {
      QString path = m_render->currentPath();
      if (!m_render->SaveFile(path, m_codePage->GetCodeText())) return false;
      m_codePage->SetModified(false);
      return true;
    }
    case UiSeam::Answer::No:
      return true;
    case UiSeam::Answer::Cancel:
      return false;
  }
  return false;
}

void CRavikDlg::OnMessageDoubleClick(int row) {
  if (row < 0 || row >= m_model->rowCount() || !m_codePage) return;
  const int t = m_model->Row(row).line - 1;
  // Scrolls the line towards the top of the editor (or as far as the text
  // lets it), then goes there.
  int d = 0;
  if (auto* page = dynamic_cast<CDlgCodeEdit*>(m_codePage)) {
    CXRichEdit* edit = page->editor();
    const int f = edit->FirstVisibleLine();
    const int v = edit->visibleLines();
    const int l = edit->blockCount();
    if (t <= f) d = t - f;
    else d = (l - v - f < v) ? l - v - f : t - f;
  }
  m_codePage->GoToLine(d, t);
}

void CRavikDlg::ShowAbout() {
  CDlgAbout about(this);
  about.exec();
}

void CRavikDlg::reject() {}

void CRavikDlg::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void CRavikDlg::closeEvent(QCloseEvent* event) {
  if (m_render && m_render->loadInProgress()) {
    event->ignore();  // the progress dialog closes first
    return;
  }
  if (!ConfirmDiscardEdits()) {
    event->ignore();
    return;
  }
  // Stops a simulation that still runs and waits for the loader before the
  // library shuts down.
  if (m_render) m_render->Shutdown();
  event->accept();
  QDialog::done(QDialog::Accepted);
}

// ------------------------------------------------------------ About box

CDlgAbout::CDlgAbout(QWidget* parent) : QDialog(parent) {
  setWindowTitle(Tr(QStringLiteral("About Ravik"), QStringLiteral("关于 Ravik")));
  auto* group = new QGroupBox(this);
  auto* label = new QLabel(VersionText(), group);
  label->setObjectName(QStringLiteral("version"));
  auto* inner = new QVBoxLayout(group);
  inner->addWidget(label);
  auto* ok = new QPushButton(Tr(QStringLiteral("OK"), QStringLiteral("确定")), this);
  ok->setObjectName(QStringLiteral("ok"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addWidget(ok, 0, Qt::AlignRight);
  StyleDialogChildren(this);
  StyleDialogChildren(group);
}

QString CDlgAbout::VersionText() {
  return QStringLiteral("Ravik\r\n") + QStringLiteral(RAVIK_VERSION) + QStringLiteral("\r\n") +
         QStringLiteral("Copyright (C) Tovrek\r\n") + QStringLiteral("Tovrek\r\n");
}

}  // namespace ravik
