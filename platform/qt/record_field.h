// The Qt hook of the study-field rule (platform::text::fieldHolds): a typed,
// pasted or dropped character that the files cannot carry as typed is refused,
// the field keeps what it held, and a short note under the field says why.
#pragma once

#include <QString>

class QLineEdit;
class QPlainTextEdit;

namespace platform::qt {

// singleValue: the text becomes one DICOM value, so a backslash is refused too.
void guardRecordField(QLineEdit* field, bool singleValue = true);
void guardRecordField(QPlainTextEdit* field, bool singleValue = true);

// The object name of the note, a child of the field's window.
inline constexpr const char* kRefusalNoteName = "refusalNote";

// What the note says for a refused character.
QString refusalText(char32_t refused);

}  // namespace platform::qt
