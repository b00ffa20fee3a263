// The viewer's texts: English in the code, Japanese and Simplified Chinese
// from the catalogues, all in one translation context.
#pragma once
#include <QCoreApplication>
#include <QString>

namespace viewer::app {

inline QString text(const char* english) { return QCoreApplication::translate("Tivola", english); }

// The caption of message boxes that have none of their own.
inline QString appCaption() { return QStringLiteral("Tivola"); }

}  // namespace viewer::app
