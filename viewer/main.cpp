// Ravik: the viewer program. For now one window holding the 3D tool-path
// view; the application's main window replaces it.
#include <QApplication>
#include <QSurfaceFormat>
#include <QVBoxLayout>
#include <QWidget>

#include "viewer/render/RenderView.h"

int main(int argc, char** argv) {
  // Before the application exists, so that every context gets it.
  QSurfaceFormat::setDefaultFormat(ravik::RenderView::DefaultFormat());
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("Ravik"));
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(new ravik::RenderView(&window));
  window.resize(1000, 800);
  window.show();
  return app.exec();
}
