#include "tools/demo/roads.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <ctime>
#include <functional>
#include <thread>

#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "scanui/internal/control_ids.h"
#include "testsupport/pump.h"
#include "testsupport/scan_dialog_driver.h"
#include "viewer/app/application.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/scan_bridge.h"
#include "viewer/app/tests/modal_script.h"

namespace demo {
namespace {

namespace fs = std::filesystem;
using platform::qt::control;

using testsupport::pumpUntil;

QAction* command(QWidget* main, const QString& text) {
  if (main == nullptr) return nullptr;
  for (QAction* a : main->findChildren<QAction*>())
    if (a->text().section(QLatin1Char('\t'), 0, 0) == text) return a;
  return nullptr;
}

int documents(QWidget* main) {
  auto* area = main ? main->findChild<QMdiArea*>() : nullptr;
  return area ? int(area->subWindowList().size()) : 0;
}

// The viewer of one road: started as the program starts with nothing to open,
// so that its probe finds a source and posts New Scan.
class Viewer {
 public:
  explicit Viewer(const Tree& tree) : tree_(tree) {
    prompt_.answers = {platform::qt::Answer::No};
    viewer::app::StartEnvironment env = viewer::app::processEnvironment();
    env.startDir = tree.work();
    env.splash = false;
    started_ = app_.initInstance({}, env);
  }
  ~Viewer() { app_.exitInstance(); }

  // The main window among the top-level windows, whatever its class.
  QWidget* main() const {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (qobject_cast<QMainWindow*>(w) != nullptr && w->isVisible()) return w;
    return nullptr;
  }
  bool started() const { return started_ && main() != nullptr; }

  // Waits for the scan run to end in a new document; "" or why none came.
  std::string waitForDocument(int limitMs) {
    // The scan run turns its own loop; a watch inside it sees it run.
    bool ran = false;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] { ran = ran || viewer::app::ScanBridge::instance().running(); });
    watch.start();
    const auto start = std::chrono::steady_clock::now();
    const bool ended = pumpUntil(
        [&] {
          if (documents(main()) > 0) return true;
          // Without a scanner that answers the viewer never starts a scan run.
          return !ran && std::chrono::steady_clock::now() - start > std::chrono::seconds(20);
        },
        limitMs);
    if (documents(main()) > 0) return "";
    if (!ran) return "no scanner answered: the viewer started no scan";
    return ended ? "the scan run ended without an image" : "the scan run did not end";
  }

  // Runs a save command of the menu, choosing the type and the file in the
  // save dialog and completing the study data when the viewer asks for it.
  bool save(const QString& commandText, int typeIndex, const fs::path& file, std::string* fault) {
    QAction* action = command(main(), commandText);
    if (action == nullptr) {
      *fault = "the viewer has no command " + commandText.toStdString();
      return false;
    }
    app_test::ModalScript script;
    script.handlers.push_back([=](QDialog* d) {
      auto* chooser = qobject_cast<QFileDialog*>(d);
      if (chooser == nullptr) return d->reject();
      if (auto* box = control<QCheckBox>(d, viewer::app::ids::kSaveNewFolder)) box->setChecked(false);
      if (auto* types = d->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) types->setCurrentIndex(typeIndex - 1);
      if (auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        name->setText(QString::fromStdString(file.string()));
      // Outside this handler, so that a question the save dialog asks is answered too.
      QTimer::singleShot(0, d, [d] { d->accept(); });
    });
    script.handlers.push_back([](QDialog* d) { completeStudyData(d); });
    action->trigger();
    std::error_code ec;
    if (!fs::exists(file, ec)) {
      *fault = commandText.toStdString() + " wrote no " + file.string();
      for (const QString& t : script.titles) *fault += "; dialog \"" + t.toStdString() + "\"";
      for (const std::string& a : asked()) *fault += "; asked \"" + a + "\"";
      return false;
    }
    return true;
  }

  bool screenshot(const fs::path& png) const {
    return main() != nullptr && main()->grab().save(QString::fromStdString(png.string()));
  }

  std::vector<std::string> asked() const {
    std::vector<std::string> out;
    for (const auto& a : prompt_.asked) out.push_back(a.text.toStdString());
    return out;
  }

 private:
  // Edit Study Data before a DICONDE save: the dates the scan left empty.
  static void completeStudyData(QDialog* d) {
    std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    const struct {
      int id;
      QString value;
    } fields[] = {{1042, "2019"}, {1043, "4"}, {1044, "2"}, {1045, QString::number(today.tm_year + 1900)},
                  {1046, QString::number(today.tm_mon + 1)}, {1047, QString::number(today.tm_mday)}};
    for (const auto& f : fields)
      if (auto* edit = control<QLineEdit>(d, f.id); edit && edit->text().trimmed().isEmpty()) edit->setText(f.value);
    if (auto* ok = control<QPushButton>(d, viewer::app::ids::kOk)) QTimer::singleShot(0, ok, &QPushButton::click);
  }

  Tree tree_;
  platform::qt::ScriptedPrompt prompt_;
  viewer::app::TivolaApp app_;
  bool started_ = false;
};

struct Save {
  QString command;
  int typeIndex;
  fs::path file;
  const char* what;
};

// Saves the document as listed, then photographs the viewer; stops at the
// first failure, which becomes the run's fault.
void saveAndPhotograph(Viewer& viewer, const std::vector<Save>& saves, const fs::path& shot, const char* shotWhat,
                       RoadRun& run) {
  for (const Save& save : saves) {
    if (!viewer.save(save.command, save.typeIndex, save.file, &run.fault)) break;
    run.left.push_back({save.what, save.file});
  }
  if (run.fault.empty()) {
    if (viewer.screenshot(shot))
      run.left.push_back({shotWhat, shot});
    else
      run.fault = "no screenshot of the viewer";
  }
  run.asked = viewer.asked();
}

}  // namespace

RoadRun filmRoad(const Tree& tree) {
  RoadRun run;
  Viewer viewer(tree);
  if (!viewer.started()) {
    run.fault = "the viewer did not start";
    return run;
  }
  // The scan dialog appears once the posted New Scan runs; it is driven from
  // inside the scan run's own loop.
  bool driven = false;
  const fs::path dialogShot = tree.results() / "scan-dialog.png";
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* shown = testsupport::ScanDialogDriver::findShown();
    if (shown == nullptr || driven) return;
    driven = true;
    poll.stop();
    testsupport::ScanDialogDriver dialog(shown);
    namespace ids = scanui::internal;
    testsupport::ScanSettings settings;
    settings.widthPx = "500";
    // As the operator does: Feed loads the film, then the region is entered.
    bool ok = dialog.feed() && dialog.enter(settings);
    if (ok) {
      if (auto* study = control<QPushButton>(shown, ids::kStudyButton)) study->click();
      if (auto* name = control<QLineEdit>(shown, ids::kComponentName)) name->setText(kFilmComponentName);
      if (auto* id = control<QLineEdit>(shown, ids::kComponentId)) id->setText(kFilmComponentId);
      ok = dialog.scan() && dialog.screenshot(dialogShot);
    }
    if (!ok) run.fault = "scan dialog: " + dialog.fault();
    // Exit in any case, so that the scan run ends.
    dialog.exit();
  });
  poll.start();
  const std::string none = viewer.waitForDocument(300000);
  if (run.fault.empty()) run.fault = none;
  if (!run.fault.empty()) {
    run.asked = viewer.asked();
    return run;
  }
  run.left.push_back({"the film-scan dialog after the scan", dialogShot});

  run.dicom = tree.results() / "FILM001.DCM";
  run.tiff = tree.results() / "FILM001.TIF";
  saveAndPhotograph(viewer,
                    {{QStringLiteral("&Save"), 2, run.dicom, "the scanned film as DICONDE"},
                     {QStringLiteral("Save &Replica..."), 1, run.tiff, "the scanned film as TIFF"}},
                    tree.results() / "viewer-film.png", "the viewer with the film", run);
  return run;
}

RoadRun crRoad(const Tree& tree) {
  RoadRun run;
  Viewer viewer(tree);
  if (!viewer.started()) {
    run.fault = "the viewer did not start";
    return run;
  }
  // The CR program scans, saves and ends by itself; then the link imports.
  run.fault = viewer.waitForDocument(600000);
  if (!run.fault.empty()) {
    run.asked = viewer.asked();
    return run;
  }
  run.dicom = tree.results() / "PLATE001.DCM";
  saveAndPhotograph(viewer, {{QStringLiteral("&Save"), 2, run.dicom, "the imported plate, saved by the viewer as DICONDE"}},
                    tree.results() / "viewer-plate.png", "the viewer with the plate", run);
  return run;
}

}  // namespace demo
