#include "viewer/RavikApp.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QSurfaceFormat>
#include <QTranslator>

#include <memory>

#include "platform/Host.h"
#include "viewer/CrashHandler.h"
#include "viewer/Language.h"
#include "viewer/Locks.h"
#include "viewer/RavikDlg.h"
#include "viewer/Styling.h"
#include "viewer/TextConv.h"
#include "viewer/UiSeam.h"
#include "viewer/render/RenderView.h"

namespace ravik {

void InstallAlertSink() {
  plat::SetAlertSink([](const std::u16string& text, const std::u16string& caption) {
    QString t = FromU16(text), c = FromU16(caption);
    QMetaObject::invokeMethod(
        qApp, [t, c] { Ui().Message(CRavikDlg::Instance(), c, t, UiSeam::Icon::Warning); },
        Qt::QueuedConnection);
  });
}

void RemoveAlertSink() { plat::SetAlertSink({}); }

bool ApplyQtTranslations() {
  static QTranslator* installed = nullptr;
  if (installed) {
    QCoreApplication::removeTranslator(installed);
    delete installed;
    installed = nullptr;
  }
  if (LanguageFlag() != 0) return true;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    plat::Trace("language: Qt's Chinese translations (qtbase_zh_CN.qm) are not installed");
    return false;
  }
  installed = translator.release();
  QCoreApplication::installTranslator(installed);
  return true;
}

void InitApplication(const QStringList& arguments) {
  // The settings of the application live under this key (QSettings).
  QCoreApplication::setOrganizationName(QStringLiteral("Tovrek Ravik"));
  QCoreApplication::setApplicationName(QStringLiteral("Ravik"));
  // The menu stays in the window (no global menu through the session bus).
  QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
  InitLanguage(arguments);
  ApplyQtTranslations();
  Tickets();
  LibraryMutex();
  InstallAlertSink();
}

int RunRavik(int argc, char** argv) {
  InstallCrashHandler();
  // Before the application exists, so that every context gets it.
  QSurfaceFormat::setDefaultFormat(RenderView::DefaultFormat());
  QApplication app(argc, argv);
  InitApplication(app.arguments());
  QApplication::setWindowIcon(AppIcon());
  {
    CRavikDlg dialog;
    dialog.exec();
  }
  RemoveAlertSink();
  return 0;
}

}  // namespace ravik
