// CMoireSettingsDlg: the seven settings of the moire reduction scan mode.
#pragma once

#include <QDialog>

#include "scanui/internal/settings.h"

namespace scanui::internal {

// What OK finds wrong with the values, in the order it checks them.
enum class MoireCheck { Ok, BadPitch, FilterWidth, NoDirection };
MoireCheck checkMoire(const AntiMoire& values);
// The two warnings are fixed texts, the same in every language.
QString moireFilterWidthText();
QString moireNoDirectionText();

class CMoireSettingsDlg : public QDialog {
 public:
  explicit CMoireSettingsDlg(QWidget* parent);
  void load(const AntiMoire& values);
  // The values as the controls hold them; texts that are no number count 0.
  AntiMoire values() const;
  // OK: closes only with values that pass the checks.
  void accept() override;
};

}  // namespace scanui::internal
