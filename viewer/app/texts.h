// The viewer's texts: English in the code, Japanese and Simplified Chinese
// from the catalogues, all in one translation context.
#pragma once
#include <QCoreApplication>
#include <QString>

namespace viewer::app {

// Tivola::tr("...") for a text written where it is shown, so that lupdate finds
// it; text() for one that comes from a table marked QT_TRANSLATE_NOOP("Tivola", ...).
class Tivola {
  Q_DECLARE_TR_FUNCTIONS(Tivola)
};
inline QString text(const char* english) { return Tivola::tr(english); }

// The caption of message boxes that have none of their own.
inline QString appCaption() { return QStringLiteral("Tivola"); }

}  // namespace viewer::app
