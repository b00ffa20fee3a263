// The scan UI's string table: English in the code, the other languages from
// the installed catalogue (context "Oskelu").
#pragma once

#include <QCoreApplication>
#include <QString>

namespace scanui::internal {

// The string table's translation context: Oskelu::tr("...") gives a text in the
// user's language, and lupdate finds it there. A dialog's own tr() would look
// in the dialog's base class instead.
class Oskelu {
  Q_DECLARE_TR_FUNCTIONS(Oskelu)
};

// String ids 140 to 149: the error texts of the digitizer connection, indexed
// by its error codes 0 to 9. Other ids give an empty text.
QString stringTableText(int id);

QString dllLoadFailedText();     // "Failed to load the necessary DLL."
QString cannotLoadCaption();     // "Initialize Error1"
QString symbolMissingCaption();  // "Initialize Error2"
QString deviceErrorCaption();    // "Scan"
QString noDetailText();          // "No detail."
QString scanDialogCaption();     // "SCAN"
QString badPitchText();          // "Unable to scan with this pixel spacing."

}  // namespace scanui::internal
