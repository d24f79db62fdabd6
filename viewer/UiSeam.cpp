#include "viewer/UiSeam.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <atomic>

#include "viewer/Language.h"

namespace ravik {

QString UiSeam::FolderName(QWidget*, const QString&) { return {}; }

namespace {

class QtSeam final : public UiSeam {
 public:
  void Message(QWidget* parent, const QString& caption, const QString& text, Icon icon) override {
    QMessageBox::Icon i = icon == Icon::Information ? QMessageBox::Information
                          : icon == Icon::Warning   ? QMessageBox::Warning
                                                    : QMessageBox::Critical;
    QMessageBox box(i, caption, text, QMessageBox::Ok, parent);
    box.exec();
  }
  Answer Question(QWidget* parent, const QString& caption, const QString& text, bool withCancel) override {
    auto buttons = QMessageBox::Yes | QMessageBox::No;
    if (withCancel) buttons |= QMessageBox::Cancel;
    QMessageBox box(QMessageBox::Question, caption, text, buttons, parent);
    box.setDefaultButton(withCancel ? QMessageBox::Cancel : QMessageBox::No);
    int r = box.exec();
    if (r == QMessageBox::Yes) return Answer::Yes;
    if (r == QMessageBox::No) return Answer::No;
    return withCancel ? Answer::Cancel : Answer::No;
  }
  QString OpenFileName(QWidget* parent, const QString& filter) override {
    return Run(parent, filter, QFileDialog::AcceptOpen);
  }
  QString SaveFileName(QWidget* parent, const QString& filter) override {
    return Run(parent, filter, QFileDialog::AcceptSave);
  }

  QString FolderName(QWidget* parent, const QString& start) override {
    return QFileDialog::getExistingDirectory(parent, QString(), start);
  }

 private:
  static QString Run(QWidget* parent, const QString& filter, QFileDialog::AcceptMode mode) {
    NcFileDialog dialog(parent, filter, mode);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
  }
};

QtSeam g_qtSeam;
std::atomic<UiSeam*> g_seam{nullptr};

}  // namespace

UiSeam& Ui() {
  UiSeam* s = g_seam.load();
  return s ? *s : g_qtSeam;
}

void SetUiSeam(UiSeam* seam) { g_seam.store(seam); }

NcFileDialog::NcFileDialog(QWidget* parent, const QString& filter, AcceptMode mode) : QFileDialog(parent) {
  // Qt's own dialog, whose accept() this class decides.
  setOption(QFileDialog::DontUseNativeDialog);
  setAcceptMode(mode);
  setNameFilter(filter);
  setDefaultSuffix(QStringLiteral("cnc"));
  // Qt's "existing file" mode only enables Open for names the current filter
  // lists; the file's existence is checked here on accept instead. The
  // overwrite question of a save dialog stays on (Qt's default).
  setFileMode(QFileDialog::AnyFile);
}

void NcFileDialog::accept() {
  if (acceptMode() == AcceptOpen) {
    const QStringList files = selectedFiles();
    const QFileInfo chosen(files.isEmpty() ? QString() : files.front());
    if (!chosen.isDir() && !chosen.isFile()) {
      Ui().Message(this, windowTitle(),
                   Tr(QStringLiteral("%1\nFile not found.\nCheck the file name and try again."),
                      QStringLiteral("%1\n找不到文件。\n请检查文件名后重试。"))
                       .arg(chosen.filePath()),
                   UiSeam::Icon::Warning);
      return;
    }
  }
  QFileDialog::accept();  // a folder is entered, a file chosen
}

QString NcFileFilter() {
  return QStringLiteral(
      "cnc Files (*.cnc);;nc Files (*.nc);;txt Files (*.txt);;"
      "Data Files (*.nc *.cnc *.txt);;All Files (*)");
}

}  // namespace ravik
