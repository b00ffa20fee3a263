// The real film-scan dialog driven as an operator drives it, offscreen and by
// control id, and the simulated film digitizer it scans from. For end-to-end
// tests of the film-scan UI's hosts.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "simulator/sim.h"
#include "testsupport/simulated_film.h"
#include "testsupport/testsupport.h"

namespace testsupport {

// The scan settings an operator enters: list entries by their text, fields as typed.
struct ScanSettings {
  QString pitch = "200";  // micrometres
  QString bits = "12";
  QString mode = "Standard";
  QString leftMm = "20";
  QString topMm = "0";
  QString heightMm = "200";  // long enough that no short-film question comes
  QString widthPx = "53";
};

class ScanDialogDriver {
 public:
  // The shown scan dialog among the top-level windows, or null.
  static QWidget* findShown();

  explicit ScanDialogDriver(QWidget* dialog) : dialog_(dialog) {}
  QWidget* dialog() const { return dialog_; }

  // Each step is false, with fault() saying why, when a control is missing or
  // does not take the input.
  bool enter(const ScanSettings& settings);
  // Presses the Scan button while it reads Feed (the autosense region).
  bool feed();
  // Presses Scan; the scan, its progress window and the transfer to the host
  // are over when it returns.
  bool scan();
  // Presses Exit; the dialog asks its host to close once events are pumped.
  bool exit();

  // The region fields as the dialog shows them now.
  std::optional<int> widthPx() const;
  std::optional<int> heightPx() const;

  // Saves what the dialog shows, for a person to look at.
  bool screenshot(const std::filesystem::path& png) const;

  const std::string& fault() const { return fault_; }

 private:
  bool choose(int id, const QString& text);
  bool type(int id, const QString& text);
  bool press(int id);
  std::optional<int> number(int id) const;

  QWidget* dialog_;
  std::string fault_;
};

// One film digitizer on a simulated bus lent to the device library of this
// process while this lives, with the UI's settings and locks in fresh folders.
// NDT_USB names a bus holding a film digitizer alone, so that a program the
// UI starts finds no CR reader there. The test executable must export
// ndt_usb_host_port (the scan_dialog_driver target's link option does).
class SimulatedFilmRoad {
 public:
  SimulatedFilmRoad();
  ~SimulatedFilmRoad();
  SimulatedFilmRoad(const SimulatedFilmRoad&) = delete;
  SimulatedFilmRoad& operator=(const SimulatedFilmRoad&) = delete;

  const sim::Scanner& digitizer() const { return digitizer_; }
  // True when the CR program beside the running executable answers
  // "-connect" with 1 here: the scan UI would take the CR link instead.
  bool crProgramConnects() const;
  std::vector<std::uint8_t> film(std::uint32_t width, int bytesPerSample) const {
    return simulatedFilm(digitizer_, width, bytesPerSample);
  }

 private:
  struct SavedVariable {
    std::string name;
    std::optional<std::string> value;
  };
  void set(const char* name, const std::string& value);

  TempDir config_;
  TempDir runtime_;
  std::shared_ptr<sim::Bus> bus_;
  sim::Scanner digitizer_;
  std::vector<SavedVariable> saved_;
};

}  // namespace testsupport
