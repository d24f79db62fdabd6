// The file browser of the code page and the tooltip of the number edits.
//
//   CCustomShellList  the folders and the NC files of one folder, in two
//                     columns (name, size). Activating a folder (double
//                     click, Enter) enters it and tells the parent
//                     (WM_CHANGE_CURRENT_FOLDER); activating a file sends the
//                     parent 2035 (item index, 0) instead of launching it.
//   CShellTree        the folder tree beside it; a new selection reaches the
//                     parent as WM_NOTIFY TVN_SELCHANGEDW.
//   CCustomTTCtrl     the tooltip a CNumEdit carries.
//
// Both shell views read the file system through QFileSystemModel, which
// lists folders on a worker thread: a slow or huge folder fills in while
// the interface goes on (the model's directoryLoaded tells when it is read).
#pragma once
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QSortFilterProxyModel>
#include <QString>
#include <QTreeView>

class QFileSystemModel;
class QPainter;

namespace ravik {

// A file size as the list shows it: whole bytes below 1024 ("1,021 bytes"),
// else KiB, MiB or GiB with two decimals, in the viewer's language.
QString FileSizeText(qint64 bytes);

// Whether a file name is one the list shows: no '.' in it, or an extension
// (after the last '.', in any case) of "cnc", "nc", "txt", "pim", "pit".
bool IsNcFileName(const QString& name);

// Folders and NC files of the source model.
class NcFileProxy : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit NcFileProxy(QFileSystemModel* source, QObject* parent = nullptr);
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // The size column in the viewer's language ("1,021 bytes", "1.50 KiB").
  QVariant data(const QModelIndex& index, int role) const override;

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override;
  bool filterAcceptsColumn(int column, const QModelIndex& parent) const override;

 private:
  QFileSystemModel* m_fs;
};

class CCustomShellList : public QTreeView {
  Q_OBJECT

 public:
  explicit CCustomShellList(QWidget* parent = nullptr);

  // Shows the folder's folders and NC files (asynchronously).
  void DisplayFolder(const QString& folder);
  const QString& currentFolder() const { return m_folder; }
  // Items listed so far in the folder shown.
  int GetItemCount() const;
  // The full path of item `index` (empty outside the list).
  QString GetItemPath(int index) const;
  // The index of the item named `name`, or -1.
  int FindItem(const QString& name) const;
  // What a double click or Enter does to item `index`: a folder is entered,
  // a file is handed to the parent (2035). False for an invalid index.
  bool DoDefault(int index);
  // The two columns from the client width w - 20: 70 % and 30 %, the size
  // column widened to its longest text shown when that is wider.
  void OnSetColumns();
  QFileSystemModel* fileModel() const { return m_fs; }

 signals:
  // The folder shown has been read (for tests and the parent).
  void folderLoaded(const QString& folder);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // The viewport narrows when the vertical scroll bar appears.
  bool viewportEvent(QEvent* event) override;

 private:
  QFileSystemModel* m_fs;
  NcFileProxy* m_filter;
  QString m_folder;
};

class CShellTree : public QTreeView {
  Q_OBJECT

 public:
  explicit CShellTree(QWidget* parent = nullptr);
  // Selects (and reveals) a folder; false when it does not exist.
  bool SelectPath(const QString& folder);
  // The selected folder, or empty.
  QString GetSelectedPath() const;
  // Expands the first root item.
  void ExpandRoot();

 protected:
  void showEvent(QShowEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Expands down to the folder being revealed, selects it and scrolls it
  // into the middle of the view.
  void Reveal();

  QFileSystemModel* m_fs;
  // The folder SelectPath asked for: the folders above it load one after
  // another, each moving it, so it is revealed again as each arrives until
  // another folder is chosen.
  QString m_revealing;
  bool m_revealQueued = false;
};

class CCustomTTCtrl : public QObject {
  Q_OBJECT

 public:
  // Shows the tips of `owner` (which it watches for tooltip requests).
  explicit CCustomTTCtrl(QWidget* owner);

  static QSize GetIconSize() { return QSize(32, 32); }
  // Draws the tip's icon when `withIcon` is set; true in every case.
  bool OnDrawIcon(QPainter& painter, const QRect& rect, bool withIcon) const;
  // The tip is about to show over the window `under`: keeps its control id
  // and chooses the description ("OK Button description..." for 1,
  // "Cancel Button description..." for 2, empty otherwise).
  void OnShow(const QWidget* under);
  int controlId() const { return m_controlId; }
  const QString& description() const { return m_description; }
  // The text shown: the tip text, then the description on its own line.
  QString TipText(const QString& tip) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QWidget> m_owner;
  int m_controlId = 0;
  QString m_description;
};

}  // namespace ravik
