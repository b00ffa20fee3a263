// The test application without Qt: a plain loop hands the source its events.
#include "hosts/twain/testapp/session.h"

#include <chrono>
#include <thread>

int main(int argc, char** argv) {
  return twain::runTestApplication(argc, argv, [](twain::Session& session, const twain::SessionOptions& options) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.timeoutMs);
    while (session.processEvent(nullptr) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
}
