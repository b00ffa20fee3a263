// The data source over recording stand-ins of the film-scan UI, the manager and
// the UI's images, shared by the unit tests and the interop tests.
#pragma once

#include "hosts/twain/internal/data_source.h"
#include "hosts/twain/tests/recording_memory.h"
#include "platform/ini.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace sourcetest {

using twain::DataSource;

// What the stand-in UI and manager were asked, and what they answer.
struct World {
  std::vector<std::string> calls;
  int available = 1, init = 1;
  void* dialog = &available;  // any widget the UI shows
  void* shownParent = &init;
  std::string shownSuffix;
  int feederCount = 0;
  TW_UINT16 managerRc = TWRC_SUCCESS;
  std::vector<TW_UINT16> sent;  // DAT_NULL messages to the application
  TW_UINT32 sentFrom = 0, sentTo = 0;
};
inline World* world = nullptr;

// Images the UI would hand over; counts what is released.
struct Images {
  scanui::ScanData next{};
  std::vector<std::uint8_t> pixels;
  int fetched = 0, released = 0;
  // width x height samples, sample (x, y) = x + 3 y in the low byte, and in the
  // high byte of two 7, or 3 where bits stored are 10 or fewer.
  void make(std::uint32_t width, std::uint32_t height, int bytes, int bits) {
    pixels.assign(std::size_t{width} * height * bytes, 0);
    for (std::uint32_t y = 0; y < height; ++y)
      for (std::uint32_t x = 0; x < width; ++x)
        for (int b = 0; b < bytes; ++b)
          pixels[(std::size_t{y} * width + x) * bytes + b] =
              static_cast<std::uint8_t>(b == 0 ? x + 3 * y : bits > 10 ? 7 : 3);
    next = record(width, height, pixels.data(), bytes, bits);
  }
  static scanui::ScanData record(std::uint32_t width, std::uint32_t height, const void* pixels, int bytes, int bits) {
    scanui::ScanData r{};
    r.width = width;
    r.height = height;
    r.pixels = const_cast<void*>(pixels);
    r.bytesPerPixel = static_cast<std::uint8_t>(bytes);
    r.bits = static_cast<std::uint8_t>(bits);
    r.pitch = 50;
    r.left = 10;
    r.top = 20;
    r.frameWidth = 300;
    r.frameHeight = 400;
    return r;
  }
};
inline Images* images = nullptr;

inline twain::ScanUiFunctions ui() {
  twain::ScanUiFunctions f;
  f.SetDSProcAddress = [](int (*)(), int (*)()) { world->calls.push_back("SetDSProcAddress"); };
  f.IsThereAnyDigitizerAvailable = [](std::intptr_t) {
    world->calls.push_back("IsThereAnyDigitizerAvailable");
    return world->available;
  };
  f.IsDigitizerAvailable = [](std::intptr_t) { return 1; };
  f.InitUI = [](std::intptr_t) {
    world->calls.push_back("InitUI");
    return world->init;
  };
  f.ShowUI = [](void* parent, const char* suffix) -> void* {
    world->calls.push_back("ShowUI");
    world->shownParent = parent;
    world->shownSuffix = suffix != nullptr ? suffix : "<null>";
    return world->dialog;
  };
  f.HideUI = [](std::intptr_t) {
    world->calls.push_back("HideUI");
    return 1;
  };
  f.TermUI = [](std::intptr_t) { world->calls.push_back("TermUI"); };
  f.GetScanData = [](scanui::ScanData* out) {
    ++images->fetched;
    *out = images->next;
    return out;
  };
  f.ReleaseScanData = [](scanui::ScanData* data) {
    ++images->released;
    data->pixels = nullptr;
  };
  f.GetAutofeederCount = [] { return world->feederCount; };
  f.ResetAutofeederCount = [] {
    world->calls.push_back("ResetAutofeederCount");
    return 1;
  };
  f.CeaseScan = [] {
    world->calls.push_back("CeaseScan");
    return 1;
  };
  return f;
}

inline TW_UINT16 manager(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF) {
  EXPECT_EQ(DG, DG_CONTROL);
  EXPECT_EQ(DAT, DAT_NULL);
  world->sent.push_back(MSG);
  world->sentFrom = origin->Id;
  world->sentTo = dest->Id;
  return world->managerRc;
}

class Source : public ::testing::Test {
 protected:
  // Also called again inside a test, for a fresh source per case.
  void SetUp() override {
    w = World{};
    world = &w;
    pictures = Images{};
    images = &pictures;
    std::filesystem::copy_file(std::filesystem::path(TWAIN_TEST_DATA) / "Selvane.cap", dir / "Selvane.cap",
                               std::filesystem::copy_options::overwrite_existing);
    testsupport::writeFile(dir / "Selvane.ini",
                           "[DS Identity]\nversionMAJOR=2\nversionMINOR=5\n"
                           "versionINFO=0123456789012345678901234567890123456789\n"
                           "Manufacturer=Maker\nProductFamily=Family of digitizers\n"
                           "ProductName=A product name that is longer than thirty-two\n");
    pictures.make(37, 1000, 1, 8);
    source = std::make_unique<DataSource>(twain::sourceIdentityFrom(dir / "Selvane.ini"), dir / "Selvane.cap", ui(),
                                          &manager);
    app.Id = 5;
    std::strcpy(app.ProductName, "Imaging program");
    // As a manager of TWAIN 2.x does before the source is opened: handles are
    // then the recording memory's, whose sizes the tests know.
    TW_ENTRYPOINT entry{sizeof(TW_ENTRYPOINT), &manager, &recording::allocate, &recording::free, &recording::lock,
                        &recording::unlock};
    ASSERT_EQ(call(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &entry), TWRC_SUCCESS);
  }
  // A source whose manager gave no memory functions (TWAIN 1.x): its handles
  // are plain heap blocks.
  void withPlainHandles() {
    source = std::make_unique<DataSource>(twain::sourceIdentityFrom(dir / "Selvane.ini"), dir / "Selvane.cap", ui(),
                                          &manager);
  }
  void TearDown() override {
    world = nullptr;
    images = nullptr;
  }

  TW_UINT16 call(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF data) {
    return source->entry(&app, DG, DAT, MSG, data);
  }
  TW_UINT16 status() {
    TW_STATUS s{};
    EXPECT_EQ(call(DG_CONTROL, DAT_STATUS, MSG_GET, &s), TWRC_SUCCESS);
    return s.ConditionCode;
  }
  // Brings the source to a state through the operations an application uses.
  void reach(int state) {
    if (state >= 4) {
      TW_IDENTITY self{};
      self.Id = 9;
      ASSERT_EQ(call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &self), TWRC_SUCCESS);
    }
    if (state >= 5) {
      TW_USERINTERFACE u{1, 1, nullptr};
      ASSERT_EQ(call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &u), TWRC_SUCCESS);
    }
    if (state >= 6) {
      ASSERT_EQ(source->transferReady(), 1);
    }
    if (state >= 7) {
      TW_HANDLE dib = nullptr;
      ASSERT_EQ(call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
      recording::free(dib);
    }
    ASSERT_EQ(source->state(), state);
  }
  void setCurrent(const char* section, const char* value) {
    ASSERT_TRUE(platform::ini::writeString(dir / "Selvane.cap", section, "Current", value));
  }

  World w;
  testsupport::TempDir dir;
  Images pictures;
  std::unique_ptr<DataSource> source;
  TW_IDENTITY app{};
};

}  // namespace sourcetest
