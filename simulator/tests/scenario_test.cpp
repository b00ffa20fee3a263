// NDT_USB and scenario files.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "host.h"
#include "simulator/sim.h"
#include "testsupport/testsupport.h"

namespace {

using namespace simtest;

std::vector<std::uint16_t> productsOf(const sim::Bus& bus) {
  std::vector<std::uint16_t> v;
  for (const auto& s : bus.scanners()) v.push_back(s.config().productId);
  return v;
}

TEST(Spec, NamesTheDevicesInBusOrder) {
  struct Row {
    const char* spec;
    std::vector<std::uint16_t> products;
  };
  for (const Row& row : {Row{"sim:film", {16}}, Row{"sim:cr", {19}}, Row{"sim:film+cr", {16, 19}},
                         Row{"sim:cr+film+film", {19, 16, 16}}}) {
    std::string error;
    auto bus = sim::busFromSpec(row.spec, &error);
    ASSERT_TRUE(bus) << row.spec << ": " << error;
    EXPECT_EQ(productsOf(*bus), row.products) << row.spec;
  }
  for (const char* bad : {"libusb", "sim:", "sim:scanner", "sim:film+", "sim:film@/no/such/file"}) {
    std::string error;
    EXPECT_FALSE(sim::busFromSpec(bad, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(Spec, ScenarioFileAfterTheDevices) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "s.txt",
                         "# a CR reader whose plate ends early, and a slow film digitizer\n"
                         "device film product=18 bulkIn=64\n"
                         "plate cr 2\n"
                         "fault film status-error command=36 code=0x1005 count=1\n"
                         "feeder film 3 3\n"
                         "rate 1 50000000\n");
  std::string error;
  auto bus = sim::busFromSpec("sim:cr@" + (dir / "s.txt").string(), &error);
  ASSERT_TRUE(bus) << error;
  EXPECT_EQ(productsOf(*bus), (std::vector<std::uint16_t>{19, 18}));
  auto film = bus->scanners()[1];
  EXPECT_EQ(film.config().bulkInPacket, 64);
  Host host(*bus, film);
  host.initialise();
  StatusBlock st;
  host.ask(36, 32, &st);
  EXPECT_EQ(st.code, 0x1005);
  EXPECT_EQ(le16(host.ask(6, 48).data, 2 + 4), 2) << "two films in the feeder";

  // Only a scenario file: its devices alone.
  testsupport::writeFile(dir / "t.txt", "device cr\ndevice film product=17\n");
  bus = sim::busFromSpec("sim:@" + (dir / "t.txt").string(), &error);
  ASSERT_TRUE(bus) << error;
  EXPECT_EQ(productsOf(*bus), (std::vector<std::uint16_t>{19, 17}));
}

TEST(Scenario, BadLinesAreReportedWithTheirNumber) {
  const char* bad[] = {
      "fault film stall",          // no such device yet
      "device printer",            // unknown personality
      "device film bulkIn=70000",  // out of range
      "device film\nfault 0 gremlin",
      "device film\nfault 0 stall command=x",
      "device film\nfeeder 0 9",
      "device film\ntiming 0 warp=3",
      "device film\nat soon unplug 0",
      "device film\nbogus 0",
  };
  for (const char* text : bad) {
    sim::Bus bus;
    std::string error;
    EXPECT_FALSE(sim::applyScenario(bus, text, &error)) << text;
    EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
  }
  sim::Bus bus;
  std::string error;
  EXPECT_FALSE(sim::applyScenario(bus, "device film\n\n# fine\nerror 0 nothing\n", &error));
  EXPECT_EQ(error.rfind("line 4", 0), 0u) << error;
  EXPECT_EQ(bus.scanners().size(), 1u) << "the lines before stay applied";
}

TEST(Scenario, ErrorsTimingAndFaultsApply) {
  sim::Bus bus;
  std::string error;
  ASSERT_TRUE(sim::applyScenario(bus,
                                 "device film serial=77\n"
                                 "error film 0x4001 COVER OPEN\n"
                                 "fault 0 host-error-fails\n"
                                 "timing film move=0 calibration=0 reception=100\n",
                                 &error))
      << error;
  auto s = bus.scanners().at(0);
  EXPECT_EQ(s.config().serialNumber, 77);
  EXPECT_EQ(s.errorCode(), 0x4001);
  Host host(bus, s);
  EXPECT_EQ(host.vendor(13).status, Status::Stall);
}

// An error raised at once and one raised later carry the same text to the host.
TEST(Scenario, TimedErrorsKeepTheirText) {
  for (const char* line : {"error 0 0x4001 COVER OPEN", "at 20 error 0 0x4001 COVER OPEN"}) {
    sim::Bus bus;
    std::string error;
    ASSERT_TRUE(sim::applyScenario(bus, std::string("device film\n") + line, &error)) << error;
    auto s = bus.scanners().at(0);
    for (int i = 0; i < 200 && s.errorCode() != 0x4001; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(s.errorCode(), 0x4001) << line;
    Host host(bus, s);
    host.startSession();
    const Reply sense = host.ask(35, 34);
    ASSERT_EQ(sense.data.size(), 34u) << line;
    EXPECT_EQ(std::string(sense.data.begin() + 6, sense.data.begin() + 16), "COVER OPEN") << line;
  }
}

TEST(Environment, SelectsTheSimulatedBus) {
  const char* old = std::getenv("NDT_USB");
  std::string saved = old ? old : "";
  ::setenv("NDT_USB", "sim:film+cr", 1);
  auto bus = sim::busFromEnvironment();
  ASSERT_TRUE(bus);
  EXPECT_EQ(productsOf(*bus), (std::vector<std::uint16_t>{16, 19}));
  ::setenv("NDT_USB", "libusb", 1);
  std::string error;
  EXPECT_FALSE(sim::busFromEnvironment(&error));
  EXPECT_NE(error.find("libusb"), std::string::npos);
  ::unsetenv("NDT_USB");
  EXPECT_FALSE(sim::busFromEnvironment());
  if (old) ::setenv("NDT_USB", saved.c_str(), 1);
}

}  // namespace
