// Tivola, the image viewer.
#include <QApplication>

#include "platform/paths.h"
#include "platform/qt/translations.h"
#include "viewer/app/application.h"

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  // The program's catalogue and the one of its windows.
  const QString catalogues = QString::fromStdString((platform::paths::programDir() / "translations").string());
  platform::qt::Translation translation, windows;
  translation.install(QStringLiteral("tivola"), catalogues);
  windows.install(QStringLiteral("tivola_view"), catalogues);
  QStringList args = QApplication::arguments();
  args.removeFirst();
  viewer::app::TivolaApp app;
  // A failed start still ends through the exit, which writes the settings.
  if (!app.initInstance(args, viewer::app::processEnvironment())) {
    app.exitInstance();
    return 0;
  }
  const int code = QApplication::exec();
  app.exitInstance();
  return code;
}
