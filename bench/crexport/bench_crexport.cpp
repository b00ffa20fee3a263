// Exports a 7120 x 8640 16-bit plate as the CR program does (the DICONDE file
// built from the raw file in the data folder and made durable, moved into the
// export folder, its .info companion and the .ready marker, the study counter
// raised) and lets a peer do the same work the plain way in this process: the
// same bytes written to the same files on the same file system, made durable
// by the same calls (fdatasync of the file, fsync of the ini files and of the
// export folder). The peer's files are compared with ours; a warm memcpy of
// the pixel bytes is the limit.
//
//   bench_crexport [folder on the file system to measure] [repetitions]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/bench_support.h"
#include "crapp/datacontainer.h"
#include "log/log.h"

namespace {

namespace fs = std::filesystem;
constexpr int kColumns = 7120, kRows = 8640;
constexpr double kGoal = 1.5;
constexpr std::size_t kChunk = crapp::CDataContainer::kCopyBufferSize;

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "failed: %s\n", what.c_str());
  std::exit(1);
}

std::string readWhole(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) die("cannot read " + file.string());
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= std::size_t(n);
  }
  return true;
}

// Written and on disk, so that both sides read it from the page cache alone.
void writeDurable(const fs::path& file, const void* data, std::size_t size) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || !writeAll(fd, static_cast<const std::uint8_t*>(data), size) || ::fdatasync(fd) != 0 ||
      ::close(fd) != 0)
    die(file.string());
}

// An ini file replaced whole: a temporary beside it, fsync, rename.
bool replaceFile(const fs::path& file, const std::string& bytes) {
  const fs::path tmp = file.string() + ".tmp";
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool ok = writeAll(fd, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()) && ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok && ::rename(tmp.c_str(), file.c_str()) == 0;
}

// What the peer writes: our export's bytes that do not come from the raw file.
struct PeerSet {
  std::string header;   // the DICONDE file up to its pixels
  std::string info;     // the .info companion
  std::string counter;  // the site ini with the raised counter
};

// The file: its header, then the raw file through one buffer of the export's
// size, made durable before anything else names it.
bool peerFile(const fs::path& raw, const fs::path& to, const std::string& header, std::uint8_t* buffer) {
  const int in = ::open(raw.c_str(), O_RDONLY | O_CLOEXEC);
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool ok = in >= 0 && out >= 0 && writeAll(out, reinterpret_cast<const std::uint8_t*>(header.data()), header.size());
  for (ssize_t got = 1; ok && got > 0;) {
    got = ::read(in, buffer, kChunk);
    ok = got >= 0 && writeAll(out, buffer, std::size_t(got));
  }
  ok = ok && ::fdatasync(out) == 0;
  if (in >= 0) ::close(in);
  return out >= 0 && ::close(out) == 0 && ok;
}

// The whole set the plain way, in the order that keeps it safe.
bool peerExport(const crapp::CDataContainer& c, const PeerSet& set, const std::string& base, std::uint8_t* buffer) {
  const fs::path internal = c.dataFolder() / "peer.dcm";
  const fs::path dcm = c.exportFolder() / (base + ".dcm");
  if (!peerFile(c.rawImagePath(), internal, set.header, buffer) || ::rename(internal.c_str(), dcm.c_str()) != 0)
    return false;
  if (!replaceFile(dcm.string() + ".info", set.info) || !bench::syncFolder(c.exportFolder().string())) return false;
  const int ready = ::open((dcm.string() + ".ready").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (ready < 0 || ::close(ready) != 0) return false;
  return replaceFile(c.programDir() / "peer-site.ini", set.counter);
}

void emptyFolder(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) fs::remove(entry.path());
}

}  // namespace

int main(int argc, char** argv) {
  bench::sameAllocator(argv);
  // A folder of its own inside the one given (which picks the file system),
  // so that removing it at the end removes nothing else.
  const fs::path dir = (argc > 1 && argv[1][0] ? fs::path(argv[1]) : fs::temp_directory_path()) /
                       ("bench_crexport-" + std::to_string(::getpid()));
  const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  fs::remove_all(dir);
  fs::create_directories(dir / "program");
  Log::setLogFileDir((dir / "log").c_str());
  Log::setLogLevel(1);
  const std::string sizes = "[IPSizeID_1]\nMmWidth=356\nMmHeight=432\nDispName=14x17\nCassetteSizeString=14INX17IN\n";
  writeDurable(dir / "program" / "Halcyone.ini", sizes.data(), sizes.size());

  crapp::CDataContainer container(dir / "program");
  const std::size_t bytes = std::size_t{kRows} * kColumns * 2;
  std::vector<std::uint8_t> raw(bytes);
  for (std::size_t i = 0; i < bytes; ++i) raw[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
  writeDurable(container.rawImagePath(), raw.data(), raw.size());
  container.CreateScanInfomation({"BENCH", "Bench^Plate", "Weld"});
  container.CreateScanCondition({1, 50, 200, 2});
  container.CreateScanImage({kRows, kColumns, 16, static_cast<std::int64_t>(bytes)});
  const std::time_t fixed = std::time(nullptr);
  container.setClockForTest([fixed] { return fixed; });  // every run names its set alike

  // One export first: its bytes are what the peer writes, and must hold the raw pixels.
  if (container.OutputDICOM() != 1) die("OutputDICOM");
  const fs::path ours = container.lastExportedFile();
  const std::string ourFile = readWhole(ours);
  bench::requireEqual(ourFile.size() > bytes && std::memcmp(ourFile.data() + ourFile.size() - bytes, raw.data(),
                                                            bytes) == 0,
                      "our DICONDE file's pixels and the raw file");
  const PeerSet set{ourFile.substr(0, ourFile.size() - bytes), readWhole(ours.string() + ".info"),
                    readWhole(container.siteIniPath())};
  bench::requireEqual(fs::exists(ours.string() + ".ready") && fs::file_size(ours.string() + ".ready") == 0,
                      "our empty .ready marker");
  emptyFolder(container.exportFolder());

  // Taken in turn, so that a busy moment of the shared disk falls on both alike.
  std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kChunk]);
  const std::string peerBase = "peer";
  double ourSet = 1e300, peerSet = 1e300, ourFileMs = 1e300, peerFileMs = 1e300;
  std::tm saveTime{};
  localtime_r(&fixed, &saveTime);
  for (int i = 0; i < reps; ++i) {
    ourSet = std::min(ourSet, bench::bestMs(1, [&] { return container.OutputDICOM() == 1; }));
    emptyFolder(container.exportFolder());
    peerSet = std::min(peerSet, bench::bestMs(1, [&] { return peerExport(container, set, peerBase, buffer.get()); }));
    if (i + 1 < reps) emptyFolder(container.exportFolder());
    ourFileMs = std::min(ourFileMs, bench::bestMs(1, [&] { return container.MakeFileDICOM(saveTime) == 1; }));
    const fs::path peerInternal = container.dataFolder() / "peer.dcm";
    peerFileMs = std::min(peerFileMs, bench::bestMs(1, [&] {
                            return peerFile(container.rawImagePath(), peerInternal, set.header, buffer.get());
                          }));
    // Our later files carry a raised study counter; size and pixels must agree.
    const std::string peerBytes = readWhole(peerInternal), ourBytes = readWhole(container.internalDicomPath());
    bench::requireEqual(peerBytes.size() == ourBytes.size() &&
                            ourBytes.compare(ourBytes.size() - bytes, bytes, peerBytes, peerBytes.size() - bytes,
                                             bytes) == 0,
                        "the peer's DICONDE file and ours: size and pixel bytes");
    fs::remove(peerInternal);
    fs::remove(container.internalDicomPath());
  }
  const fs::path peerDcm = container.exportFolder() / (peerBase + ".dcm");
  bench::requireEqual(readWhole(peerDcm) == ourFile, "the peer's exported file and ours, byte for byte");
  bench::requireEqual(readWhole(peerDcm.string() + ".info") == set.info, "the peer's .info and ours");
  bench::requireEqual(fs::exists(peerDcm.string() + ".ready"), "the peer's .ready marker");
  const double limit = bench::warmMemcpyMs(bytes, reps);

  const std::string how = "plain calls in this process, 10 MiB pieces, fdatasync/fsync as ours";
  const std::vector<bench::Row> rows = {
      {"export set (.dcm, .info, .ready)", ourSet, peerSet, limit, how + ", rename, counter"},
      {"DICONDE file alone, durable", ourFileMs, peerFileMs, limit, how},
  };
  bench::printTable("CR plate " + std::to_string(kColumns) + " x " + std::to_string(kRows) + ", 16 bits, " +
                        std::to_string(bytes) + " pixel bytes, files in " + dir.string() + " (" +
                        "one file system), best of " + std::to_string(reps) +
                        "; the peer writes our bytes (header and companions taken from our export); limit: warm "
                        "memcpy of the pixel bytes",
                    rows);
  std::printf("outputs equal: the peer's .dcm and .info are ours byte for byte; both .dcm hold the raw pixels\n");
  const bool met = ourSet / peerSet <= kGoal;
  std::printf("goal: export set at most %.1f x the same work done plainly: %s\n", kGoal, met ? "met" : "NOT met");
  fs::remove_all(dir);
  return met ? 0 : 2;
}
