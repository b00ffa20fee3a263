// Tivola, the image viewer.
#include <QApplication>

#include "platform/paths.h"
#include "platform/qt/translations.h"
#include "viewer/app/application.h"

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  platform::qt::Translation translation;
  translation.install(QStringLiteral("tivola"),
                      QString::fromStdString((platform::paths::programDir() / "translations").string()));
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
