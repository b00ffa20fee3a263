#include <gtest/gtest.h>

#include <QLocale>
#include <clocale>

#include "platform/qt/numbers.h"

namespace platform::qt {
namespace {

// A locale with a decimal comma and grouping, set for Qt and for C.
class CommaLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const char* old = std::setlocale(LC_ALL, nullptr);
    saved_ = old ? old : "C";
    std::setlocale(LC_ALL, "de_DE.UTF-8");  // may be missing; Qt's default still differs
  }
  void TearDown() override {
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, saved_.c_str());
  }
  std::string saved_;
};

TEST_F(CommaLocale, FormatsWithAPointAndNoGrouping) {
  EXPECT_EQ(formatInt(1234567), "1234567");
  EXPECT_EQ(formatInt(-42), "-42");
  EXPECT_EQ(formatFixed(4.0, 1), "4.0");
  EXPECT_EQ(formatFixed(4.25, 2), "4.25");
  EXPECT_EQ(formatFixed(1234.5, 0), "1234");  // round half to even, as printf does
}

TEST_F(CommaLocale, ParsesTheWholeTextOrNothing) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> value;
  };
  const Case cases[] = {
      {"12", 12},     {" 12 ", 12},  {"-3", -3},         {"+7", 7},       {"", std::nullopt},
      {" ", std::nullopt}, {"12a", std::nullopt}, {"1.5", std::nullopt}, {"+-5", std::nullopt},
      {"1,000", std::nullopt}, {"99999999999999999999", std::nullopt}, {"\xef\xbc\x91", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parseInt(QString::fromUtf8(c.text)), c.value) << c.text;
}

TEST_F(CommaLocale, ParsesDecimalsWithAPointOnly) {
  EXPECT_EQ(parseDouble(u"4.7"), 4.7);
  EXPECT_EQ(parseDouble(u" -0.5"), -0.5);
  EXPECT_EQ(parseDouble(u"4,7"), std::nullopt);
  EXPECT_EQ(parseDouble(u"nan"), std::nullopt);
  EXPECT_EQ(parseDouble(u"1e3"), std::nullopt);
}

}  // namespace
}  // namespace platform::qt
