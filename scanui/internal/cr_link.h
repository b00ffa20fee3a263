// The CR link: when the CR program beside the host answers that its reader is
// connected, the library serves CR plates instead of film scans. The import
// worker runs the program, then hands every complete export set to the host,
// one at a time, and removes each set once the host has let its image go.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "crapp/site.h"
#include "scanui/internal/library_link.h"
#include "scanui/scanui.h"

namespace scanui::internal {

// One exported file as the host receives it; the pixels are malloc'ed and
// become the host's to release.
struct CrImage {
  ScanRecord record{};
  std::string componentName;      // CP932, at most 300 bytes
  std::string componentId;        // CP932, at most 300 bytes
  std::string seriesDescription;  // CP932, at most 3000 bytes
};

// The largest image taken in: far above any plate, well below what a bad
// file could make us allocate.
inline constexpr std::uint64_t kMaxCrImageBytes = std::uint64_t(1) << 30;

// Reads one exported file. False, with the reason in `why` and nothing
// allocated, when the file cannot be read or its image cannot be handed over:
// not uncompressed little endian, 8 or 16 bits allocated with the bits stored
// within them, at least as many pixel bytes as the image needs, a pitch of 1 to
// 65535 micrometres.
bool readCrImage(const std::filesystem::path& file, CrImage& out, std::string& why);

class CrLink {
 public:
  explicit CrLink(LibraryLink& link);
  ~CrLink();
  CrLink(const CrLink&) = delete;
  CrLink& operator=(const CrLink&) = delete;

  // The directory "Halcyone/..." is found in: the host program's; tests lend another.
  void setProgramDir(std::filesystem::path dir) { programDir_ = std::move(dir); }
  const std::filesystem::path& programDir() const { return programDir_; }
  // Where the CR program exports, as its site settings beside it say.
  std::filesystem::path exportFolder() const;

  // Runs "Halcyone/Halcyone -connect" and waits for it: true only for exit code 1.
  bool probe() const;

  // Starts the import worker for the hidden dialog (UI thread).
  void start();
  // Ends the worker, serving its calls onto the UI thread meanwhile. A CR
  // program still running is left to the operator; nothing more is imported.
  void stop();
  bool running() const { return worker_.joinable(); }

  // From ReleaseScanData (UI thread): the host let this buffer go.
  void released(const void* pixels);

 private:
  crapp::SiteFolders crFolders() const;
  void run();
  bool stopping();
  enum class Handing { Handed, NoHost, Ended };
  // Hands one image to the host on the UI thread; the pixels are freed unless handed.
  Handing deliver(CrImage& image);
  // Blocks until the host released the image just handed over; false on stop.
  bool waitForRelease();
  void postExit();
  void join();

  LibraryLink& link_;  // the library that drives this link, for its reports
  std::filesystem::path programDir_;
  std::thread worker_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  bool finished_ = false;
  const void* held_ = nullptr;  // the buffer the host holds, until released
  bool delivering_ = false;     // UI thread: inside the host's callback
  ScanRecord record_{};         // the current record while the host reads it
};

}  // namespace scanui::internal
