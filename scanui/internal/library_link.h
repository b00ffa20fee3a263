// What the library gives its dialog, the dialog's scans and the CR link: the
// library drives them, and they reach back only through this, so none of them
// needs the library's own state.
#pragma once
#include <string>

namespace scanui {
struct ScanRecord;
}

namespace scanui::internal {

class DigitizerConnection;

class LibraryLink {
 public:
  // The digitizer connection the library holds for as long as it is loaded.
  virtual DigitizerConnection& digitizer() = 0;
  // Whether the dialog's window exists.
  virtual bool dialogOpen() = 0;
  // Whether the host took a transfer callback, so that a handed image is released.
  virtual bool hostTakesImages() = 0;
  // The study texts (CP932) of an imported CR image, into the dialog's hidden fields.
  virtual void importedStudy(const std::string& componentName, const std::string& componentId,
                             const std::string& seriesDescription) = 0;
  // An image is ready for the host, as XFerReady announces it.
  virtual void imageReady(ScanRecord* record) = 0;
  // Exit as the dialog's button gives it: queued, so it runs after the caller returns.
  virtual void postExit() = 0;

 protected:
  ~LibraryLink() = default;
};

}  // namespace scanui::internal
