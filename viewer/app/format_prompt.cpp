#include "viewer/app/format_prompt.h"

#include "platform/qt/prompt.h"
#include "viewer/app/dialogs.h"
#include "viewer/app/pipeline.h"
#include "viewer/app/texts.h"
#include "viewer/strings.h"

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
  // The writers' one message carries a path; its frame is what is translated.
  QString shown = text(message.c_str());
  const std::string frame = viewerString(41);
  const std::size_t hole = frame.find("%s");
  const std::string head = frame.substr(0, hole), tail = frame.substr(hole + 2);
  if (message.size() >= head.size() + tail.size() && message.compare(0, head.size(), head) == 0 &&
      message.compare(message.size() - tail.size(), tail.size(), tail) == 0) {
    const std::string path = message.substr(head.size(), message.size() - head.size() - tail.size());
    shown = Tivola::tr("Failed to write the file(%1).").arg(QString::fromStdString(path));
  }
  platform::qt::prompt().message(nullptr, shown, text(caption.c_str()), platform::qt::Icon::Warning,
                                 platform::qt::Buttons::Ok);
}

bool FormatPrompt::jpegQuality(int& quality) {
  JpegQualityDialog d(quality);
  if (d.exec() != QDialog::Accepted) return false;
  quality = d.quality();
  return true;
}

}  // namespace viewer::app
