// Message boxes and file dialogs go through this seam, so that tests can
// answer them without a person (and headless runs never block on one).
#pragma once
#include <QFileDialog>
#include <QString>

class QWidget;

namespace ravik {

class UiSeam {
 public:
  enum class Icon { Information, Warning, Error };
  enum class Answer { Yes, No, Cancel };

  virtual ~UiSeam() = default;
  // A message with an OK button.
  virtual void Message(QWidget* parent, const QString& caption, const QString& text, Icon icon) = 0;
  // A question with Yes and No (and Cancel when `withCancel`).
  virtual Answer Question(QWidget* parent, const QString& caption, const QString& text,
                          bool withCancel) = 0;
  // The chosen path, or an empty text when the dialog was cancelled.
  virtual QString OpenFileName(QWidget* parent, const QString& filter) = 0;
  virtual QString SaveFileName(QWidget* parent, const QString& filter) = 0;
  // A folder chosen to browse to, starting at `start`; empty when cancelled.
  // Seams that do not answer it choose nothing.
  virtual QString FolderName(QWidget* parent, const QString& start);
};

// The seam in use: the Qt dialogs unless a test installed its own.
UiSeam& Ui();
// Installs a seam (not owned); null restores the Qt dialogs.
void SetUiSeam(UiSeam* seam);

// The filter of the NC file dialogs.
QString NcFileFilter();

// The NC file dialog. For opening, the name of any existing file is taken
// whatever filter is selected (the filter only decides what the list shows),
// and a name that names no file is refused with a message.
class NcFileDialog : public QFileDialog {
 public:
  NcFileDialog(QWidget* parent, const QString& filter, AcceptMode mode);
  void accept() override;
};

}  // namespace ravik
