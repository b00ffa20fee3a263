// The data source's state machine over a recording stand-in of the film-scan UI.
#include "hosts/twain/internal/fix32.h"
#include "hosts/twain/tests/source_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace sourcetest;

TEST_F(Source, WrongStatesAreRefusedWithSeqError) {
  struct Triplet {
    TW_UINT32 DG;
    TW_UINT16 DAT, MSG;
    std::vector<int> allowed;  // the states the operation belongs to
  } triplets[] = {
      {DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, {4}},
      {DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, {3}},
      {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, {4}},
      {DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, {5}},
      {DG_CONTROL, DAT_CAPABILITY, MSG_GET, {4, 5, 6, 7}},
      {DG_CONTROL, DAT_CAPABILITY, MSG_SET, {4}},
      {DG_CONTROL, DAT_CAPABILITY, MSG_RESET, {4}},
      {DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, {4, 5, 6, 7}},
      {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, {6, 7}},
      {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, {6}},
      {DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, {4, 5, 6}},
      {DG_CONTROL, DAT_XFERGROUP, MSG_GET, {4, 5, 6}},
      {DG_IMAGE, DAT_IMAGEINFO, MSG_GET, {6}},
      {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, {4, 5, 6}},
      {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GETDEFAULT, {4, 5, 6}},
      {DG_IMAGE, DAT_IMAGELAYOUT, MSG_RESET, {4}},
      {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, {6, 7}},
      {DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, {6}},
  };
  for (int state = 3; state <= 7; ++state) {
    for (const Triplet& t : triplets) {
      if (std::find(t.allowed.begin(), t.allowed.end(), state) != t.allowed.end()) continue;
      SetUp();
      reach(state);
      // Room enough for any of the records; a capability asks for ICAP_XFERMECH.
      alignas(8) std::uint8_t data[256] = {};
      TW_CAPABILITY cap{ICAP_XFERMECH, TWON_ONEVALUE, nullptr};
      std::memcpy(data, &cap, sizeof cap);
      EXPECT_EQ(call(t.DG, t.DAT, t.MSG, data), TWRC_FAILURE) << "state " << state << " DAT " << t.DAT << " MSG " << t.MSG;
      EXPECT_EQ(source->conditionCode(), TWCC_SEQERROR) << "state " << state << " DAT " << t.DAT << " MSG " << t.MSG;
      EXPECT_EQ(source->state(), state);
    }
  }
}

TEST_F(Source, StatusUnknownOperationsAndASecondApplication) {
  reach(4);
  struct Case {
    TW_UINT32 DG;
    TW_UINT16 DAT, MSG;
  } badProtocol[] = {
      {DG_AUDIO, DAT_NULL, MSG_GET},
      {DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET},
      {DG_CONTROL, DAT_CAPABILITY, MSG_GETFIRST},
      {DG_CONTROL, DAT_CAPABILITY, MSG_GETNEXT},
      {DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET},
      {DG_IMAGE, DAT_PALETTE8, MSG_GET},
  };
  for (const Case& c : badProtocol) {
    TW_CAPABILITY cap{ICAP_XFERMECH, 0, nullptr};
    EXPECT_EQ(call(c.DG, c.DAT, c.MSG, &cap), TWRC_FAILURE) << c.DAT;
    EXPECT_EQ(status(), TWCC_BADPROTOCOL) << c.DAT;
    EXPECT_EQ(status(), TWCC_SUCCESS) << "the code is reported once";
  }
  TW_IDENTITY other{};
  other.Id = 6;
  TW_IDENTITY self{};
  EXPECT_EQ(source->entry(&other, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &self), TWRC_FAILURE);
  EXPECT_EQ(status(), TWCC_MAXCONNECTIONS);
  EXPECT_EQ(source->state(), 4);
}

TEST_F(Source, IdentityAndTheProbe) {
  TW_IDENTITY got{};
  ASSERT_EQ(call(DG_CONTROL, DAT_IDENTITY, MSG_GET, &got), TWRC_SUCCESS);
  EXPECT_EQ(got.Version.MajorNum, 2);
  EXPECT_EQ(got.Version.MinorNum, 5);
  EXPECT_EQ(got.Version.Language, 2);
  EXPECT_EQ(got.Version.Country, 81);
  EXPECT_STREQ(got.Version.Info, "0123456789012345678901234567890");  // 31 characters
  EXPECT_EQ(got.ProtocolMajor, 1);
  EXPECT_EQ(got.ProtocolMinor, 7);
  EXPECT_EQ(+got.SupportedGroups, 3u);
  EXPECT_STREQ(got.Manufacturer, "Maker");
  EXPECT_STREQ(got.ProductFamily, "Family of digitizers");
  EXPECT_STREQ(got.ProductName, "A product name that is longer th");  // 32 characters
  EXPECT_EQ(w.calls, std::vector<std::string>{"IsThereAnyDigitizerAvailable"});

  // With a session open the probe would close its device: no probe then.
  reach(4);
  w.calls.clear();
  ASSERT_EQ(call(DG_CONTROL, DAT_IDENTITY, MSG_GET, &got), TWRC_SUCCESS);
  EXPECT_EQ(+got.Id, 9u);
  EXPECT_TRUE(w.calls.empty());
}

TEST_F(Source, OpenNeedsADigitizerAndTheUi) {
  for (auto [available, init] : {std::pair{0, 1}, std::pair{1, 0}}) {
    SetUp();
    w.available = available;
    w.init = init;
    TW_IDENTITY self{};
    EXPECT_EQ(call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &self), TWRC_FAILURE);
    EXPECT_EQ(source->conditionCode(), TWCC_OPERATIONERROR);
    EXPECT_EQ(source->state(), 3);
  }
  SetUp();
  reach(4);
  TW_IDENTITY self{};
  EXPECT_EQ(call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &self), TWRC_SUCCESS);
  EXPECT_EQ(w.calls.back(), "TermUI");
  EXPECT_EQ(source->state(), 3);
  reach(4);  // and the next application may open it
}

TEST_F(Source, EnableShowsTheDialogWithoutParent) {
  struct Case {
    TW_BOOL showUI;
    bool dialog;  // whether the UI shows one
    TW_UINT16 rc;
    int state;
  } cases[] = {
      {1, true, TWRC_SUCCESS, 5},
      {0, true, TWRC_CHECKSTATUS, 5},  // the dialog cannot be hidden: shown all the same
      {1, false, TWRC_FAILURE, 4},
  };
  for (const Case& c : cases) {
    SetUp();
    reach(4);
    if (!c.dialog) w.dialog = nullptr;
    int parentWindow = 0;
    TW_USERINTERFACE u{c.showUI, 1, &parentWindow};
    EXPECT_EQ(call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &u), c.rc);
    EXPECT_EQ(source->state(), c.state);
    EXPECT_EQ(w.shownParent, nullptr);
    EXPECT_EQ(w.shownSuffix, "Imaging program");
    if (c.rc != TWRC_FAILURE) {
      EXPECT_EQ(u.ModalUI, 0);
    } else {
      EXPECT_EQ(source->conditionCode(), TWCC_OPERATIONERROR);
    }
  }
}

TEST_F(Source, AnApplicationNameWithoutEndIsCut) {
  std::memset(app.ProductName, 'x', sizeof app.ProductName);
  reach(5);
  EXPECT_EQ(w.shownSuffix, std::string(32, 'x'));
}

TEST_F(Source, ImagesNoTransferCouldCarryAreGivenBack) {
  struct Case {
    std::uint32_t width, height;
    int bytes;
  } cases[] = {{0, 10, 1}, {10, 0, 1}, {10, 10, 3}, {1, 0x80000000u, 1}, {0x40000000u, 2, 2}};
  for (const Case& c : cases) {
    SetUp();
    static const std::uint8_t pixel[4] = {};
    pictures.next = Images::record(c.width, c.height, pixel, c.bytes, 8);
    reach(5);
    EXPECT_EQ(source->transferReady(), 0) << c.width << "x" << c.height;
    EXPECT_EQ(source->conditionCode(), TWCC_OPERATIONERROR);
    EXPECT_EQ(pictures.released, 1) << "the UI gets its buffer back";
  }
}

TEST_F(Source, MemoryTransferInStrips) {
  struct Case {
    std::uint32_t width;
    int bytes, bits;
    TW_UINT32 rowsPerBuffer;
    bool handle;
    std::vector<TW_UINT32> strips;
  } cases[] = {
      {37, 1, 8, 300, false, {300, 300, 300, 100}},
      {37, 1, 8, 250, true, {250, 250, 250, 250}},
      {37, 2, 12, 300, true, {300, 300, 300, 100}},
      {40, 1, 8, 1500, false, {1000}},  // a buffer larger than the image
  };
  for (const Case& c : cases) {
    SetUp();
    pictures.make(c.width, 1000, c.bytes, c.bits);
    reach(6);  // the fixture's transfer mechanism is memory: the image is held from here
    EXPECT_EQ(pictures.fetched, 1);
    const std::size_t row = std::size_t{c.width} * c.bytes, padded = (row + 3) / 4 * 4;
    TW_SETUPMEMXFER setup{};
    ASSERT_EQ(call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
    EXPECT_GE(+setup.MinBufSize, padded);

    const TW_UINT32 length = static_cast<TW_UINT32>(padded * c.rowsPerBuffer);
    TW_HANDLE h = recording::allocate(length);
    std::vector<std::uint8_t> plain(length);
    std::vector<TW_UINT32> strips;
    std::vector<std::uint8_t> image(row * 1000, 0xee);
    TW_UINT16 rc = TWRC_SUCCESS;
    while (rc == TWRC_SUCCESS) {
      TW_IMAGEMEMXFER x{};
      x.Memory = c.handle ? TW_MEMORY{TWMF_APPOWNS | TWMF_HANDLE, length, h}
                          : TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, length, plain.data()};
      rc = call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &x);
      ASSERT_TRUE(rc == TWRC_SUCCESS || rc == TWRC_XFERDONE) << rc << " cc " << source->conditionCode();
      EXPECT_EQ(source->state(), 7);
      EXPECT_EQ(+x.BytesPerRow, padded);
      EXPECT_EQ(+x.Columns, c.width);
      EXPECT_EQ(+x.BytesWritten, padded * x.Rows);
      EXPECT_EQ(+x.YOffset, c.rowsPerBuffer * strips.size());
      EXPECT_EQ(recording::locksOf(h), 0) << "the handle buffer is unlocked again";
      const auto* p = c.handle ? recording::bytesOf(h) : plain.data();
      for (TW_UINT32 r = 0; r < x.Rows; ++r) {
        std::memcpy(image.data() + (x.YOffset + r) * row, p + r * padded, row);
        for (std::size_t pad = row; pad < padded; ++pad) ASSERT_EQ(p[r * padded + pad], 0);
      }
      strips.push_back(+x.Rows);
      ASSERT_LE(strips.size(), 10u);
    }
    EXPECT_EQ(rc, TWRC_XFERDONE);
    EXPECT_EQ(strips, c.strips);
    EXPECT_EQ(image, pictures.pixels) << "reassembled byte for byte";

    // After the last strip there is nothing left to send.
    TW_IMAGEMEMXFER more{};
    more.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, length, plain.data()};
    EXPECT_EQ(call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &more), TWRC_FAILURE);
    EXPECT_EQ(source->conditionCode(), TWCC_SEQERROR);
    TW_PENDINGXFERS pending{};
    EXPECT_EQ(call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    EXPECT_EQ(pictures.released, 1);
    EXPECT_EQ(source->state(), 5);
    recording::free(h);
  }
}

TEST_F(Source, MemoryTransferRefusesBadBuffers) {
  pictures.make(2000, 10, 1, 8);  // a row longer than the smallest buffer allowed
  reach(6);
  std::vector<std::uint8_t> buffer(4096);
  std::uint8_t unknown[64] = {};  // no block of the manager's
  struct Case {
    const char* what;
    TW_MEMORY memory;
    TW_UINT16 cc;
  } cases[] = {
      {"less than one padded row", {TWMF_POINTER, 1999, buffer.data()}, TWCC_BADVALUE},
      {"less than Min", {TWMF_POINTER, 1000, buffer.data()}, TWCC_BADVALUE},
      {"no memory", {TWMF_POINTER, 2048, nullptr}, TWCC_BADVALUE},
      {"a handle the manager cannot lock", {TWMF_HANDLE, 2048, unknown}, TWCC_BADVALUE},
      {"above Max", {TWMF_POINTER, 2000000, buffer.data()}, TWCC_BADVALUE},
  };
  for (const Case& c : cases) {
    TW_IMAGEMEMXFER x{};
    x.Memory = c.memory;
    EXPECT_EQ(call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &x), TWRC_FAILURE) << c.what;
    EXPECT_EQ(source->conditionCode(), c.cc) << c.what;
  }
  TW_SETUPMEMXFER setup{};
  ASSERT_EQ(call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
  EXPECT_EQ(+setup.MinBufSize, 2000u) << "at least one padded row once an image is held";
  TW_IMAGEMEMXFER x{};
  x.Memory = {TWMF_POINTER, 4000, buffer.data()};
  ASSERT_EQ(call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &x), TWRC_SUCCESS);
  EXPECT_EQ(+x.Rows, 2u);

  // Strips after the first must keep the first one's length.
  SetUp();
  pictures.make(37, 100, 1, 8);
  reach(6);
  x.Memory = {TWMF_POINTER, 1200, buffer.data()};
  ASSERT_EQ(call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &x), TWRC_SUCCESS);
  x.Memory.Length = 1240;
  EXPECT_EQ(call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &x), TWRC_FAILURE);
  EXPECT_EQ(source->conditionCode(), TWCC_BADVALUE);

  // An image without pixels cannot be transferred.
  SetUp();
  pictures.next.pixels = nullptr;
  reach(5);
  EXPECT_EQ(source->transferReady(), 0);
  EXPECT_EQ(source->conditionCode(), TWCC_OPERATIONERROR);
}

TEST_F(Source, NativeTransferHeaders) {
  struct Case {
    std::uint32_t width;
    int bytes, bits;
    std::uint16_t bitCount;
    std::uint32_t compression, mask;
    std::size_t head;
  } cases[] = {
      {5, 1, 8, 8, 0, 0, 40 + 1024},
      {5, 2, 12, 16, 3, 4095, 52},
      {6, 2, 10, 16, 3, 1023, 52},
  };
  for (const Case& c : cases) {
    SetUp();
    setCurrent("ICAP_XFERMECH", "TWSX_NATIVE");
    pictures.make(c.width, 3, c.bytes, c.bits);
    reach(6);
    EXPECT_EQ(pictures.fetched, 0) << "a native transfer fetches when asked";
    TW_IMAGEINFO info{};
    ASSERT_EQ(call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(info.XResolution.Whole, 28);
    EXPECT_EQ(info.XResolution.Frac, 22282);  // 0.34 of 65536
    EXPECT_EQ(twain::fix32Raw(info.YResolution), twain::fix32Raw(info.XResolution));
    EXPECT_EQ(+info.ImageWidth, static_cast<TW_INT32>(c.width));
    EXPECT_EQ(+info.ImageLength, 3);
    EXPECT_EQ(info.BitsPerPixel, c.bitCount);
    EXPECT_EQ(info.BitsPerSample[0], c.bitCount);
    EXPECT_EQ(info.PixelType, TWPT_GRAY);

    TW_HANDLE dib = nullptr;
    ASSERT_EQ(call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
    EXPECT_EQ(source->state(), 7);
    const std::size_t row = std::size_t{c.width} * c.bytes, padded = (row + 3) / 4 * 4;
    ASSERT_EQ(recording::sizeOf(dib), c.head + padded * 3);
    EXPECT_EQ(recording::locksOf(dib), 0);
    const auto* p = recording::bytesOf(dib);
    auto u32 = [&](std::size_t at) {
      std::uint32_t v;
      std::memcpy(&v, p + at, 4);
      return v;
    };
    EXPECT_EQ(u32(0), 40u);
    EXPECT_EQ(u32(4), c.width);
    EXPECT_EQ(u32(8), 3u);
    EXPECT_EQ(p[12] | p[13] << 8, 1);
    EXPECT_EQ(p[14] | p[15] << 8, c.bitCount);
    EXPECT_EQ(u32(16), c.compression);
    if (c.bytes == 1) {
      for (int i : {0, 1, 128, 255}) EXPECT_EQ(u32(40 + 4 * i), static_cast<std::uint32_t>(i * 0x010101)) << i;
    } else {
      for (int i = 0; i < 3; ++i) EXPECT_EQ(u32(40 + 4 * i), c.mask);
    }
    // Bottom-up rows, each padded with zeros.
    for (int y = 0; y < 3; ++y) {
      const std::uint8_t* stored = p + c.head + (2 - y) * padded;
      EXPECT_EQ(std::vector<std::uint8_t>(stored, stored + row),
                std::vector<std::uint8_t>(pictures.pixels.begin() + y * row, pictures.pixels.begin() + (y + 1) * row));
      for (std::size_t pad = row; pad < padded; ++pad) EXPECT_EQ(stored[pad], 0);
    }
    recording::free(dib);
  }
}

TEST_F(Source, EndResetAndTheFeeder) {
  // RESET during a scan run ends the feeder and gives the image back.
  reach(6);
  w.calls.clear();
  TW_PENDINGXFERS pending{};
  pending.Count = 9;
  ASSERT_EQ(call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
  EXPECT_EQ(pending.Count, 0);
  EXPECT_EQ(w.calls, (std::vector<std::string>{"ResetAutofeederCount", "CeaseScan"}));
  EXPECT_EQ(pictures.released, 1);
  EXPECT_EQ(source->state(), 5);

  // With the feeder running at DISABLEDS it is stopped first; a negative count is none.
  struct Case {
    int feeder;
    std::vector<std::string> calls;
  } cases[] = {
      {2, {"ResetAutofeederCount", "CeaseScan", "HideUI"}},
      {-3, {"HideUI"}},
      {0, {"HideUI"}},
  };
  for (const Case& c : cases) {
    SetUp();
    reach(7);
    w.feederCount = c.feeder;
    ASSERT_EQ(call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    EXPECT_EQ(source->state(), 5);
    w.calls.clear();
    TW_USERINTERFACE u{};
    ASSERT_EQ(call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &u), TWRC_SUCCESS);
    EXPECT_EQ(w.calls, c.calls) << c.feeder;
    EXPECT_EQ(source->state(), 4);
  }
}

TEST_F(Source, CallbacksReachTheApplicationThroughTheManager) {
  reach(4);
  EXPECT_EQ(source->transferReady(), 0);
  EXPECT_EQ(source->conditionCode(), TWCC_SEQERROR);
  EXPECT_EQ(source->closeRequest(), 0);
  EXPECT_TRUE(w.sent.empty());

  // A manager that fails the message leaves the state as it was.
  SetUp();
  reach(5);
  w.managerRc = TWRC_FAILURE;
  EXPECT_EQ(source->transferReady(), 0);
  EXPECT_EQ(source->conditionCode(), TWCC_OPERATIONERROR);
  EXPECT_EQ(source->state(), 5);
  EXPECT_EQ(pictures.fetched, 0);

  for (int from : {5, 6, 7}) {
    SetUp();
    reach(from);
    EXPECT_EQ(source->closeRequest(), 1) << from;
    EXPECT_EQ(source->state(), 5);
    EXPECT_EQ(w.sent.back(), MSG_CLOSEDSREQ);
    EXPECT_EQ(w.sentFrom, 9u);
    EXPECT_EQ(w.sentTo, 5u);
    TW_USERINTERFACE u{};
    ASSERT_EQ(call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &u), TWRC_SUCCESS);
    EXPECT_EQ(pictures.released, from == 5 ? 0 : 1) << "a held image is given back";
  }
}

TEST_F(Source, ImageLayoutInTheCurrentUnit) {
  struct Case {
    const char* units;
    bool withImage;
    TW_UINT16 msg;
    double left, top, right, bottom;
  } cases[] = {
      {"TWUN_PIXELS", false, MSG_GET, 0, 0, 0, 0},  // no image yet: no division by a pitch of 0
      {"TWUN_PIXELS", false, MSG_GETDEFAULT, 0, 0, 3600, 4320},
      {"TWUN_PIXELS", true, MSG_GET, 200, 400, 6200, 8400},  // pitch 50 um
      {"TWUN_CENTIMETERS", true, MSG_GET, 1, 2, 31, 42},
      {"TWUN_INCHES", true, MSG_GET, 10, 20, 310, 420},  // millimetres as they are
      {"TWUN_CENTIMETERS", false, MSG_GETDEFAULT, 0, 0, 36, 43.2},
  };
  for (const Case& c : cases) {
    SetUp();
    testsupport::writeFile(dir / "Selvane.cap", testsupport::readFile(dir / "Selvane.cap") +
                                                    "[ICAP_UNITS]\nType=TWTY_UINT16\nCurrent=" + c.units + "\n");
    if (c.withImage) {
      reach(6);
      TW_IMAGEINFO info{};
      ASSERT_EQ(call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    } else {
      reach(4);
    }
    TW_IMAGELAYOUT layout{};
    ASSERT_EQ(call(DG_IMAGE, DAT_IMAGELAYOUT, c.msg, &layout), TWRC_SUCCESS);
    EXPECT_EQ(twain::fix32Raw(layout.Frame.Left), twain::fix32Raw(*twain::fix32FromDouble(c.left))) << c.units;
    EXPECT_EQ(twain::fix32Raw(layout.Frame.Top), twain::fix32Raw(*twain::fix32FromDouble(c.top))) << c.units;
    EXPECT_EQ(twain::fix32Raw(layout.Frame.Right), twain::fix32Raw(*twain::fix32FromDouble(c.right))) << c.units;
    EXPECT_EQ(twain::fix32Raw(layout.Frame.Bottom), twain::fix32Raw(*twain::fix32FromDouble(c.bottom))) << c.units;
    EXPECT_EQ(+layout.DocumentNumber, 1u);
    EXPECT_EQ(+layout.FrameNumber, 1u);
  }
  SetUp();
  reach(4);
  TW_IMAGELAYOUT layout{};
  layout.Frame.Right = TW_FIX32{5, 0};
  EXPECT_EQ(call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
  ASSERT_EQ(call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_RESET, &layout), TWRC_SUCCESS);
  EXPECT_EQ(twain::fix32Raw(layout.Frame.Right), 0);
}

TEST_F(Source, CapabilitiesAndSetupThroughTheDatabase) {
  reach(4);
  TW_CAPABILITY cap{CAP_DEVICEONLINE, 0, nullptr};
  ASSERT_EQ(call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), TWRC_SUCCESS);
  EXPECT_NE(recording::sizeOf(cap.hContainer), 0u) << "made with the manager's memory";
  recording::free(cap.hContainer);
  cap = {ICAP_PLANARCHUNKY, 0, nullptr};
  EXPECT_EQ(call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), TWRC_FAILURE);
  EXPECT_EQ(status(), TWCC_BADCAP);
  TW_SETUPMEMXFER setup{};
  ASSERT_EQ(call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
  EXPECT_EQ(+setup.MinBufSize, 1024u);
  EXPECT_EQ(+setup.MaxBufSize, 1048576u);
  EXPECT_EQ(+setup.Preferred, 65536u);
  TW_UINT32 group = 0;
  ASSERT_EQ(call(DG_CONTROL, DAT_XFERGROUP, MSG_GET, &group), TWRC_SUCCESS);
  EXPECT_EQ(group, DG_IMAGE);
}

// Without a manager's memory an application's handles are its malloc blocks:
// what it reads and writes there is the container and the DIB themselves.
TEST_F(Source, WithoutManagerMemoryHandlesAreTheBlocksThemselves) {
  withPlainHandles();
  reach(4);
  TW_CAPABILITY cap{ICAP_XFERMECH, TWON_DONTCARE16, nullptr};
  ASSERT_EQ(call(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &cap), TWRC_SUCCESS);
  ASSERT_EQ(+cap.ConType, TWON_ONEVALUE);
  const auto* got = static_cast<const TW_ONEVALUE*>(cap.hContainer);
  EXPECT_EQ(+got->ItemType, TWTY_UINT16);
  EXPECT_EQ(got->Item & 0xffff, TWSX_MEMORY);
  std::free(cap.hContainer);

  auto* mine = static_cast<TW_ONEVALUE*>(std::malloc(sizeof(TW_ONEVALUE)));
  ASSERT_NE(mine, nullptr);
  mine->ItemType = TWTY_UINT16;
  mine->Item = TWSX_NATIVE;
  cap = {ICAP_XFERMECH, TWON_ONEVALUE, mine};
  EXPECT_EQ(call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap), TWRC_SUCCESS) << source->conditionCode();
  EXPECT_EQ(platform::ini::getString(dir / "Selvane.cap", "ICAP_XFERMECH", "Current", ""), "TWSX_NATIVE");
  std::free(mine);

  TW_USERINTERFACE u{1, 0, nullptr};
  ASSERT_EQ(call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &u), TWRC_SUCCESS);
  pictures.make(5, 3, 1, 8);
  ASSERT_EQ(source->transferReady(), 1);
  TW_HANDLE dib = nullptr;
  ASSERT_EQ(call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
  const auto* p = static_cast<const std::uint8_t*>(dib);
  std::uint32_t biSize, width;
  std::memcpy(&biSize, p, 4);
  std::memcpy(&width, p + 4, 4);
  EXPECT_EQ(biSize, 40u);
  EXPECT_EQ(width, 5u);
  EXPECT_EQ(std::memcmp(p + 1064, pictures.pixels.data() + 2 * 5, 5), 0) << "the last row stored first";
  std::free(dib);

  // A handle buffer is a malloc block too.
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  setCurrent("ICAP_XFERMECH", "TWSX_MEMORY");
  pictures.make(5, 3, 1, 8);
  ASSERT_EQ(source->transferReady(), 1);
  void* buffer = std::malloc(1024);
  ASSERT_NE(buffer, nullptr);
  TW_IMAGEMEMXFER x{};
  x.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_HANDLE, 1024, buffer};
  ASSERT_EQ(call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &x), TWRC_XFERDONE) << source->conditionCode();
  EXPECT_EQ(+x.Rows, 3u);
  EXPECT_EQ(std::memcmp(static_cast<std::uint8_t*>(buffer) + 2 * 8, pictures.pixels.data() + 2 * 5, 5), 0)
      << "row 2, at its padded place";
  std::free(buffer);
}

TEST_F(Source, TheEntryPointIsTakenWholeOrRefused) {
  withPlainHandles();
  TW_ENTRYPOINT partial{sizeof(TW_ENTRYPOINT), &manager, &recording::allocate, nullptr, &recording::lock,
                        &recording::unlock};
  EXPECT_EQ(call(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &partial), TWRC_FAILURE);
  EXPECT_EQ(source->conditionCode(), TWCC_BADVALUE);
  EXPECT_EQ(call(DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &partial), TWRC_FAILURE);
  EXPECT_EQ(source->conditionCode(), TWCC_BADPROTOCOL);
  // Still plain: a container comes as a malloc block.
  reach(4);
  TW_CAPABILITY cap{CAP_DEVICEONLINE, 0, nullptr};
  ASSERT_EQ(call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), TWRC_SUCCESS);
  EXPECT_EQ(recording::sizeOf(cap.hContainer), 0u);
  EXPECT_EQ(+static_cast<const TW_ONEVALUE*>(cap.hContainer)->ItemType, TWTY_BOOL);
  std::free(cap.hContainer);
}

// Every buffer size that DAT_SETUPMEMXFER tells in state 6 is one the memory
// transfer takes, also where the image's row is longer than the file's Max.
TEST_F(Source, TheMemoryTransferTakesEverySizeTheSetupTold) {
  struct Case {
    const char* what;
    std::uint32_t width;
    const char* mechanism;  // memory: the image is held from the offer on; native: fetched on request
    const char* max;
  } cases[] = {
      {"row longer than Max", 3000, "TWSX_MEMORY", "2048"},
      {"row longer than Max, image not yet fetched", 3000, "TWSX_NATIVE", "2048"},
      {"row between Min and Max, image not yet fetched", 1500, "TWSX_NATIVE", "1048576"},
  };
  for (const Case& c : cases) {
    for (int pick = 0; pick < 3; ++pick) {
      SetUp();
      ASSERT_TRUE(platform::ini::writeString(dir / "Selvane.cap", "Setup Memory Transfer", "Max", c.max));
      setCurrent("ICAP_XFERMECH", c.mechanism);
      pictures.make(c.width, 10, 1, 8);
      reach(6);
      TW_SETUPMEMXFER setup{};
      ASSERT_EQ(call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
      const TW_UINT32 sizes[] = {setup.MinBufSize, setup.Preferred, setup.MaxBufSize};
      const TW_UINT32 length = sizes[pick];
      std::vector<std::uint8_t> buffer(length);
      TW_IMAGEMEMXFER x{};
      x.Memory = TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, length, buffer.data()};
      const TW_UINT16 rc = call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &x);
      EXPECT_TRUE(rc == TWRC_SUCCESS || rc == TWRC_XFERDONE)
          << c.what << ", length " << length << ", cc " << source->conditionCode();
      EXPECT_GE(+x.Rows, 1u) << c.what;
    }
  }
}

TEST(SourceWithoutUi, EveryCallFailsWhenABindingIsMissing) {
  World w;
  world = &w;
  testsupport::TempDir dir;
  Images pictures;
  images = &pictures;
  twain::ScanUiFunctions missing = ui();
  missing.CeaseScan = nullptr;
  DataSource source(TW_IDENTITY{}, dir / "Selvane.cap", missing, &manager);
  TW_IDENTITY app{}, got{};
  EXPECT_EQ(source.entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_GET, &got), TWRC_FAILURE);
  EXPECT_EQ(source.conditionCode(), TWCC_OPERATIONERROR);
  DataSource noManager(TW_IDENTITY{}, dir / "Selvane.cap", ui(), nullptr);
  EXPECT_EQ(noManager.entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_GET, &got), TWRC_FAILURE);
  EXPECT_TRUE(w.calls.empty());
  world = nullptr;
  images = nullptr;
}

}  // namespace
