#include "hosts/twain/internal/capability_db.h"
#include "hosts/twain/internal/fix32.h"
#include "hosts/twain/tests/recording_memory.h"
#include "platform/ini.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using twain::CapabilityDatabase;

constexpr std::int64_t fix(double f) { return static_cast<std::int64_t>(f * 65536.0 + (f < 0 ? -0.5 : 0.5)); }

// A FIX32 as the 32-bit field of a container: Whole, then Frac.
TW_UINT32 field(double f) {
  TW_FIX32 v = twain::fix32FromRaw(static_cast<std::int32_t>(fix(f)));
  TW_UINT32 out;
  std::memcpy(&out, &v, sizeof out);
  return out;
}

// A container read back into plain numbers (FIX32 items as counts of 65536ths).
struct Decoded {
  TW_UINT16 conType = 0;
  TW_UINT16 itemType = 0;
  std::vector<std::int64_t> items;  // a range: min, max, step, current, default
  TW_UINT32 currentIndex = 0, defaultIndex = 0;

  bool operator==(const Decoded&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Decoded& d) {
  os << "{con " << d.conType << " type " << d.itemType << " items";
  for (auto v : d.items) os << ' ' << v;
  return os << " cur " << d.currentIndex << " def " << d.defaultIndex << "}";
}

std::int64_t readItem(TW_UINT16 type, const std::uint8_t* p) {
  switch (type) {
    case TWTY_INT8: return static_cast<std::int8_t>(p[0]);
    case TWTY_UINT8: return p[0];
    case TWTY_INT16: { std::int16_t v; std::memcpy(&v, p, 2); return v; }
    case TWTY_UINT16:
    case TWTY_BOOL: { std::uint16_t v; std::memcpy(&v, p, 2); return v; }
    case TWTY_INT32: { std::int32_t v; std::memcpy(&v, p, 4); return v; }
    case TWTY_FIX32: { TW_FIX32 f; std::memcpy(&f, p, 4); return twain::fix32Raw(f); }
    default: { std::uint32_t v; std::memcpy(&v, p, 4); return v; }
  }
}

std::size_t widthOf(TW_UINT16 type) {
  switch (type) {
    case TWTY_INT8: case TWTY_UINT8: return 1;
    case TWTY_INT16: case TWTY_UINT16: case TWTY_BOOL: return 2;
    default: return 4;
  }
}

Decoded decode(const TW_CAPABILITY& cap) {
  Decoded d;
  d.conType = cap.ConType;
  const auto* p = recording::bytesOf(cap.hContainer);
  const std::size_t size = recording::sizeOf(cap.hContainer);
  if (p == nullptr) return d;
  std::memcpy(&d.itemType, p, 2);
  const std::size_t w = widthOf(d.itemType);
  switch (cap.ConType) {
    case TWON_ONEVALUE:
      d.items.push_back(readItem(d.itemType, p + 2));
      break;
    case TWON_RANGE: {
      TW_RANGE r;
      std::memcpy(&r, p, sizeof r);
      for (TW_UINT32 v : {r.MinValue, r.MaxValue, r.StepSize, r.CurrentValue, r.DefaultValue})
        d.items.push_back(readItem(d.itemType, reinterpret_cast<const std::uint8_t*>(&v)));
      break;
    }
    case TWON_ENUMERATION:
    case TWON_ARRAY: {
      TW_UINT32 n;
      std::memcpy(&n, p + 2, 4);
      std::size_t head = cap.ConType == TWON_ARRAY ? 6 : 14;
      EXPECT_LE(head + n * w, size);
      for (TW_UINT32 i = 0; i < n && head + (i + 1) * w <= size; ++i) d.items.push_back(readItem(d.itemType, p + head + i * w));
      if (cap.ConType == TWON_ENUMERATION) {
        std::memcpy(&d.currentIndex, p + 6, 4);
        std::memcpy(&d.defaultIndex, p + 10, 4);
      }
      break;
    }
  }
  return d;
}

// The fixture copied into a temporary folder, as the source would find it beside itself.
class CapabilityDb : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(std::filesystem::path(TWAIN_TEST_DATA) / "Selvane.cap", file());
  }
  std::filesystem::path file() const { return dir / "Selvane.cap"; }
  std::string key(const char* section, const char* k) const {
    return platform::ini::getString(file(), section, k, "<absent>");
  }

  // Asks for one message; the container handed back is decoded and freed.
  std::pair<TW_UINT16, Decoded> ask(TW_UINT16 msg, TW_UINT16 capId) {
    TW_CAPABILITY cap{capId, TWON_DONTCARE16, nullptr};
    TW_UINT16 cc = CapabilityDatabase(file()).answer(msg, cap, recording::memory());
    Decoded d;
    if (cc == TWCC_SUCCESS) {
      EXPECT_NE(+cap.hContainer, nullptr);
      EXPECT_EQ(recording::locksOf(cap.hContainer), 0) << "every lock undone";
      d = decode(cap);
      recording::free(cap.hContainer);
    } else {
      EXPECT_EQ(+cap.hContainer, nullptr);
    }
    return {cc, d};
  }

  // MSG_SET with a container the test builds; returns the code and the container as it came back.
  std::pair<TW_UINT16, Decoded> set(TW_UINT16 capId, TW_UINT16 conType, const std::vector<std::uint8_t>& bytes) {
    TW_HANDLE h = recording::allocate(static_cast<TW_UINT32>(bytes.size()));
    std::memcpy(recording::bytesOf(h), bytes.data(), bytes.size());
    TW_CAPABILITY cap{capId, conType, h};
    TW_UINT16 cc = CapabilityDatabase(file()).answer(MSG_SET, cap, recording::memory());
    EXPECT_EQ(+cap.hContainer, h) << "the caller's container stays the caller's";
    EXPECT_EQ(recording::locksOf(h), 0) << "every lock undone";
    Decoded d = cc == TWCC_SUCCESS ? decode(cap) : Decoded{};
    recording::free(h);
    return {cc, d};
  }

  testsupport::TempDir dir;
};

template <typename T>
void append(std::vector<std::uint8_t>& out, T v) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
  out.insert(out.end(), p, p + sizeof v);
}

std::vector<std::uint8_t> oneValue(TW_UINT16 type, TW_UINT32 item) {
  std::vector<std::uint8_t> b;
  append(b, type);
  append(b, item);
  return b;
}

std::vector<std::uint8_t> range(TW_UINT16 type, TW_UINT32 min, TW_UINT32 max, TW_UINT32 step, TW_UINT32 def,
                                TW_UINT32 cur) {
  std::vector<std::uint8_t> b;
  append(b, type);
  for (TW_UINT32 v : {min, max, step, def, cur}) append(b, v);
  return b;
}

std::vector<std::uint8_t> list16(TW_UINT16 conType, TW_UINT16 type, std::vector<TW_UINT16> items,
                                 TW_UINT32 declared = UINT32_MAX) {
  std::vector<std::uint8_t> b;
  append(b, type);
  append(b, declared == UINT32_MAX ? static_cast<TW_UINT32>(items.size()) : declared);
  if (conType == TWON_ENUMERATION) {
    append(b, TW_UINT32{0});
    append(b, TW_UINT32{0});
  }
  for (TW_UINT16 v : items) append(b, v);
  return b;
}

TEST_F(CapabilityDb, AnswersFromTheFile) {
  const auto one = [](TW_UINT16 type, std::int64_t v) { return Decoded{TWON_ONEVALUE, type, {v}, 0, 0}; };
  struct Case {
    const char* what;
    TW_UINT16 msg, cap, cc;
    Decoded expected;
  } cases[] = {
      {"Get of TWON_ONEVALUE answers Current", MSG_GET, CAP_XFERCOUNT, TWCC_SUCCESS, one(TWTY_INT16, -1)},
      {"enumeration indices found item by item", MSG_GET, ICAP_BITDEPTH, TWCC_SUCCESS,
       {TWON_ENUMERATION, TWTY_UINT16, {16, 8, 12, 1}, 3, 1}},
      {"names resolved, blanks trimmed", MSG_GET, ICAP_PIXELTYPE, TWCC_SUCCESS,
       {TWON_ENUMERATION, TWTY_UINT16, {TWPT_BW, TWPT_GRAY}, 1, 1}},
      {"current of a listed form follows the range text", MSG_GETCURRENT, ICAP_XRESOLUTION, TWCC_SUCCESS,
       {TWON_RANGE, TWTY_FIX32, {fix(100), fix(400), fix(100), 0, fix(28.34)}, 0, 0}},
      {"get over Allowed with a range", MSG_GET, ICAP_XRESOLUTION, TWCC_SUCCESS,
       {TWON_RANGE, TWTY_FIX32, {fix(100), fix(400), fix(100), 0, fix(28.34)}, 0, 0}},
      {"FIX32 default read as a decimal number", MSG_GETDEFAULT, ICAP_XRESOLUTION, TWCC_SUCCESS,
       one(TWTY_FIX32, fix(28.34))},
      {"a name for the current value", MSG_GETCURRENT, ICAP_XFERMECH, TWCC_SUCCESS, one(TWTY_UINT16, TWSX_MEMORY)},
      {"array with an unknown name as 99", MSG_GET, CAP_SUPPORTEDCAPS, TWCC_SUCCESS,
       {TWON_ARRAY, TWTY_UINT16, {CAP_XFERCOUNT, ICAP_XFERMECH, 99}, 0, 0}},
      {"device online from the file", MSG_GET, CAP_DEVICEONLINE, TWCC_SUCCESS, one(TWTY_BOOL, 1)},
      {"device online default", MSG_GETDEFAULT, CAP_DEVICEONLINE, TWCC_SUCCESS, one(TWTY_BOOL, 0)},
      {"container key TWCC_BADCAP", MSG_GETDEFAULT, CAP_SUPPORTEDCAPS, TWCC_BADCAP, {}},
      {"missing value", MSG_GETDEFAULT, ICAP_PHYSICALWIDTH, TWCC_BADCAP, {}},
      {"section without Type", MSG_GET, CAP_FEEDERENABLED, TWCC_BADCAP, {}},
      {"known capability without a section", MSG_GET, ICAP_PLANARCHUNKY, TWCC_BADCAP, {}},
      {"capability outside the list, section or not", MSG_GET, ICAP_IMAGEFILEFORMAT, TWCC_BADCAP, {}},
      {"unknown capability number", MSG_GET, 0x7777, TWCC_BADCAP, {}},
  };
  for (const Case& c : cases) {
    auto [cc, d] = ask(c.msg, c.cap);
    EXPECT_EQ(cc, c.cc) << c.what;
    if (c.cc == TWCC_SUCCESS) {
      EXPECT_EQ(d, c.expected) << c.what;
    }
  }
}

TEST_F(CapabilityDb, OneValueSetIsCheckedAgainstAllowed) {
  // A stepped range first, written as the application sends it.
  ASSERT_EQ(set(CAP_XFERCOUNT, TWON_RANGE, range(TWTY_INT16, 100, 400, 100, 100, 200)).first, TWCC_SUCCESS);
  EXPECT_EQ(key("CAP_XFERCOUNT", "Allowed"), "100_to_400,100");
  EXPECT_EQ(key("CAP_XFERCOUNT", "Default"), "100");
  EXPECT_EQ(key("CAP_XFERCOUNT", "Current"), "200");

  struct Case {
    TW_UINT16 cap;
    TW_UINT16 type;
    TW_UINT32 value;
    TW_UINT16 cc;
    const char* current;  // the Current key afterwards
  } cases[] = {
      {CAP_XFERCOUNT, TWTY_INT16, 300, TWCC_SUCCESS, "300"},
      {CAP_XFERCOUNT, TWTY_INT16, 250, TWCC_BADVALUE, "300"},
      {CAP_XFERCOUNT, TWTY_INT16, 500, TWCC_BADVALUE, "300"},
      {CAP_XFERCOUNT, TWTY_INT16, 0, TWCC_BADVALUE, "300"},
      {CAP_XFERCOUNT, TWTY_UINT32, 400, TWCC_BADVALUE, "300"},  // item type not the capability's
      {ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW, TWCC_SUCCESS, "TWPT_BW"},  // the listed text is written
      {ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB, TWCC_BADVALUE, "TWPT_BW"},
      {ICAP_BITDEPTH, TWTY_UINT16, 12, TWCC_SUCCESS, "12"},
      {ICAP_BITDEPTH, TWTY_UINT16, 6, TWCC_BADVALUE, "12"},  // not a substring match of "16"
      {ICAP_XRESOLUTION, TWTY_FIX32, field(150.25), TWCC_SUCCESS, "150.25"},
      {ICAP_PHYSICALWIDTH, TWTY_FIX32, field(1), TWCC_BADCAP, "360.5"},
  };
  for (const Case& c : cases) {
    auto [cc, d] = set(c.cap, TWON_ONEVALUE, oneValue(c.type, c.value));
    EXPECT_EQ(cc, c.cc) << c.cap << " " << c.value;
    const char* section = c.cap == CAP_XFERCOUNT     ? "CAP_XFERCOUNT"
                          : c.cap == ICAP_PIXELTYPE  ? "ICAP_PIXELTYPE"
                          : c.cap == ICAP_BITDEPTH   ? "ICAP_BITDEPTH"
                          : c.cap == ICAP_XRESOLUTION ? "ICAP_XRESOLUTION"
                                                     : "ICAP_PHYSICALWIDTH";
    EXPECT_EQ(key(section, "Current"), c.current) << c.cap << " " << c.value;
    if (cc == TWCC_SUCCESS) {
      const auto* item = reinterpret_cast<const std::uint8_t*>(&c.value);
      EXPECT_EQ(d, (Decoded{TWON_ONEVALUE, c.type, {readItem(c.type, item)}, 0, 0}));
    }
  }
}

TEST_F(CapabilityDb, RangeStepZeroAcceptsEveryValueWithinTheBounds) {
  for (TW_INT16 v : {-1, 0, 37, 100}) {
    EXPECT_EQ(set(CAP_XFERCOUNT, TWON_ONEVALUE, oneValue(TWTY_INT16, static_cast<TW_UINT16>(v))).first, TWCC_SUCCESS) << v;
    EXPECT_EQ(key("CAP_XFERCOUNT", "Current"), std::to_string(v));
  }
  for (TW_INT16 v : {-2, 101})
    EXPECT_EQ(set(CAP_XFERCOUNT, TWON_ONEVALUE, oneValue(TWTY_INT16, static_cast<TW_UINT16>(v))).first, TWCC_BADVALUE) << v;
}

TEST_F(CapabilityDb, ListSetsAreWrittenAndRefillOnlyAMatchingContainer) {
  // An enumeration answers with an enumeration of the same size: the caller's container is refilled.
  auto [cc, d] = set(ICAP_BITDEPTH, TWON_ENUMERATION, list16(TWON_ENUMERATION, TWTY_UINT16, {8, 12}));
  EXPECT_EQ(cc, TWCC_SUCCESS);
  EXPECT_EQ(key("ICAP_BITDEPTH", "Allowed"), "8,12");
  EXPECT_EQ(d, (Decoded{TWON_ENUMERATION, TWTY_UINT16, {8, 12}, 0, 0}));

  // One item reads back as a one value: another container type, so the caller's stays as sent.
  std::tie(cc, d) = set(ICAP_BITDEPTH, TWON_ENUMERATION, list16(TWON_ENUMERATION, TWTY_UINT16, {12}));
  EXPECT_EQ(cc, TWCC_SUCCESS);
  EXPECT_EQ(key("ICAP_BITDEPTH", "Allowed"), "12");
  EXPECT_EQ(d, (Decoded{TWON_ENUMERATION, TWTY_UINT16, {12}, 0, 0}));

  std::tie(cc, d) = set(ICAP_BITDEPTH, TWON_ARRAY, list16(TWON_ARRAY, TWTY_UINT16, {8, 10}));
  EXPECT_EQ(cc, TWCC_SUCCESS);
  EXPECT_EQ(key("ICAP_BITDEPTH", "Allowed"), "[8,10]");
  EXPECT_EQ(d, (Decoded{TWON_ARRAY, TWTY_UINT16, {8, 10}, 0, 0}));

  struct Refused {
    const char* what;
    TW_UINT16 cap, conType;
    std::vector<std::uint8_t> bytes;
    TW_UINT16 cc;
  } refused[] = {
      {"more items declared than the block holds", ICAP_BITDEPTH, TWON_ARRAY,
       list16(TWON_ARRAY, TWTY_UINT16, {8}, 0x40000000), TWCC_BADVALUE},
      {"no items", ICAP_BITDEPTH, TWON_ENUMERATION, list16(TWON_ENUMERATION, TWTY_UINT16, {}), TWCC_BADVALUE},
      {"container type not listed in Set", ICAP_XFERMECH, TWON_ENUMERATION,
       list16(TWON_ENUMERATION, TWTY_UINT16, {0}), TWCC_BADVALUE},
      {"Set of TWCC_BADCAP", CAP_SUPPORTEDCAPS, TWON_ARRAY, list16(TWON_ARRAY, TWTY_UINT16, {1}), TWCC_BADCAP},
      {"range bounds the wrong way round", CAP_XFERCOUNT, TWON_RANGE, range(TWTY_INT16, 9, 3, 1, 3, 3),
       TWCC_BADVALUE},
      {"a range of another item type, not read further", CAP_XFERCOUNT, TWON_RANGE, {4, 0, 1}, TWCC_BADVALUE},
  };
  for (const Refused& r : refused) EXPECT_EQ(set(r.cap, r.conType, r.bytes).first, r.cc) << r.what;
  EXPECT_EQ(key("ICAP_BITDEPTH", "Allowed"), "[8,10]");
  EXPECT_EQ(key("CAP_XFERCOUNT", "Allowed"), "-1_to_100,0");

  TW_CAPABILITY none{ICAP_BITDEPTH, TWON_ONEVALUE, nullptr};
  EXPECT_EQ(CapabilityDatabase(file()).answer(MSG_SET, none), TWCC_BADVALUE);
}

TEST_F(CapabilityDb, ResetRestoresAndPersistsAcrossLoads) {
  ASSERT_EQ(set(ICAP_BITDEPTH, TWON_ENUMERATION, list16(TWON_ENUMERATION, TWTY_UINT16, {8, 12})).first, TWCC_SUCCESS);
  ASSERT_EQ(set(ICAP_BITDEPTH, TWON_ONEVALUE, oneValue(TWTY_UINT16, 12)).first, TWCC_SUCCESS);

  auto [cc, d] = ask(MSG_RESET, ICAP_BITDEPTH);
  EXPECT_EQ(cc, TWCC_SUCCESS);
  EXPECT_EQ(d, (Decoded{TWON_ONEVALUE, TWTY_UINT16, {8}, 0, 0}));
  EXPECT_EQ(ask(MSG_RESET, CAP_DEVICEONLINE).first, TWCC_BADCAP);

  // A new database over the same file stands for the next load of the source.
  std::tie(cc, d) = ask(MSG_GET, ICAP_BITDEPTH);
  EXPECT_EQ(cc, TWCC_SUCCESS);
  EXPECT_EQ(d, (Decoded{TWON_ENUMERATION, TWTY_UINT16, {16, 8, 12, 1}, 1, 1}));
  EXPECT_EQ(key("ICAP_BITDEPTH", "Allowed"), "16,8,12,1");
  EXPECT_EQ(key("ICAP_BITDEPTH", "Current"), "8");

  // Every write replaced the file whole: nothing else is left beside it.
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"Selvane.cap"});
}

TEST_F(CapabilityDb, Fix32RangeRoundTripsThroughTheFile) {
  ASSERT_EQ(set(ICAP_XRESOLUTION, TWON_RANGE,
                range(TWTY_FIX32, field(50), field(1000), field(0.5), field(28.34), field(-1.75)))
                .first,
            TWCC_SUCCESS);
  EXPECT_EQ(key("ICAP_XRESOLUTION", "Allowed"), "50_to_1000,0.5");
  EXPECT_EQ(key("ICAP_XRESOLUTION", "Default"), "28.34");
  EXPECT_EQ(key("ICAP_XRESOLUTION", "Current"), "-1.75");
  auto [cc, d] = ask(MSG_GET, ICAP_XRESOLUTION);
  EXPECT_EQ(cc, TWCC_SUCCESS);
  EXPECT_EQ(d, (Decoded{TWON_RANGE, TWTY_FIX32, {fix(50), fix(1000), fix(0.5), fix(-1.75), fix(28.34)}, 0, 0}));
  EXPECT_EQ(ask(MSG_GETCURRENT, ICAP_XRESOLUTION).second, (Decoded{TWON_ONEVALUE, TWTY_FIX32, {fix(-1.75)}, 0, 0}));
}

TEST(Fix32, DecimalTextsRoundTrip) {
  struct Case {
    const char* text;
    TW_INT16 whole;
    TW_UINT16 frac;
    const char* written;
  } cases[] = {
      {"28.34", 28, 22282, "28.34"},  // 0.34 x 65536 = 22282.24
      {"0.5", 0, 32768, "0.5"},
      {"-1.5", -2, 32768, "-1.5"},
      {"300", 300, 0, "300"},
      {"+2.25", 2, 16384, "2.25"},
      {"0.00002", 0, 1, "0.00002"},
      {"32767.99999", 32767, 65535, "32767.99998"},
  };
  for (const Case& c : cases) {
    auto f = twain::parseFix32(c.text);
    ASSERT_TRUE(f) << c.text;
    EXPECT_EQ(f->Whole, c.whole) << c.text;
    EXPECT_EQ(f->Frac, c.frac) << c.text;
    EXPECT_EQ(twain::formatFix32(*f), c.written) << c.text;
    EXPECT_EQ(twain::fix32Raw(*twain::parseFix32(twain::formatFix32(*f))), twain::fix32Raw(*f)) << c.text;
  }
  for (const char* bad : {"", "abc", "1.2.3", "1e3", "40000", "-40000", "1,5", " 1"})
    EXPECT_FALSE(twain::parseFix32(bad)) << bad;
  // Every fraction field comes back from its text unchanged.
  for (std::uint32_t frac = 0; frac < 65536; frac += 7) {
    TW_FIX32 f{-3, static_cast<TW_UINT16>(frac)};
    auto back = twain::parseFix32(twain::formatFix32(f));
    ASSERT_TRUE(back);
    ASSERT_EQ(twain::fix32Raw(*back), twain::fix32Raw(f)) << frac;
  }
}

TEST(CapabilityItems, FrameAndStringItemsTakeTheirRealSizes) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "Selvane.cap",
                         "[ICAP_PHYSICALWIDTH]\nType=TWTY_FRAME\nGet=TWON_ONEVALUE\nCurrent=0 0.5 360 432.25\n"
                         "[ICAP_PHYSICALHEIGHT]\nType=TWTY_STR32\nGet=TWON_ENUMERATION\nAllowed=film, plate\n"
                         "Current=plate\n"
                         "[ICAP_BITDEPTH]\nType=TWTY_STR32\nGet=TWON_ONEVALUE\n"
                         "Current=a text of thirty-three characters\n");
  CapabilityDatabase db(dir / "Selvane.cap");

  TW_CAPABILITY cap{ICAP_PHYSICALWIDTH, 0, nullptr};
  ASSERT_EQ(db.answer(MSG_GET, cap, recording::memory()), TWCC_SUCCESS);
  ASSERT_EQ(recording::sizeOf(cap.hContainer), 2 + sizeof(TW_FRAME));
  TW_FRAME frame;
  std::memcpy(&frame, recording::bytesOf(cap.hContainer) + 2, sizeof frame);
  EXPECT_EQ(twain::fix32Raw(frame.Left), 0);
  EXPECT_EQ(twain::fix32Raw(frame.Top), fix(0.5));
  EXPECT_EQ(twain::fix32Raw(frame.Right), fix(360));
  EXPECT_EQ(twain::fix32Raw(frame.Bottom), fix(432.25));
  recording::free(cap.hContainer);

  cap = {ICAP_PHYSICALHEIGHT, 0, nullptr};
  ASSERT_EQ(db.answer(MSG_GET, cap, recording::memory()), TWCC_SUCCESS);
  ASSERT_EQ(recording::sizeOf(cap.hContainer), 14 + 2 * sizeof(TW_STR32));
  const auto* p = reinterpret_cast<const char*>(recording::bytesOf(cap.hContainer));
  EXPECT_STREQ(p + 14, "film");
  EXPECT_STREQ(p + 14 + sizeof(TW_STR32), "plate");
  TW_UINT32 current;
  std::memcpy(&current, p + 6, 4);
  EXPECT_EQ(current, 1u);
  recording::free(cap.hContainer);

  // 33 characters leave no room for the NUL of a TW_STR32.
  cap = {ICAP_BITDEPTH, 0, nullptr};
  EXPECT_EQ(db.answer(MSG_GET, cap), TWCC_BADCAP);
}

TEST_F(CapabilityDb, SetupMemXferAndCurrentValues) {
  TW_SETUPMEMXFER s = CapabilityDatabase(file()).setupMemXfer();
  EXPECT_EQ(s.MinBufSize, 1024u);
  EXPECT_EQ(s.MaxBufSize, 1048576u);
  EXPECT_EQ(s.Preferred, 65536u);
  TW_SETUPMEMXFER none = CapabilityDatabase(dir / "absent.cap").setupMemXfer();
  EXPECT_EQ(none.MinBufSize + none.MaxBufSize + none.Preferred, 0u);

  CapabilityDatabase db(file());
  EXPECT_EQ(db.currentValue(ICAP_XFERMECH), TWSX_MEMORY);
  EXPECT_EQ(db.currentValue(CAP_XFERCOUNT), static_cast<TW_UINT32>(-1));
  EXPECT_EQ(db.currentValue(ICAP_XRESOLUTION), std::nullopt);  // a range, no single value
  EXPECT_EQ(db.currentValue(ICAP_UNITS), std::nullopt);
}

}  // namespace
