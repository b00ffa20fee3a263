// Controls are named by their numeric id: the id as text is the objectName.
#pragma once

#include <QString>
#include <QWidget>

namespace platform::qt {

inline QString controlName(int id) { return QString::number(id); }

inline void setControlId(QObject* control, int id) { control->setObjectName(controlName(id)); }

// The child of `root` with that id and type, or null.
template <typename T>
T* control(const QWidget* root, int id) {
  if (root == nullptr) return nullptr;
  return root->findChild<T*>(controlName(id));
}

}  // namespace platform::qt
