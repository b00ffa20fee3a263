// The scan UI's string table: English in the code, the other languages from
// the installed catalogue (context "Oskelu").
#pragma once

#include <QString>

namespace scanui::internal {

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
QString tr(const char* text);    // a text of the string table in the user's language

}  // namespace scanui::internal
