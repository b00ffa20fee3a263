// Ombrel OUTPUT-PATH: scans films with the film-scan UI straight into numbered
// files; the extension of OUTPUT-PATH chooses TIFF (.tif), DICOM (.dcm) or raw.
#include <QApplication>

#include "hosts/scanapp/ombrel.h"
#include "platform/paths.h"
#include "platform/qt/translations.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  platform::qt::Translation translation;
  translation.install("ombrel", QString::fromStdString((platform::paths::programDir() / "translations").string()));
  if (argc < 2) return 0;
  return ombrel::run(argv[1], "Oskelu.DLL");
}
