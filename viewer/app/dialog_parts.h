// The small steps the viewer's dialogs build with; their own, not the program's.
#pragma once
#include <QtGlobal>

class QDialog;
class QHBoxLayout;
class QPushButton;
class QWidget;

namespace viewer::app::dialog_parts {

// Enter in an edit box never presses a button.
QPushButton* button(QWidget* parent, const char* caption, int id);

// OK and Cancel in a row, wired to accept and reject.
QHBoxLayout* okCancel(QDialog* d, const char* ok = QT_TRANSLATE_NOOP("Tivola", "OK"),
                      const char* cancel = QT_TRANSLATE_NOOP("Tivola", "Cancel"));

}  // namespace viewer::app::dialog_parts
