// A host that sends whatever the input says: writes of its bytes, reads,
// vendor requests, clear-halts and faults. The device must answer or refuse,
// never crash, hang or read past what it was given.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz/input.h"
#include "simulator/sim.h"

using fuzzing::Input;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in{data, size};
  sim::Bus bus;
  sim::DeviceConfig config = (in.byte() & 1) ? sim::crReader() : sim::filmDigitizer();
  config.bulkInPacket = std::uint16_t(in.byte() * 4);
  auto scanner = bus.plug(config);
  sim::Timing timing;
  timing.receptionTimeoutMs = 1;
  scanner.setTiming(timing);
  auto dev = bus.open(scanner.path());
  std::vector<std::uint8_t> buffer(1 << 16);
  for (int step = 0; step < 64 && in.left > 0; ++step) {
    switch (in.byte() % 6) {
      case 0: {  // a write of the next bytes
        std::size_t n = std::min<std::size_t>(in.word() % 4096, in.left);
        dev->bulkWrite(sim::kBulkOut, in.p, n, 10);
        in.p += n;
        in.left -= n;
        break;
      }
      case 1:
        dev->bulkRead(sim::kBulkIn, buffer.data(), std::min<std::size_t>(in.word(), buffer.size()),
                      1);
        break;
      case 2: {
        std::uint8_t type = (in.byte() & 1) ? 0xC0 : 0x40;
        std::uint8_t request = in.byte() % 20;
        std::uint16_t index = in.byte();
        std::uint16_t length = in.byte() % 4;
        dev->controlTransfer(type, request, 0, index, buffer.data(), length, 10);
        break;
      }
      case 3:
        dev->clearHalt(in.byte());
        break;
      case 4: {
        sim::Fault f;
        f.kind = sim::Fault::Kind(in.byte() % 14);
        if (f.kind == sim::Fault::Kind::NotReady || f.kind == sim::Fault::Kind::DeadInterrupt)
          break;
        f.command = in.byte();
        f.code = in.word();
        f.bytes = in.word();
        scanner.arm(f);
        break;
      }
      case 5:
        scanner.raiseError(in.word());
        break;
    }
  }
  return 0;
}
