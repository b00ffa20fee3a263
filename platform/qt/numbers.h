// Numbers shown and read in dialogs and files: always the C locale, whatever
// locale Qt or the host set for the process.
#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

namespace platform::qt {

QString formatInt(std::int64_t value);
// Fixed notation with `decimals` digits after the point ("4.0").
QString formatFixed(double value, int decimals);

// The whole text, blanks around it ignored, must be the number; else nullopt.
std::optional<std::int64_t> parseInt(QStringView text);
std::optional<double> parseDouble(QStringView text);

}  // namespace platform::qt
