#include "viewer/layout/ShellList.h"

#include <QEvent>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

#include "viewer/Language.h"
#include "viewer/TextConv.h"
#include "viewer/layout/LayoutFile.h"
#include "viewer/layout/WinMsg.h"

namespace ravik {
namespace {

void Notify(QWidget* from, unsigned message, std::uintptr_t wParam) {
  WndMsg m;
  m.msg = message;
  m.wParam = wParam;
  m.source = from;
  SendToParent(from, m);
}

}  // namespace

bool IsNcFileName(const QString& name) {
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  if (dot < 0) return true;
  const QString ext = name.mid(dot + 1).toLower();
  return ext == QLatin1String("cnc") || ext == QLatin1String("nc") || ext == QLatin1String("txt") ||
         ext == QLatin1String("pim") || ext == QLatin1String("pit");
}

// ------------------------------------------------------------ filter

NcFileProxy::NcFileProxy(QFileSystemModel* source, QObject* parent) : QSortFilterProxyModel(parent), m_fs(source) {
  setSourceModel(source);
}

bool NcFileProxy::filterAcceptsRow(int row, const QModelIndex& parent) const {
  const QModelIndex index = m_fs->index(row, 0, parent);
  if (!index.isValid() || m_fs->isDir(index)) return true;
  return IsNcFileName(m_fs->fileName(index));
}

bool NcFileProxy::filterAcceptsColumn(int column, const QModelIndex&) const { return column < 2; }

QString FileSizeText(qint64 bytes) {
  if (bytes < 1024)
    return Tr(QStringLiteral("%1 bytes"), QStringLiteral("%1 字节")).arg(QLocale::system().toString(bytes));
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  static const char16_t* const kUnitsCn[] = {u"千字节", u"兆字节", u"吉字节", u"太字节"};
  double v = static_cast<double>(bytes) / 1024.0;
  int unit = 0;
  while (v >= 1024.0 && unit < 3) {
    v /= 1024.0;
    ++unit;
  }
  const QString number = QLocale::system().toString(v, 'f', 2);
  return number + QLatin1Char(' ') +
         Tr(QString::fromLatin1(kUnits[unit]), QString::fromUtf16(kUnitsCn[unit]));
}

QVariant NcFileProxy::data(const QModelIndex& index, int role) const {
  if (role == Qt::DisplayRole && index.column() == 1) {
    const QModelIndex source = mapToSource(index);
    if (!source.isValid() || m_fs->isDir(source)) return QString();
    return FileSizeText(m_fs->size(source));
  }
  return QSortFilterProxyModel::data(index, role);
}

QVariant NcFileProxy::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
    return section == 0 ? Tr(QStringLiteral("Name"), QStringLiteral("名称")) : Tr(QStringLiteral("Size"), QStringLiteral("大小"));
  if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole)
    return int((section == 1 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  return QSortFilterProxyModel::headerData(section, orientation, role);
}

// ------------------------------------------------------------ shell list

CCustomShellList::CCustomShellList(QWidget* parent) : QTreeView(parent) {
  m_fs = new QFileSystemModel(this);
  m_fs->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot | QDir::Drives);
  m_fs->setReadOnly(true);
  m_filter = new NcFileProxy(m_fs, this);
  setModel(m_filter);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setExpandsOnDoubleClick(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  header()->setStretchLastSection(false);
  connect(this, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
    if (index.parent() == rootIndex()) DoDefault(index.row());
  });
  connect(m_fs, &QFileSystemModel::directoryLoaded, this, [this](const QString& path) {
    if (!m_folder.isEmpty() && QDir::cleanPath(path) == m_folder) {
      OnSetColumns();
      emit folderLoaded(m_folder);
    }
  });
}

void CCustomShellList::DisplayFolder(const QString& folder) {
  m_folder = QDir::cleanPath(folder);
  m_fs->setRootPath(m_folder);
  setRootIndex(m_filter->mapFromSource(m_fs->index(m_folder)));
  OnSetColumns();
}

int CCustomShellList::GetItemCount() const {
  if (m_folder.isEmpty()) return 0;
  return m_filter->rowCount(rootIndex());
}

QString CCustomShellList::GetItemPath(int index) const {
  if (index < 0 || index >= GetItemCount()) return {};
  return m_fs->filePath(m_filter->mapToSource(m_filter->index(index, 0, rootIndex())));
}

int CCustomShellList::FindItem(const QString& name) const {
  const int n = GetItemCount();
  for (int i = 0; i < n; ++i)
    if (m_filter->index(i, 0, rootIndex()).data().toString() == name) return i;
  return -1;
}

bool CCustomShellList::DoDefault(int index) {
  const QString path = GetItemPath(index);
  if (path.isEmpty()) return false;
  if (m_fs->isDir(m_filter->mapToSource(m_filter->index(index, 0, rootIndex())))) {
    DisplayFolder(path);
    Notify(this, WM_CHANGE_CURRENT_FOLDER, 0);
    return true;
  }
  Notify(this, WM_SHELL_ACTIVATE, static_cast<std::uintptr_t>(index));
  return true;
}

void CCustomShellList::OnSetColumns() {
  // The factors are single-precision numbers; the products are not rounded
  // to single precision (200 x 0.7f lies just below 140).
  const double w = viewport()->width() - 20;
  int name = static_cast<int>(w * static_cast<double>(0.7f));
  int size = static_cast<int>(w * static_cast<double>(0.3f));
  // A size is never cut while the view has room for it: the name column
  // gives way.
  const int need = m_folder.isEmpty() ? 0 : sizeHintForColumn(1);
  if (need > size && need < viewport()->width()) {
    size = need;
    name = std::max(0, viewport()->width() - size);
  }
  setColumnWidth(0, name);
  setColumnWidth(1, size);
}

void CCustomShellList::resizeEvent(QResizeEvent* event) {
  QTreeView::resizeEvent(event);
  OnSetColumns();
}

bool CCustomShellList::viewportEvent(QEvent* event) {
  const bool result = QTreeView::viewportEvent(event);
  if (event->type() == QEvent::Resize) OnSetColumns();
  return result;
}

// ------------------------------------------------------------ shell tree

CShellTree::CShellTree(QWidget* parent) : QTreeView(parent) {
  m_fs = new QFileSystemModel(this);
  m_fs->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  m_fs->setReadOnly(true);
  m_fs->setRootPath(QDir::rootPath());
  setModel(m_fs);
  for (int c = 1; c < m_fs->columnCount(); ++c) hideColumn(c);
  setHeaderHidden(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // The folders above the one being revealed fill in after it was selected
  // (loaded, then sorted in batches), each time moving it: it is revealed
  // again after each change until the user takes over the tree.
  auto again = [this] {
    if (!m_revealing.isEmpty() && !m_revealQueued) {
      m_revealQueued = true;
      QTimer::singleShot(0, this, [this] {
        m_revealQueued = false;
        if (!m_revealing.isEmpty()) Reveal();
      });
    }
  };
  connect(m_fs, &QFileSystemModel::directoryLoaded, this, again);
  connect(m_fs, &QAbstractItemModel::rowsInserted, this, again);
  connect(m_fs, &QAbstractItemModel::layoutChanged, this, again);
  connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this] { m_revealing.clear(); });
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
    if (!m_revealing.isEmpty() && m_fs->filePath(current) != m_revealing) m_revealing.clear();
    NmHdr hdr;
    hdr.hwndFrom = this;
    hdr.idFrom = CtrlId(this);
    hdr.code = TVN_SELCHANGEDW;
    NotifyParentOf(hdr);
  });
}

bool CShellTree::SelectPath(const QString& folder) {
  const QString path = QDir::cleanPath(folder);
  if (!m_fs->index(path).isValid()) return false;
  m_revealing = path;
  Reveal();
  return true;
}

void CShellTree::Reveal() {
  const QModelIndex index = m_fs->index(m_revealing);
  if (!index.isValid()) return;
  for (QModelIndex p = index.parent(); p.isValid(); p = p.parent()) expand(p);
  if (currentIndex() != index) setCurrentIndex(index);
  scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void CShellTree::mousePressEvent(QMouseEvent* event) {
  m_revealing.clear();
  QTreeView::mousePressEvent(event);
}

void CShellTree::wheelEvent(QWheelEvent* event) {
  m_revealing.clear();
  QTreeView::wheelEvent(event);
}

void CShellTree::keyPressEvent(QKeyEvent* event) {
  m_revealing.clear();
  QTreeView::keyPressEvent(event);
}

void CShellTree::showEvent(QShowEvent* event) {
  QTreeView::showEvent(event);
  if (currentIndex().isValid()) scrollTo(currentIndex(), QAbstractItemView::PositionAtCenter);
}

QString CShellTree::GetSelectedPath() const {
  const QModelIndex index = currentIndex();
  return index.isValid() ? m_fs->filePath(index) : QString();
}

void CShellTree::ExpandRoot() {
  const QModelIndex first = m_fs->index(0, 0, rootIndex());
  if (first.isValid()) expand(first);
}

// ------------------------------------------------------------ tooltip

CCustomTTCtrl::CCustomTTCtrl(QWidget* owner) : QObject(owner), m_owner(owner) {
  if (owner) owner->installEventFilter(this);
}

bool CCustomTTCtrl::OnDrawIcon(QPainter& painter, const QRect& rect, bool withIcon) const {
  if (withIcon) {
    // The tip's icon from the file beside the executable, or, when it is
    // missing, a blue disc with a white "i" drawn in its place.
    const QPixmap image(FromU16(MakeExePath(u"tooltip_icon.png")));
    if (!image.isNull()) {
      painter.drawPixmap(rect, image);
      return true;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1E, 0x64, 0xC8));
    painter.drawEllipse(rect.adjusted(1, 1, -1, -1));
    painter.setPen(Qt::white);
    painter.drawText(rect, Qt::AlignCenter, QStringLiteral("i"));
    painter.restore();
  }
  return true;
}

void CCustomTTCtrl::OnShow(const QWidget* under) {
  m_controlId = CtrlId(under);
  if (m_controlId == 1) m_description = QStringLiteral("OK Button description...");
  else if (m_controlId == 2) m_description = QStringLiteral("Cancel Button description...");
  else m_description.clear();
}

QString CCustomTTCtrl::TipText(const QString& tip) const {
  return m_description.isEmpty() ? tip : tip + QLatin1Char('\n') + m_description;
}

bool CCustomTTCtrl::eventFilter(QObject* watched, QEvent* event) {
  if (watched != m_owner || event->type() != QEvent::ToolTip) return false;
  OnShow(m_owner);
  const QString tip = m_owner->toolTip();
  if (tip.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), TipText(tip), m_owner);
  return true;
}

}  // namespace ravik
