// The readers' and writers' questions answered with the viewer's dialogs;
// their message boxes go through the platform prompt.
#pragma once
#include "viewer/formats/format_support.h"

namespace viewer::app {

class FormatPrompt : public formats::Prompt {
 public:
  FormatPrompt();
  ~FormatPrompt() override;
  FormatPrompt(const FormatPrompt&) = delete;
  FormatPrompt& operator=(const FormatPrompt&) = delete;
  bool rawParameters(const std::string& fileName, std::uint64_t fileSize, formats::RawDialogValues& values) override;
  void message(const std::string& text, const std::string& caption) override;
  bool jpegQuality(int& quality) override;
};

}  // namespace viewer::app
