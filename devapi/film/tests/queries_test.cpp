// Error queries, the scanner's log, its inquiry data and film table, and film transport.
#include <gtest/gtest.h>

#include <cstring>

#include "devapi/film/tests/brightel_fixture.h"
#include "platform/clock.h"

namespace brightel_test {
namespace {

class QueryTest : public BrightelTest {
 protected:
  void SetUp() override {
    BrightelTest::SetUp();
    ASSERT_EQ(open(), 1);
  }
  devapi::DeviceErrorInfo error() {
    devapi::DeviceErrorInfo info{};
    EXPECT_EQ(api.GetError(handle, &info), 1);
    return info;
  }
  // Waits until the interrupt of a device error has reached the library.
  bool waitForDeviceError(int code) {
    return eventually([&] { return error().device_error == std::uint32_t(code); });
  }
};

TEST_F(QueryTest, AnInterruptErrorOutranksTheLastResultUntilCleared) {
  const auto c = condition(10, 10, 100, 12);
  ASSERT_EQ(api.SetCondition(handle, &c), 1);
  film.raiseError(0x4001, "COVER OPEN");
  ASSERT_TRUE(waitForDeviceError(0x4001));
  auto info = error();
  EXPECT_EQ(info.error_class, 4);
  EXPECT_EQ(info.code, 0x4001);
  EXPECT_EQ(info.result_code, 0u);

  devapi::ScanCondition back{};
  EXPECT_EQ(api.GetCondition(handle, &back), 0) << "conditions fail while a device error is kept";
  std::uint32_t lines = 0;
  EXPECT_EQ(api.GetScanStatus(handle, &lines), 0);

  // The scanner's own text, and asking for it keeps what it explains.
  devapi::DeviceErrorString text{};
  ASSERT_EQ(api.GetErrorString(&text), 1);
  EXPECT_EQ(text.code, 0x4001);
  EXPECT_STREQ(text.text, "COVER OPEN");
  EXPECT_EQ(error().code, 0x4001);

  film.clearLog();
  ASSERT_EQ(api.ClearHardError(handle), 1);
  EXPECT_EQ(commands().size(), 1u) << "one reset of the error";
  EXPECT_EQ(error().code, 0);
  EXPECT_EQ(film.errorCode(), 0);
}

TEST_F(QueryTest, ClearHardErrorWithoutDeviceErrorSendsNothingButClearsTheLastCode) {
  const auto c = condition(10, 10, 0, 12);
  EXPECT_EQ(api.SetCondition(handle, &c), 0);
  EXPECT_EQ(error().code, 513);
  EXPECT_EQ(error().error_class, 9);
  film.clearLog();
  EXPECT_EQ(api.ClearHardError(handle), 1);
  EXPECT_TRUE(commands().empty());
  EXPECT_EQ(error().code, 0);
  EXPECT_EQ(error().error_class, 0);
}

TEST_F(QueryTest, DriverTextsFitTheRoomOfTheErrorString) {
  const auto c = condition(10, 10, 0, 12);
  EXPECT_EQ(api.SetCondition(handle, &c), 0);
  devapi::DeviceErrorString text;
  std::memset(&text, 0x55, sizeof text);
  ASSERT_EQ(api.GetErrorString(&text), 1);
  EXPECT_EQ(text.code, 513);
  EXPECT_STREQ(text.text, "Incorrect or invalid parameter is passed");
  EXPECT_EQ(error().code, 513) << "asking for the text keeps the code";
}

TEST_F(QueryTest, TheScannersLogEndsBeforeItsEndOfFileByte) {
  std::vector<std::uint8_t> stored(40, 'a');
  stored[25] = 0x1A;
  film.setStored(25, stored);
  std::vector<char> room(64, 'x');
  devapi::DeviceLogBuffer log{std::uint32_t(room.size()), room.data(), 0};
  ASSERT_EQ(api.GetLog(handle, &log), 1);
  EXPECT_EQ(log.log_sz, 25u);
  EXPECT_EQ(std::string(room.data()), std::string(25, 'a'));

  devapi::DeviceLogBuffer tiny{1, room.data(), 0};
  EXPECT_EQ(api.GetLog(handle, &tiny), 0);
  devapi::DeviceLogBuffer none{0, room.data(), 0};
  EXPECT_EQ(api.GetLog(handle, &none), 0);

  std::vector<std::uint8_t> plain(10, 'b');
  film.setStored(25, plain);
  devapi::DeviceLogBuffer whole{std::uint32_t(room.size()), room.data(), 0};
  ASSERT_EQ(api.GetLog(handle, &whole), 1);
  EXPECT_EQ(whole.log_sz, 10u);
  EXPECT_EQ(std::string(room.data()), std::string(9, 'b')) << "the NUL takes the last byte";
}

TEST_F(QueryTest, ScannerTypeFunctionsAndLimitsComeFromTheInquiryDataOnce) {
  film.clearLog();
  devapi::ScannerTypeInfo type;
  std::memset(&type, 0x55, sizeof type);
  ASSERT_EQ(api.GetScannerType(handle, &type), 1);
  EXPECT_EQ(type.body, 1);
  EXPECT_EQ(type.auto_feeder, 1);
  EXPECT_EQ(type.roll_film, 0);
  EXPECT_EQ(std::string(type.vendor_id, 32), "KORVA" + std::string(27, ' '));
  EXPECT_EQ(std::string(type.product_id, 32),
            "FILM DIGITIZER  " + std::string(1, '\0') + std::string(15, ' '));
  EXPECT_EQ(std::string(type.product_rev, 8), std::string("1.00\0   ", 8));
  EXPECT_STREQ(type.board_name, "7163-01");
  EXPECT_STREQ(type.hardware_rev, "1.00   ");
  EXPECT_STREQ(type.firm_rev, "12.03  ");

  devapi::FunctionInfo f;
  std::memset(&f, 0x55, sizeof f);
  ASSERT_EQ(api.GetFunction(handle, &f), 1);
  const auto* b = reinterpret_cast<const std::uint8_t*>(&f);
  EXPECT_EQ(b[0], 2);  // inquiry byte 2 = 0x02
  EXPECT_EQ(b[3], 2);
  EXPECT_EQ(b[5], 1);  // byte 7 = 0x52: bits 6, 4, 1
  EXPECT_EQ(b[6], 0);
  EXPECT_EQ(b[7], 1);
  EXPECT_EQ(b[9], 1);
  EXPECT_EQ(b[10], 0);
  EXPECT_EQ(std::string(f.vendor, 8), "KORVA   ");
  EXPECT_EQ(f.vendor_end, 0);
  for (int i = 42; i <= 47; ++i) EXPECT_EQ(b[i], 1) << i;  // 0x3F
  EXPECT_EQ(b[56], 16);
  EXPECT_EQ(b[57], 2);  // 0x0A: bits 0-2
  EXPECT_EQ(b[58], 1);  // bits 3-7
  EXPECT_EQ(b[63], 10);
  EXPECT_EQ(b[64], 40);
  EXPECT_EQ(f.value68, 30);
  EXPECT_EQ(f.value70, 200);
  EXPECT_EQ(f.value72, 365);
  for (int i = 74; i <= 81; ++i) EXPECT_EQ(b[i], 1) << i;  // 0xFF
  EXPECT_EQ(b[82], 0);

  devapi::FuncLimitationInfo limits;
  std::memset(&limits, 0x55, sizeof limits);
  ASSERT_EQ(api.GetFuncLimitation(handle, &limits), 1);
  for (int flag : limits.flags) EXPECT_EQ(flag, 0);

  EXPECT_EQ(commands().size(), 1u) << "the inquiry data are read once";
}

TEST_F(QueryTest, FilmSizesComeFromTheFilmTable) {
  film.clearLog();
  devapi::FilmSizeInfo known{};
  known.film_sz_id = 1;
  ASSERT_EQ(api.GetFilmSizeID(handle, &known), 1);
  EXPECT_GT(known.width, 0u);
  EXPECT_GT(known.height, 0u);
  devapi::FilmSizeScope scope{};
  scope.film_sz_id = 1;
  ASSERT_EQ(api.GetFilmSizeScope(handle, &scope), 1);
  // The scope takes the entry's words at bytes 8, 12, 10 and 14, in that order;
  // the simulated table holds 0, width, 0, height there.
  EXPECT_EQ(scope.min_width, 0u);
  EXPECT_EQ(scope.min_height, known.width);
  EXPECT_EQ(scope.max_width, 0u);
  EXPECT_EQ(scope.max_height, known.height);

  devapi::FilmSizeInfo missing;
  std::memset(&missing, 0x55, sizeof missing);
  missing.film_sz_id = 99;
  ASSERT_EQ(api.GetFilmSizeID(handle, &missing), 1);
  EXPECT_EQ(missing.sub_id, 0);
  EXPECT_EQ(missing.width, 0u);
  EXPECT_EQ(missing.height, 0u);
  EXPECT_EQ(commands().size(), 1u) << "the film table is read once while connected";
}

TEST_F(QueryTest, TheFilmTableIsReadAgainAfterAReconnection) {
  devapi::FilmSizeInfo info{};
  info.film_sz_id = 1;
  ASSERT_EQ(api.GetFilmSizeID(handle, &info), 1);
  bus->unplug(film);
  sim::Scanner again = bus->plug(sim::filmDigitizer());
  const auto tableRead = [&] {
    for (const auto& e : again.log(sim::LogEntry::Kind::Command))
      if (e.word == (38 | 0x100)) return true;
    return false;
  };
  EXPECT_TRUE(eventually([&] {
    return !again.log(sim::LogEntry::Kind::Open).empty() &&
           api.GetFilmSizeID(handle, &info) == 1 && tableRead();
  }))
      << "the table of the scanner that left was kept";
  EXPECT_GT(info.width, 0u);
}

TEST_F(QueryTest, FilmTransport) {
  film.clearLog();
  ASSERT_EQ(api.NextFilm(handle), 1) << lastCode();
  ASSERT_EQ(api.ReverseFilm(handle), 1) << lastCode();
  ASSERT_EQ(api.MoveFilm(handle, 120), 1) << lastCode();
  EXPECT_EQ(api.MoveFilm(handle, -1), 0);
  EXPECT_EQ(api.MoveFilm(handle, 70000), 0);
  ASSERT_EQ(api.EjectFilm(handle), 1) << lastCode();
  ASSERT_EQ(api.Calibration(handle), 1) << lastCode();
  std::vector<std::uint16_t> words;
  for (const auto& e : commands()) words.push_back(e.word);
  // Next film and reverse each load and read the film status.
  const std::vector<std::uint16_t> expected = {3, 6 | 0x100, 3, 6 | 0x100, 8, 7, 4};
  EXPECT_EQ(words, expected);
  const auto sent = commands();
  EXPECT_EQ(sent[0].bytes[8] | sent[0].bytes[9] << 8, 1);
  EXPECT_EQ(sent[2].bytes[8] | sent[2].bytes[9] << 8, 2);
  EXPECT_EQ(sent[4].bytes[8] | sent[4].bytes[9] << 8, 120);
}

}  // namespace
}  // namespace brightel_test
