#include "viewer/app/format_prompt.h"

#include "platform/qt/prompt.h"
#include "viewer/app/dialogs.h"
#include "viewer/app/pipeline.h"
#include "viewer/app/texts.h"

namespace viewer::app {

FormatPrompt::FormatPrompt() { formats::setPrompt(this); }
FormatPrompt::~FormatPrompt() { formats::setPrompt(nullptr); }

bool FormatPrompt::rawParameters(const std::string& fileName, std::uint64_t fileSize,
                                 formats::RawDialogValues& values) {
  // The progress window would sit over the question; it comes back afterwards.
  OpeningDialog* opening = openingDialog();
  const bool wasVisible = opening != nullptr && opening->isVisible();
  if (wasVisible) opening->hide();
  RawParametersDialog d(fileName, fileSize, values);
  const bool ok = d.exec() == QDialog::Accepted;
  if (ok) values = d.values();
  if (wasVisible) opening->show();
  return ok;
}

void FormatPrompt::message(const std::string& message, const std::string& caption) {
  platform::qt::prompt().message(nullptr, text(message.c_str()), text(caption.c_str()), platform::qt::Icon::Warning,
                                 platform::qt::Buttons::Ok);
}

bool FormatPrompt::jpegQuality(int& quality) {
  JpegQualityDialog d(quality);
  if (d.exec() != QDialog::Accepted) return false;
  quality = d.quality();
  return true;
}

}  // namespace viewer::app
