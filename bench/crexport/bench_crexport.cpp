// Prints the time of exporting a 7120 x 8640 16-bit plate (raw file to a
// published export set), the time of copying the same raw file in-process
// through a buffer of the same size on the same file system, their ratio, and
// a warm memcpy of the bytes as the limit.
//
//   bench_crexport [work directory] [repetitions]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "crapp/datacontainer.h"
#include "log/log.h"

namespace {

namespace fs = std::filesystem;
constexpr int kColumns = 7120, kRows = 8640;

double timed(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

[[noreturn]] void die(const char* what) {
  std::fprintf(stderr, "failed: %s\n", what);
  std::exit(1);
}

void writeFile(const fs::path& file, const void* data, std::size_t size) {
  std::FILE* f = std::fopen(file.c_str(), "wb");
  if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) die(file.c_str());
}

// The peer: read and write through one buffer of the export's size.
void copyFile(const fs::path& from, const fs::path& to, std::uint8_t* buffer, std::size_t size) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (in < 0 || out < 0) die("open");
  for (;;) {
    const ssize_t got = ::read(in, buffer, size);
    if (got < 0) die("read");
    if (got == 0) break;
    for (ssize_t done = 0; done < got;) {
      const ssize_t n = ::write(out, buffer + done, static_cast<std::size_t>(got - done));
      if (n <= 0) die("write");
      done += n;
    }
  }
  ::close(in);
  if (::close(out) != 0) die("close");
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "bench_crexport";
  const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  fs::remove_all(dir);
  fs::create_directories(dir / "program");
  Log::setLogFileDir((dir / "log").c_str());
  Log::setLogLevel(1);
  writeFile(dir / "program" / "Halcyone.ini",
            "[IPSizeID_1]\nMmWidth=356\nMmHeight=432\nDispName=14x17\nCassetteSizeString=14INX17IN\n", 74);

  crapp::CDataContainer container(dir / "program");
  const std::size_t bytes = std::size_t{kRows} * kColumns * 2;
  std::vector<std::uint8_t> raw(bytes);
  for (std::size_t i = 0; i < bytes; ++i) raw[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
  writeFile(container.rawImagePath(), raw.data(), raw.size());
  container.CreateScanInfomation({"BENCH", "Bench^Plate", "Weld"});
  container.CreateScanCondition({1, 50, 200, 2});
  container.CreateScanImage({kRows, kColumns, 16, static_cast<std::int64_t>(bytes)});

  std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[crapp::CDataContainer::kCopyBufferSize]);
  const fs::path peerCopy = dir / "peer.raw";
  double ours = 1e30, peer = 1e30, peerSynced = 1e30, limit = 1e30;
  std::vector<std::uint8_t> copy(bytes);
  for (int i = 0; i < repetitions; ++i) {
    ours = std::min(ours, timed([&] {
      if (container.OutputDICOM() != 1) die("OutputDICOM");
    }));
    for (auto& entry : fs::directory_iterator(container.exportFolder())) fs::remove(entry.path());

    peer = std::min(peer, timed([&] { copyFile(container.rawImagePath(), peerCopy, buffer.get(),
                                               crapp::CDataContainer::kCopyBufferSize); }));
    fs::remove(peerCopy);
    // The same copy made durable, as the export makes its file before marking it ready.
    peerSynced = std::min(peerSynced, timed([&] {
      copyFile(container.rawImagePath(), peerCopy, buffer.get(), crapp::CDataContainer::kCopyBufferSize);
      const int fd = ::open(peerCopy.c_str(), O_WRONLY | O_CLOEXEC);
      if (fd < 0 || ::fdatasync(fd) != 0) die("fdatasync");
      ::close(fd);
    }));
    fs::remove(peerCopy);

    limit = std::min(limit, timed([&] {
      std::memcpy(copy.data(), raw.data(), bytes);
      asm volatile("" : : "r"(copy.data()) : "memory");
    }));
  }
  std::printf("plate %d x %d, 16 bits, %zu pixel bytes, best of %d\n", kColumns, kRows, bytes, repetitions);
  std::printf("warm memcpy (limit)             %8.1f ms\n", limit * 1e3);
  std::printf("peer: copy of the raw file      %8.1f ms\n", peer * 1e3);
  std::printf("peer: the same, made durable    %8.1f ms\n", peerSynced * 1e3);
  std::printf("ours: export set                %8.1f ms\n", ours * 1e3);
  std::printf("ratio ours/peer                 %8.2f   (goal at most 1.5)\n", ours / peer);
  std::printf("ratio ours/durable peer         %8.2f\n", ours / peerSynced);
  fs::remove_all(dir);
  return ours / peer <= 1.5 ? 0 : 2;
}
