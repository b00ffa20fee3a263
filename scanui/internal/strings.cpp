#include "scanui/internal/strings.h"

#include <QCoreApplication>
#include <iterator>

namespace scanui::internal {
namespace {

constexpr int kFirstErrorText = 140;
const char* const kErrorTexts[] = {
    QT_TRANSLATE_NOOP("Oskelu", "Unable to use SCSI adapter."),
    QT_TRANSLATE_NOOP("Oskelu", "Unable to detect digitizer.\nPlease check all connections and switches."),
    QT_TRANSLATE_NOOP("Oskelu", "Failed to initialize digitizer."),
    QT_TRANSLATE_NOOP("Oskelu", "Failed to detect digitizer status.\nPlease check all connections and switches."),
    QT_TRANSLATE_NOOP("Oskelu", "Failed to set up digitizer"),
    QT_TRANSLATE_NOOP("Oskelu", "Failed to start up digitizer."),
    QT_TRANSLATE_NOOP("Oskelu", "Failed to start scanning."),
    QT_TRANSLATE_NOOP("Oskelu", "Failed to read scan data."),
    QT_TRANSLATE_NOOP("Oskelu", "Failed to delete object.(Internal Error)"),
    QT_TRANSLATE_NOOP("Oskelu", "Failed to reverse film."),
};

}  // namespace

QString stringTableText(int id) {
  const int index = id - kFirstErrorText;
  if (index < 0 || index >= int(std::size(kErrorTexts))) return QString();
  return Oskelu::tr(kErrorTexts[index]);
}

QString dllLoadFailedText() { return Oskelu::tr("Failed to load the necessary DLL."); }
QString cannotLoadCaption() { return Oskelu::tr("Initialize Error1"); }
QString symbolMissingCaption() { return Oskelu::tr("Initialize Error2"); }
QString deviceErrorCaption() { return Oskelu::tr("Scan"); }
QString noDetailText() { return Oskelu::tr("No detail."); }
QString scanDialogCaption() { return Oskelu::tr("SCAN"); }
QString badPitchText() { return Oskelu::tr("Unable to scan with this pixel spacing."); }

}  // namespace scanui::internal
