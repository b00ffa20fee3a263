// An imaging application of another maker, as it is written from the
// published TWAIN standard alone: it loads the manager with dlopen, allocates
// its containers and buffers with malloc and reads every handle it gets as the
// memory itself, or, where the manager offers its memory functions through
// DAT_ENTRYPOINT, goes through those. It knows nothing of the suite's memory
// code. The source is installed as shipped: Selvane.ds with the Selvane.ini and
// Selvane.cap of the program directory, over the stand-in film-scan UI in the
// real one's place.
#include "hosts/twain/tests/fake_scanui.h"
#include "hosts/twain/twain.h"
#include "testsupport/testsupport.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

fs::path binDir() { return testsupport::selfExecutable().parent_path(); }

template <typename T>
T read(const std::uint8_t* p, std::size_t at) {
  T v;
  std::memcpy(&v, p + at, sizeof v);
  return v;
}

// The application's own memory rule: the manager's functions when it has
// them, otherwise a handle is its malloc block.
struct AppMemory {
  TW_ENTRYPOINT entry{};
  bool managed = false;
  TW_HANDLE allocate(std::size_t n) const {
    return managed ? entry.DSM_MemAllocate(static_cast<TW_UINT32>(n)) : std::malloc(n);
  }
  void free(TW_HANDLE h) const { managed ? entry.DSM_MemFree(h) : std::free(h); }
  std::uint8_t* lock(TW_HANDLE h) const {
    return static_cast<std::uint8_t*>(managed ? entry.DSM_MemLock(h) : h);
  }
  void unlock(TW_HANDLE h) const {
    if (managed) entry.DSM_MemUnlock(h);
  }
};

// A container as the application reads it: item type and items, for a range
// min, max, step, default, current; every item widened to 32 bits.
struct Container {
  TW_UINT16 conType = 0, itemType = 0;
  std::vector<TW_UINT32> items;
  TW_UINT32 currentIndex = 0, defaultIndex = 0;
};

std::size_t widthOf(TW_UINT16 itemType) {
  switch (itemType) {
    case TWTY_INT8:
    case TWTY_UINT8: return 1;
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL: return 2;
    default: return 4;
  }
}

TW_UINT32 itemAt(TW_UINT16 itemType, const std::uint8_t* p) {
  switch (widthOf(itemType)) {
    case 1: return p[0];
    case 2: return read<TW_UINT16>(p, 0);
    default: return read<TW_UINT32>(p, 0);
  }
}

TW_UINT32 fix32(double v) {
  const auto whole = static_cast<TW_INT16>(v);
  const auto frac = static_cast<TW_UINT16>((v - whole) * 65536.0 + 0.5);
  return static_cast<TW_UINT32>(static_cast<TW_UINT16>(whole)) | TW_UINT32{frac} << 16;
}

class OutsideApplication : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::unsetenv("NDT_FAKE_SCANUI_IMAGES");
    // The source as shipped, in a folder of its own; the libraries it needs
    // are links to the program directory's.
    home = dir / "source";
    fs::create_directories(home);
    for (const char* file : {"Selvane.ds", "Selvane.ini", "Selvane.cap"}) fs::copy_file(binDir() / file, home / file);
    for (const char* library : {"libndtplatform.so", "libndtplatform_qt.so", "libTwainDsm.so"})
      fs::create_symlink(binDir() / library, home / library);
    fs::create_symlink(binDir() / "libFakeScanUi.so", home / "libOskelu.so");
    ::setenv("NDT_TWAIN_SOURCE", (home / "Selvane.ds").c_str(), 1);

    managerLib = ::dlopen((binDir() / "libTwainDsm.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    uiLib = ::dlopen((binDir() / "libFakeScanUi.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(managerLib, nullptr) << ::dlerror();
    ASSERT_NE(uiLib, nullptr) << ::dlerror();
    dsm = reinterpret_cast<DSMENTRYPROC>(::dlsym(managerLib, "DSM_Entry"));
    offerMemory = reinterpret_cast<void (*)(int)>(::dlsym(managerLib, "TwainDsm_OfferMemory"));
    memoryCounts = reinterpret_cast<void (*)(TW_UINT32*, TW_UINT32*)>(::dlsym(managerLib, "TwainDsm_MemoryCounts"));
    queue = reinterpret_cast<FakeScanUiQueueProc>(::dlsym(uiLib, "FakeScanUi_Queue"));
    transferReady = reinterpret_cast<FakeScanUiCallbackProc>(::dlsym(uiLib, "FakeScanUi_TransferReady"));
    resetUi = reinterpret_cast<FakeScanUiResetProc>(::dlsym(uiLib, "FakeScanUi_Reset"));
    ASSERT_TRUE(dsm && offerMemory && memoryCounts && queue && transferReady && resetUi);
    offerMemory(GetParam() ? 1 : 0);
    resetUi();
    memoryCounts(&liveAtStart, nullptr);

    std::strcpy(app.ProductName, "Outside imaging program");
    app.ProtocolMajor = 2;
    app.SupportedGroups = DG_CONTROL | DG_IMAGE;
    TW_HANDLE parent = nullptr;
    ASSERT_EQ(dsm(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent), TWRC_SUCCESS);
    memory.entry.Size = sizeof(TW_ENTRYPOINT);
    const TW_UINT16 rc = dsm(&app, nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &memory.entry);
    ASSERT_EQ(rc == TWRC_SUCCESS, GetParam()) << "the manager offers its memory only when asked to";
    memory.managed = rc == TWRC_SUCCESS;
    ASSERT_EQ(dsm(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &source), TWRC_SUCCESS) << status();
    ASSERT_EQ(dsm(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source), TWRC_SUCCESS) << status();
    opened = true;
  }
  void TearDown() override {
    if (opened) {
      TW_USERINTERFACE ui{0, 0, nullptr};
      TW_PENDINGXFERS pending{};
      toSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
      toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
      dsm(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source);
    }
    TW_HANDLE parent = nullptr;
    if (dsm != nullptr) dsm(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent);
    if (memoryCounts != nullptr) {
      TW_UINT32 live = 0, locked = 0;
      memoryCounts(&live, &locked);
      EXPECT_EQ(live, liveAtStart) << "every block of the manager's was freed";
      EXPECT_EQ(locked, 0u) << "every lock was undone";
    }
    if (offerMemory != nullptr) offerMemory(0);
    ::unsetenv("NDT_TWAIN_SOURCE");
    if (uiLib != nullptr) ::dlclose(uiLib);
    if (managerLib != nullptr) ::dlclose(managerLib);
  }

  TW_UINT16 toSource(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF data) {
    return dsm(&app, &source, DG, DAT, MSG, data);
  }
  TW_UINT16 status() {
    TW_STATUS s{};
    dsm(&app, opened ? &source : nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &s);
    return s.ConditionCode;
  }

  // GET, GETCURRENT, GETDEFAULT or RESET; the container read and freed.
  Container ask(TW_UINT16 msg, TW_UINT16 cap) {
    TW_CAPABILITY c{cap, TWON_DONTCARE16, nullptr};
    const TW_UINT16 rc = toSource(DG_CONTROL, DAT_CAPABILITY, msg, &c);
    EXPECT_EQ(rc, TWRC_SUCCESS) << "cap " << cap << " msg " << msg << " cc " << status();
    if (rc != TWRC_SUCCESS) return {};
    Container out = decode(c.ConType, c.hContainer);
    memory.free(c.hContainer);
    return out;
  }
  Container decode(TW_UINT16 conType, TW_HANDLE h) {
    Container out;
    out.conType = conType;
    const std::uint8_t* p = memory.lock(h);
    EXPECT_NE(p, nullptr);
    if (p == nullptr) return out;
    out.itemType = read<TW_UINT16>(p, 0);
    const std::size_t w = widthOf(out.itemType);
    switch (conType) {
      case TWON_ONEVALUE: out.items.push_back(itemAt(out.itemType, p + 2)); break;
      case TWON_RANGE:
        for (std::size_t at : {2, 6, 10, 14, 18}) out.items.push_back(read<TW_UINT32>(p, at));
        break;
      case TWON_ENUMERATION:
      case TWON_ARRAY: {
        const auto n = read<TW_UINT32>(p, 2);
        EXPECT_LE(n, 64u) << "no list of ours is longer";
        const std::size_t head = conType == TWON_ARRAY ? 6 : 14;
        for (TW_UINT32 i = 0; i < n && i < 64; ++i) out.items.push_back(itemAt(out.itemType, p + head + i * w));
        if (conType == TWON_ENUMERATION) {
          out.currentIndex = read<TW_UINT32>(p, 6);
          out.defaultIndex = read<TW_UINT32>(p, 10);
        }
        break;
      }
      default: ADD_FAILURE() << "container type " << conType;
    }
    memory.unlock(h);
    return out;
  }
  // MSG_SET with the application's own container; the answer as it came back.
  TW_UINT16 set(TW_UINT16 cap, TW_UINT16 conType, const std::vector<std::uint8_t>& bytes, Container* answer) {
    TW_HANDLE h = memory.allocate(bytes.size());
    std::memcpy(memory.lock(h), bytes.data(), bytes.size());
    memory.unlock(h);
    TW_CAPABILITY c{cap, conType, h};
    const TW_UINT16 rc = toSource(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &c);
    if (answer != nullptr) *answer = decode(c.ConType, c.hContainer);
    memory.free(h);
    return rc;
  }
  TW_UINT16 setOne(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value) {
    std::vector<std::uint8_t> b(sizeof(TW_ONEVALUE));
    std::memcpy(b.data(), &itemType, 2);
    std::memcpy(b.data() + 2, &value, 4);
    return set(cap, TWON_ONEVALUE, b, nullptr);
  }

  // The next DAT_NULL message an event brings.
  TW_UINT16 nextMessage() {
    TW_EVENT event{nullptr, MSG_NULL};
    return toSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT ? event.TWMessage : MSG_NULL;
  }
  void enable() {
    TW_USERINTERFACE ui{1, 0, nullptr};
    ASSERT_EQ(toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS) << status();
  }
  void disable() {
    TW_USERINTERFACE ui{0, 0, nullptr};
    ASSERT_EQ(toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS) << status();
  }
  // The one scripted image, offered afresh each time.
  void offerTheImage() {
    resetUi();
    queue(kWidth, kHeight, 2, 12);
    ASSERT_EQ(transferReady(), 1);
    ASSERT_EQ(nextMessage(), MSG_XFERREADY);
    TW_IMAGEINFO info{};
    ASSERT_EQ(toSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS) << status();
    EXPECT_EQ(info.ImageWidth, static_cast<TW_INT32>(kWidth));
    EXPECT_EQ(info.ImageLength, static_cast<TW_INT32>(kHeight));
    EXPECT_EQ(info.BitsPerPixel, 16);
  }
  // Strips into a buffer of the smallest size the source tells: rows without padding.
  std::vector<std::uint8_t> memoryTransfer(bool handleBuffer) {
    TW_SETUPMEMXFER setup{};
    EXPECT_EQ(toSource(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
    const TW_UINT32 length = setup.MinBufSize;
    std::vector<std::uint8_t> plain(length);
    TW_HANDLE h = handleBuffer ? memory.allocate(length) : nullptr;
    std::vector<std::uint8_t> image;
    int strips = 0;
    for (TW_UINT16 rc = TWRC_SUCCESS; rc == TWRC_SUCCESS && strips < 100; ++strips) {
      TW_IMAGEMEMXFER x{};
      x.Memory = handleBuffer ? TW_MEMORY{TWMF_APPOWNS | TWMF_HANDLE, length, h}
                              : TW_MEMORY{TWMF_APPOWNS | TWMF_POINTER, length, plain.data()};
      rc = toSource(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &x);
      EXPECT_TRUE(rc == TWRC_SUCCESS || rc == TWRC_XFERDONE) << rc << " cc " << status();
      if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) break;
      EXPECT_EQ(+x.YOffset * kRow, image.size());
      EXPECT_LE(std::size_t{x.Rows} * x.BytesPerRow, length);
      const std::uint8_t* p = handleBuffer ? memory.lock(h) : plain.data();
      for (TW_UINT32 r = 0; r < x.Rows; ++r)
        image.insert(image.end(), p + r * std::size_t{x.BytesPerRow}, p + r * std::size_t{x.BytesPerRow} + kRow);
      if (handleBuffer) memory.unlock(h);
    }
    EXPECT_GT(strips, 1) << "the image came in strips";
    memory.free(h);
    TW_PENDINGXFERS pending{};
    EXPECT_EQ(toSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    return image;
  }
  // The DIB's rows, top first, without padding.
  std::vector<std::uint8_t> nativeTransfer() {
    TW_HANDLE dib = nullptr;
    EXPECT_EQ(toSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE) << status();
    std::vector<std::uint8_t> image;
    if (const std::uint8_t* p = memory.lock(dib); p != nullptr) {
      EXPECT_EQ(read<TW_UINT32>(p, 0), 40u);
      EXPECT_EQ(read<TW_INT32>(p, 4), static_cast<TW_INT32>(kWidth));
      EXPECT_EQ(read<TW_INT32>(p, 8), static_cast<TW_INT32>(kHeight));
      EXPECT_EQ(read<TW_UINT16>(p, 14), 16);
      EXPECT_EQ(read<TW_UINT32>(p, 16), 3u) << "bit fields";
      EXPECT_EQ(read<TW_UINT32>(p, 40), 4095u);
      const std::size_t padded = (kRow + 3) / 4 * 4;
      for (std::uint32_t y = 0; y < kHeight; ++y) {
        const std::uint8_t* row = p + 52 + (kHeight - 1 - y) * padded;
        image.insert(image.end(), row, row + kRow);
      }
      memory.unlock(dib);
    }
    memory.free(dib);
    TW_PENDINGXFERS pending{};
    EXPECT_EQ(toSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
    return image;
  }

  // Rows of 2002 bytes: longer than a multiple of 4, and eight to a strip of the smallest buffer.
  static constexpr std::uint32_t kWidth = 1001, kHeight = 40;
  static constexpr std::size_t kRow = kWidth * 2;

  testsupport::TempDir dir;
  fs::path home;
  void* managerLib = nullptr;
  void* uiLib = nullptr;
  DSMENTRYPROC dsm = nullptr;
  void (*offerMemory)(int) = nullptr;
  void (*memoryCounts)(TW_UINT32*, TW_UINT32*) = nullptr;
  FakeScanUiQueueProc queue = nullptr;
  FakeScanUiCallbackProc transferReady = nullptr;
  FakeScanUiResetProc resetUi = nullptr;
  TW_UINT32 liveAtStart = 0;
  AppMemory memory;
  TW_IDENTITY app{}, source{};
  bool opened = false;
};

TEST_P(OutsideApplication, GetsEveryCapabilityOfTheShippedFilesRight) {
  EXPECT_STREQ(source.ProductName, "Film digitizer 7163") << "the identity from the shipped Selvane.ini";
  struct Expected {
    TW_UINT16 cap, itemType, conType;
    std::vector<TW_UINT32> items;
    TW_UINT32 current;  // the one value of GETCURRENT
  } expected[] = {
      {CAP_XFERCOUNT, TWTY_INT16, TWON_ONEVALUE, {0xffff}, 0xffff},
      {ICAP_COMPRESSION, TWTY_UINT16, TWON_ENUMERATION, {TWCP_NONE}, TWCP_NONE},
      {ICAP_PIXELTYPE, TWTY_UINT16, TWON_ENUMERATION, {TWPT_GRAY}, TWPT_GRAY},
      {ICAP_UNITS, TWTY_UINT16, TWON_ENUMERATION, {TWUN_CENTIMETERS}, TWUN_CENTIMETERS},
      {ICAP_XFERMECH, TWTY_UINT16, TWON_ENUMERATION, {TWSX_NATIVE, TWSX_MEMORY}, TWSX_NATIVE},
      {CAP_FEEDERENABLED, TWTY_BOOL, TWON_ONEVALUE, {0}, 0},
      {CAP_FEEDERLOADED, TWTY_BOOL, TWON_ONEVALUE, {0}, 0},
      {CAP_AUTOFEED, TWTY_BOOL, TWON_ONEVALUE, {0}, 0},
      {CAP_UICONTROLLABLE, TWTY_BOOL, TWON_ONEVALUE, {0}, 0},
      {CAP_DEVICEONLINE, TWTY_BOOL, TWON_ONEVALUE, {1}, 1},
      {ICAP_PHYSICALWIDTH, TWTY_FIX32, TWON_ONEVALUE, {fix32(36.5)}, fix32(36.5)},
      {ICAP_PHYSICALHEIGHT, TWTY_FIX32, TWON_ONEVALUE, {fix32(43.2)}, fix32(43.2)},
      {ICAP_BITORDER, TWTY_UINT16, TWON_ONEVALUE, {TWBO_MSBFIRST}, TWBO_MSBFIRST},
      {ICAP_PIXELFLAVOR, TWTY_UINT16, TWON_ONEVALUE, {TWPF_CHOCOLATE}, TWPF_CHOCOLATE},
      {ICAP_PLANARCHUNKY, TWTY_UINT16, TWON_ONEVALUE, {TWPC_CHUNKY}, TWPC_CHUNKY},
      {ICAP_BITDEPTH, TWTY_UINT16, TWON_ENUMERATION, {8, 10, 12}, 12},
  };
  // The pixel spacings of the dialog, 50 to 500 um, as pixels per centimetre.
  std::vector<TW_UINT32> resolutions;
  for (int pitch : {50, 75, 100, 125, 150, 175, 200, 250, 300, 400, 500})
    resolutions.push_back(fix32(static_cast<int>(1000000.0 / pitch + 0.5) / 100.0));
  std::vector<Expected> all(std::begin(expected), std::end(expected));
  for (TW_UINT16 cap : {ICAP_XRESOLUTION, ICAP_YRESOLUTION})
    all.push_back({cap, TWTY_FIX32, TWON_ENUMERATION, resolutions, fix32(100)});

  const Container supported = ask(MSG_GET, CAP_SUPPORTEDCAPS);
  EXPECT_EQ(supported.conType, TWON_ARRAY);
  EXPECT_EQ(supported.itemType, TWTY_UINT16);
  std::vector<TW_UINT32> listed;
  for (const Expected& e : all) listed.push_back(e.cap);
  listed.push_back(CAP_SUPPORTEDCAPS);
  std::sort(listed.begin(), listed.end());
  std::vector<TW_UINT32> got = supported.items;
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, listed) << "every capability the source has, and nothing else";

  for (const Expected& e : all) {
    SCOPED_TRACE("cap " + std::to_string(e.cap));
    const Container c = ask(MSG_GET, e.cap);
    EXPECT_EQ(c.conType, e.conType);
    EXPECT_EQ(c.itemType, e.itemType);
    EXPECT_EQ(c.items, e.items);
    if (e.conType == TWON_ENUMERATION) {
      ASSERT_LT(c.currentIndex, c.items.size());
      EXPECT_EQ(c.items[c.currentIndex], e.current);
      EXPECT_EQ(c.items[c.defaultIndex], e.current);
    }
    for (TW_UINT16 msg : {MSG_GETCURRENT, MSG_GETDEFAULT}) {
      const Container one = ask(msg, e.cap);
      EXPECT_EQ(one.conType, TWON_ONEVALUE) << msg;
      EXPECT_EQ(one.itemType, e.itemType) << msg;
      EXPECT_EQ(one.items, std::vector<TW_UINT32>{e.current}) << msg;
    }
  }
  TW_SETUPMEMXFER setup{};
  ASSERT_EQ(toSource(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS);
  EXPECT_LE(+setup.MinBufSize, +setup.Preferred);
  EXPECT_LE(+setup.Preferred, +setup.MaxBufSize);
  EXPECT_GE(+setup.MinBufSize, 14600u) << "a row of the widest film at the finest spacing fits";
}

// One of each container type set with the application's own container and
// reset again, over the test database whose capabilities take each of them.
TEST_P(OutsideApplication, SetsAndResetsOneOfEachContainerType) {
  fs::copy_file(fs::path(TWAIN_TEST_DATA) / "Selvane.cap", home / "Selvane.cap", fs::copy_options::overwrite_existing);
  struct Case {
    const char* what;
    TW_UINT16 cap, conType;
    std::vector<std::uint8_t> container;
    Container afterSet;    // MSG_GET (or GETCURRENT for a one value) after the set
    Container afterReset;  // the same after MSG_RESET
  };
  auto put = [](std::vector<std::uint8_t>& b, auto v) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
    b.insert(b.end(), p, p + sizeof v);
  };
  std::vector<std::uint8_t> one, enumeration, array, range;
  put(one, TW_UINT16{TWTY_INT16});
  put(one, TW_UINT32{37});
  put(enumeration, TW_UINT16{TWTY_UINT16});
  put(enumeration, TW_UINT32{2});
  put(enumeration, TW_UINT32{0});
  put(enumeration, TW_UINT32{0});
  put(enumeration, TW_UINT16{TWPT_GRAY});
  put(enumeration, TW_UINT16{TWPT_BW});
  put(array, TW_UINT16{TWTY_UINT16});
  put(array, TW_UINT32{2});
  put(array, TW_UINT16{8});
  put(array, TW_UINT16{10});
  put(range, TW_UINT16{TWTY_FIX32});
  for (double v : {50.0, 500.0, 50.0, 100.0, 150.0}) put(range, fix32(v));
  const Case cases[] = {
      {"one value", CAP_XFERCOUNT, TWON_ONEVALUE, one, {TWON_ONEVALUE, TWTY_INT16, {37}},
       {TWON_ONEVALUE, TWTY_INT16, {0xffff}}},
      {"enumeration", ICAP_PIXELTYPE, TWON_ENUMERATION, enumeration,
       {TWON_ENUMERATION, TWTY_UINT16, {TWPT_GRAY, TWPT_BW}, 0, 0},
       {TWON_ENUMERATION, TWTY_UINT16, {TWPT_GRAY}, 0, 0}},
      {"array", ICAP_BITDEPTH, TWON_ARRAY, array, {TWON_ENUMERATION, TWTY_UINT16, {8, 10}, 0, 0},
       {TWON_ENUMERATION, TWTY_UINT16, {16, 8, 12, 1}, 1, 1}},
      {"range", ICAP_XRESOLUTION, TWON_RANGE, range,
       {TWON_RANGE, TWTY_FIX32, {fix32(50), fix32(500), fix32(50), fix32(100), fix32(150)}},
       // the set wrote Default too, and the reset takes Current from there
       {TWON_RANGE, TWTY_FIX32, {fix32(50), fix32(1000), fix32(0.5), fix32(100), fix32(100)}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Container answer;
    ASSERT_EQ(set(c.cap, c.conType, c.container, &answer), TWRC_SUCCESS) << status();
    EXPECT_EQ(answer.conType, c.conType) << "the application's container is still its own";
    const TW_UINT16 readBack = c.conType == TWON_ONEVALUE ? MSG_GETCURRENT : MSG_GET;
    for (const auto& [when, want] : {std::pair{"set", &c.afterSet}, std::pair{"reset", &c.afterReset}}) {
      SCOPED_TRACE(when);
      if (std::string(when) == "reset") {
        const Container reset = ask(MSG_RESET, c.cap);
        EXPECT_NE(reset.conType, 0);
      }
      const Container now = ask(readBack, c.cap);
      EXPECT_EQ(now.conType, want->conType);
      EXPECT_EQ(now.itemType, want->itemType);
      EXPECT_EQ(now.items, want->items);
      if (want->conType == TWON_ENUMERATION) {
        EXPECT_EQ(now.currentIndex, want->currentIndex);
        EXPECT_EQ(now.defaultIndex, want->defaultIndex);
      }
    }
  }
}

TEST_P(OutsideApplication, TheSameImageComesByMemoryAndNativeTransferPixelForPixel) {
  std::vector<std::uint8_t> want;
  for (std::uint32_t y = 0; y < kHeight; ++y)
    for (std::uint32_t x = 0; x < kWidth; ++x) {
      const std::uint16_t v = fakeScanUiSample(x, y, 12, 0);
      want.push_back(static_cast<std::uint8_t>(v));
      want.push_back(static_cast<std::uint8_t>(v >> 8));
    }

  ASSERT_EQ(setOne(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY), TWRC_SUCCESS) << status();
  ASSERT_NO_FATAL_FAILURE(enable());
  ASSERT_NO_FATAL_FAILURE(offerTheImage());
  EXPECT_TRUE(memoryTransfer(false) == want) << "pointer buffer";
  ASSERT_NO_FATAL_FAILURE(offerTheImage());
  EXPECT_TRUE(memoryTransfer(true) == want) << "handle buffer";
  ASSERT_NO_FATAL_FAILURE(disable());

  ASSERT_EQ(setOne(ICAP_XFERMECH, TWTY_UINT16, TWSX_NATIVE), TWRC_SUCCESS) << status();
  ASSERT_NO_FATAL_FAILURE(enable());
  ASSERT_NO_FATAL_FAILURE(offerTheImage());
  EXPECT_TRUE(nativeTransfer() == want) << "native";
}

INSTANTIATE_TEST_SUITE_P(Memory, OutsideApplication, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "ManagerMemory" : "PlainHandles";
                         });

}  // namespace
