// New without a scanner keeps the started object, so that a later New
// succeeds once the scanner has arrived.
#include <gtest/gtest.h>

#include "devapi/film/tests/brightel_fixture.h"
#include "platform/sync.h"

namespace brightel_test {
namespace {

TEST(BrightelArrival, NewSucceedsOnceTheScannerArrives) {
  isolateRuntimeDir();
  auto bus = std::make_shared<sim::Bus>();
  lendPort(bus);
  {
    platform::Library library;
    Api api{};
    std::string why;
    ASSERT_TRUE(load(library, api, &why)) << why;
    devapi::DeviceNewParam param{};
    EXPECT_EQ(api.New(&param), 0) << "no scanner yet";
    EXPECT_EQ(param.handle, -1);
    EXPECT_EQ(api.Init(1), 1) << "the started object is kept";
    {
      platform::NamedMutex owner("BrightelUSB");
      EXPECT_FALSE(owner.tryLock()) << "the first open owns the scanner";
    }

    sim::Scanner film = bus->plug(sim::filmDigitizer());
    ASSERT_TRUE(eventually([&] { return api.New(&param) == 1; })) << "the arrival was not taken";
    EXPECT_EQ(param.handle, 1);
    EXPECT_EQ(film.log(sim::LogEntry::Kind::Open).size(), 1u);
    const auto c = [] {
      devapi::ScanCondition c{};
      c.width = c.height = 10;
      c.pitch = 100;
      c.pixel_bit_n = c.out_bit_depth = 12;
      return c;
    }();
    EXPECT_EQ(api.SetCondition(param.handle, &c), 1);
    EXPECT_EQ(api.Delete(param.handle), 1);
  }
  lendPort(nullptr);
}

}  // namespace
}  // namespace brightel_test
