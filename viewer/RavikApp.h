// Start-up of the viewer: the steps main() runs before the main window, kept
// here so that the tests run the same ones.
#pragma once

#include <QStringList>

namespace ravik {

// Settings key ("Tovrek Ravik"), language flag, the "tickets" lock and the
// alert sink. Needs the QApplication.
void InitApplication(const QStringList& arguments);

// Qt's own texts (the file dialog, the Yes/No/Cancel buttons of questions)
// in the viewer's language: for Chinese, Qt's Chinese translations
// (qtbase_zh_CN.qm from Qt's translations folder) are installed; for
// English they are removed. False when Chinese is chosen and the
// translations are not installed on the system.
bool ApplyQtTranslations();

// Routes the library's alerts ("failed to read the file!") to the message
// box seam. An alert from any thread is queued to the interface thread and
// never waits for it.
void InstallAlertSink();
void RemoveAlertSink();

// The whole program: crash handler, application, main window run modally.
int RunRavik(int argc, char** argv);

}  // namespace ravik
