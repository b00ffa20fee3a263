// The translation loader: English lives in the code; Japanese and Simplified
// Chinese catalogues are compiled .qm files beside the library that uses them.
#pragma once

#include <QLocale>
#include <QString>
#include <memory>

class QTranslator;

namespace platform::qt {

// A catalogue installed into the application while this object lives; removed
// and freed again by the destructor, so its owner may be unloaded right after.
class Translation {
 public:
  Translation();
  ~Translation();
  Translation(const Translation&) = delete;
  Translation& operator=(const Translation&) = delete;

  // Installs "<name>_<language>.qm" from `directory` for the first of the
  // locale's languages that has one (Japanese "ja", Simplified Chinese "zh_CN").
  // English, a language without a catalogue, or no application: nothing, false.
  bool install(const QString& name, const QString& directory,
               const QLocale& locale = QLocale::system());
  void remove();
  bool installed() const { return translator_ != nullptr; }

 private:
  std::unique_ptr<QTranslator> translator_;
};

}  // namespace platform::qt
