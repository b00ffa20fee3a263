// One TWAIN session as an imaging application runs it, shared by the two test
// applications (with and without Qt): open the manager and the default source,
// choose the transfer, enable the source, take every image it offers, and close
// when the source asks. Every triplet and every strip goes to a log that the
// tests read.
#pragma once

#include "hosts/twain/twain.h"
#include "hosts/twain/twain_memory.h"
#include "platform/library.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace twain {

struct SessionOptions {
  std::filesystem::path manager;  // the source manager library
  std::filesystem::path outDir;   // imageN.bmp (native) or imageN.raw (memory)
  bool showUI = true;
  bool memory = false;            // memory transfers instead of native ones
  TW_UINT32 bufferSize = 0;       // memory transfers: 0 takes the source's preferred size
  int timeoutMs = 30000;          // the programs give up after this long
};

// Writes a packed DIB as a BMP file: a file header in front, the pixel offset
// taken from the DIB's own header and checked against its size.
bool writeBmpFile(const std::uint8_t* dib, std::size_t size, const std::filesystem::path& file);

// The bytes of an uncompressed or bit-field packed DIB of 8 or 16 bits per
// pixel by its own header (of at least 40 bytes); nullopt for any other DIB or
// one larger than a radiograph holds. A handle tells no size of its own.
std::optional<std::size_t> packedDibSize(const std::uint8_t* dib);

// "--manager PATH --out DIR [--memory] [--buffer N] [--hide-ui] [--timeout-ms N]";
// nullopt with a reason in error for anything else.
std::optional<SessionOptions> parseArguments(const std::vector<std::string>& args, std::string& error);

class Session {
 public:
  explicit Session(SessionOptions options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Loads the manager and brings the source to state 5; false when that fails.
  bool open();
  // Hands one event to the source and serves what it asks for; false once the
  // session has ended (or never opened).
  bool processEvent(void* event);
  // Takes down whatever is still open, in the order TWAIN asks.
  void close();

  bool ended() const { return phase_ == Phase::Ended; }
  int images() const { return images_; }
  const std::vector<std::string>& log() const { return log_; }

 private:
  enum class Phase { Closed, ManagerOpen, SourceOpen, Enabled, Ended };

  TW_UINT16 call(TW_IDENTITY* dest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF data, const char* what);
  void note(std::string line) { log_.push_back(std::move(line)); }
  void transfer();
  bool nativeTransfer(const std::filesystem::path& file);
  bool memoryTransfer(const TW_IMAGEINFO& info, const std::filesystem::path& file);

  SessionOptions options_;
  platform::Library library_;
  DSMENTRYPROC dsm_ = nullptr;
  Memory memory_;  // the manager's, when it offers its own
  TW_IDENTITY app_{};
  TW_IDENTITY source_{};
  Phase phase_ = Phase::Closed;
  int images_ = 0;
  std::vector<std::string> log_;
};

// What both programs do around their event loop: read the arguments, open the
// session, let `loop` hand it events until it ends, close it and print the log.
// Exit codes: 0 the session ended, 1 it did not open, 2 it did not end in time,
// 64 bad arguments.
int runTestApplication(int argc, char** argv,
                       const std::function<void(Session&, const SessionOptions&)>& loop);

}  // namespace twain
