// The one connection of the scan UI to the film digitizer: binding Brightel,
// discovery, open and close, switching devices, the thin device operations and
// the device error box. Everything runs on the host's UI thread.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scanui/internal/brightel_table.h"

class QWidget;

namespace scanui::internal {

// The scan UI's error codes; each indexes the error texts 140 to 149.
enum ErrorCode : int {
  kErrAdapter = 0,
  kErrNoDevice = 1,
  kErrInit = 2,
  kErrStatus = 3,
  kErrSetUp = 4,
  kErrStartUp = 5,
  kErrStartScan = 6,
  kErrReadData = 7,
  kErrDelete = 8,
  kErrReverse = 9,
};

inline constexpr int kMaxFound = 10;

// What discovery reports, laid over the device library's match record.
#pragma pack(push, 1)
struct FoundList {
  std::uint32_t count;
  std::uint8_t adapter[kMaxFound];
  std::uint8_t deviceId[kMaxFound];
};
#pragma pack(pop)
static_assert(offsetof(FoundList, adapter) == offsetof(devapi::ScannerMatchInfo, zero));
static_assert(offsetof(FoundList, deviceId) == offsetof(devapi::ScannerMatchInfo, device_id));
static_assert(sizeof(FoundList) >= sizeof(devapi::ScannerMatchInfo));

class DigitizerConnection {
 public:
  explicit DigitizerConnection(std::unique_ptr<BrightelSource> source);
  ~DigitizerConnection();
  DigitizerConnection(const DigitizerConnection&) = delete;
  DigitizerConnection& operator=(const DigitizerConnection&) = delete;

  // Tests put a table of their own here; closes what is open first.
  void setSource(std::unique_ptr<BrightelSource> source);

  // True when connected (at once when already connected).
  bool open();
  // Deletes the device and unloads Brightel; nothing when not loaded.
  void close();

  bool connected() const { return connected_; }
  bool loaded() const { return loaded_; }
  void setQuiet(bool quiet) { quiet_ = quiet; }
  // The owner of the device error box: the application's main window.
  void setOwner(QWidget* owner) { owner_ = owner; }

  int foundCount() const { return int(found_.count); }
  std::vector<int> adapters() const;              // distinct, in discovery order
  std::vector<int> deviceIds(int adapter) const;  // on one adapter, in discovery order
  std::string adapterName(int adapter) const;     // CP932; empty unless several were found
  int selectedIndex() const { return selected_; }
  // 1 when another found device is open now.
  int switchTo(int adapter, int deviceId);

  bool feederType1() const { return feeder1_; }
  bool feederType2() const { return feeder2_; }
  int maxOd() const { return maxOd_; }  // O.D. times 10

  // Device operations; each does nothing and gives 0 while not connected.
  int sensedFilmCode();
  std::uint32_t bufferSize();
  int nextFilm();
  int eject();
  int reverse();
  bool filmCheckLatched() const { return latch_; }
  void clearFilmCheckLatch() { latch_ = false; }

  // The device error box of a code; nothing while quiet or not loaded.
  void errorBox(int code, bool detail);

  // For the scan execution.
  const BrightelTable& table() const { return table_; }
  int handle() const { return handle_; }

 private:
  bool bind();
  void unload();
  // A failed open after discovery started: the device library may hold the
  // scanner already, so it is deleted before the library goes.
  bool failOpen();
  bool openIndex(int index);
  QWidget* owner() const;
  void showBox(const QString& text);
  // The device's error text with the site's [Message] text in its place; false
  // when the library has no such text. code is the device's code.
  bool deviceText(QString& text, unsigned& code);

  std::unique_ptr<BrightelSource> source_;
  BrightelTable table_{};
  bool loaded_ = false;
  bool connected_ = false;
  int handle_ = -1;
  FoundList found_{};
  int selected_ = -1;
  std::array<std::string, kMaxFound> adapterNames_{};
  bool feeder1_ = false;
  bool feeder2_ = false;
  int maxOd_ = 40;
  bool quiet_ = false;
  bool latch_ = false;
  std::array<QString, 10> errorTexts_{};
  QWidget* owner_ = nullptr;
};

}  // namespace scanui::internal
