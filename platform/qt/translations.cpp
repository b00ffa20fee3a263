#include "platform/qt/translations.h"

#include <QCoreApplication>
#include <QTranslator>

namespace platform::qt {

Translation::Translation() = default;

Translation::~Translation() { remove(); }

bool Translation::install(const QString& name, const QString& directory, const QLocale& locale) {
  remove();
  if (QCoreApplication::instance() == nullptr) return false;
  if (locale.language() == QLocale::English || locale.language() == QLocale::C) return false;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(locale, name, QStringLiteral("_"), directory)) return false;
  if (!QCoreApplication::installTranslator(translator.get())) return false;
  translator_ = std::move(translator);
  return true;
}

void Translation::remove() {
  if (!translator_) return;
  if (QCoreApplication::instance() != nullptr) QCoreApplication::removeTranslator(translator_.get());
  translator_.reset();
}

}  // namespace platform::qt
