// The result codes and their English texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <type_traits>

#include "driver/internal/status.h"
#include "driver/pravik.h"

namespace {

struct CodeText {
  std::uint32_t code;
  const char* text;
};

const CodeText kTable[] = {
    {0x0000, "No Error"},
    {0x0101, "USB interrupt pipe failed"},
    {0x0102, "USB interrupt wait system is not functioning"},
    {0x0103, "Failed to inform transceive error to scanner; sync. is lost"},
    {0x0104, "Host failed to reset protocol error at scanner; sync. is lost"},
    {0x0201, "Incorrect or invalid parameter is passed"},
    {0x0202, "Driver is already started."},
    {0x0203, "Driver was not started."},
    {0x0204, "No matching device was found for opening"},
    {0x0205, "Device is already open"},
    {0x0206, "Operation can not be performed; device is not open"},
    {0x0207, "Operation can not be performed now"},
    {0x0208, "Error internal to library"},
    {0x0209, "System call failed"},
    {0x020A, "Failed to send/receive data through USB"},
    {0x020B, "Full amount of data required for the successful completion is not received"},
    {0x020C, "Wait for the completion event of the operation timed out"},
    {0x020D, "Undefined error"},
    {0x1001, "EEPROM write failed"},
    {0x1002, "Flash write failed"},
    {0x1003, "Program memory check failed"},
    {0x1004, "Work memory check failed"},
    {0x1005, "Nonvolatile log file write failed"},
    {0x1006, "Scan counter write failed"},
    {0x1010, "Device program memory check failed"},
    {0x1011, "Device work memory check failed"},
    {0x1012, "Device EEPROM check failed"},
    {0x1020, "A/D parameter setting timed out"},
    {0x2001, "Unknown USB command"},
    {0x2002, "Unknown USB command parameter"},
    {0x2003, "Unknown command code for USB data"},
    {0x2004, "Unknown parameter in USB data"},
    {0x2005, "USB data reception timed out"},
    {0x2006, "USB data transmission timed out"},
    {0x2007, "USB status transmission timed out"},
    {0x2008, "USB interrupt transmission timed out"},
    {0x2009, "Command that can not be executed received while scanner is in error"},
    {0x200A, "Command that can not be executed received while scanner is in protocol error"},
    {0x200B, "Next command is received before completing the current one"},
    {0x200C, "Incorrect size of USB data"},
    {0x200D, "Command failed"},
    {0x200E, "Command is received before initialization"},
    {0x3001, "Device board is not ready"},
    {0x3002, "Device board command timed out"},
    {0x3003, "Device board response timed out"},
    {0x3004, "Device board is rebooting"},
    {0x3005, "Device EEPROM writes failed"},
    {0x3006, "Device EEPROM read failed"},
    {0x3011, "LCD board RxD timed out"},
    {0x3012, "LCD board command is incorrect"},
    {0x3021, "Barcode reader command timed out"},
    {0x3022, "Barcode reader initialization failed"},
    {0x4001, "Maintenance cover is open"},
    {0x4002, "Supply safety SW is ON"},
    {0x4003, "Two films are picked up"},
    {0x4012, "Film pickup motor SW3 is not ON"},
    {0x4016, "Film pickup motor SW3 is not ON"},
    {0x4013, "Film pickup motor SW4 is not ON"},
    {0x4014, "Film pickup motor SW5 is not ON"},
    {0x401B, "Film pickup motor SW5 is not ON"},
    {0x4022, "Roller open/close motor SW7 is not ON"},
    {0x4023, "Roller open/close motor SW8 is not OFF"},
    {0x402A, "Roller open/close motor SW8 is not ON"},
    {0x4081, "Film is missing in FILM EXIT"},
    {0x4082, "Film jam in FILM SET SW after FILM SET"},
    {0x4083, "Film jam in FILM EXIT SW after FILM RESET"},
    {0x40C2, "Suction cap control motor SW6 is not OFF"},
    {0x40C3, "Suction cap control motor SW13 is not ON"},
    {0x40CA, "Suction cap control motor SW6 is not ON"},
    {0x40CB, "Suction cap control motor SW13 is not OFF"},
    {0x40F0, "Scan or Move FILM transfer timed out"},
    {0x40F1, "Film pickup error"},
    {0x40F2, "Film jam in FILM IN SW at FILM REVERSE"},
    {0x40F3, "Film jam in FILM SET SW at FILM SET"},
    {0x40F4, "Film missing after FILM SET"},
    {0x40F5, "Error in step motor driver"},
    {0x40F6, "Film jam SW14 is ON"},
    {0x40F7, "Film jam SW15 is ON"},
    {0x40F8, "Film jam SW16 is ON"},
    {0x4101, "HSYNC is not ready"},
    {0x4102, "Polygon is not ready"},
    {0x4103, "No HSYNC pulse time out"},
    {0x4111, "Calibration failed"},
    {0x4112, "Sensitivity is too low"},
    {0x4113, "Sensitivity is too high"},
    {0x4114, "Calibration is unstable"},
    {0x4121, "Scan image data transfer timed out"},
    {0x4203, "SW3 is not OFF at arm initial position"},
    {0x4205, "SW5 is not OFF at arm initial position"},
    {0x4207, "SW7 is not OFF at roller initial position"},
    {0x420D, "SW13 is not OFF at suction cap initial position"},
    {0x5001, "No film for scanning in local mode"},
};

TEST(ErrorMessages, EveryCodeHasItsText) {
  std::set<std::uint32_t> codes;
  for (const auto& entry : kTable) {
    codes.insert(entry.code);
    EXPECT_STREQ(Pravik::GetErrorMessage(OPERATION_ERROR_CODE(entry.code)), entry.text)
        << std::hex << entry.code;
  }
  EXPECT_EQ(codes.size(), 92u);
}

TEST(ErrorMessages, TwoCodesShareTheTextsOfOthers) {
  EXPECT_STREQ(Pravik::GetErrorMessage(OPERATION_ERROR_CODE(0x4016)),
               Pravik::GetErrorMessage(OPERATION_ERROR_CODE(0x4012)));
  EXPECT_STREQ(Pravik::GetErrorMessage(OPERATION_ERROR_CODE(0x401B)),
               Pravik::GetErrorMessage(OPERATION_ERROR_CODE(0x4014)));
}

TEST(ErrorMessages, UnlistedCodesAreUnknown) {
  for (std::uint32_t code : {0x1u, 0x100u, 0x105u, 0x20Eu, 0x1000u, 0x200Fu, 0x4015u, 0x5002u,
                             0xFFFFu, 0x10000u, 0xFFFFFFFFu})
    EXPECT_STREQ(Pravik::GetErrorMessage(OPERATION_ERROR_CODE(code)), "Unknown error code")
        << std::hex << code;
}

static_assert(!std::is_copy_constructible_v<Pravik> && !std::is_copy_assignable_v<Pravik>,
              "a copy would share the device handle and the interrupt thread");

}  // namespace

namespace {

TEST(UdevRule, NamesTheDriversVendorAndTheFourProducts) {
  std::ifstream in(NDT_UDEV_RULE);
  std::string rule((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  char vendor[8];
  std::snprintf(vendor, sizeof vendor, "%04x", pravik::kVendorId);
  EXPECT_NE(rule.find(std::string("ATTR{idVendor}==\"") + vendor + "\""), std::string::npos) << rule;
  EXPECT_NE(rule.find("ATTR{idProduct}==\"001[0-3]\""), std::string::npos);  // 16 to 19
  EXPECT_NE(rule.find("ATTR{power/control}=\"on\""), std::string::npos);
}

}  // namespace
