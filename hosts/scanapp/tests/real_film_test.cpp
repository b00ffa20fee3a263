// The program over the real film-scan UI and device libraries on a simulated
// film digitizer, the dialog driven as an operator drives it: what lands in
// the file is the film the digitizer sent.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "hosts/scanapp/ombrel.h"
#include "platform/paths.h"
#include "platform/qt/prompt.h"
#include "testsupport/scan_dialog_driver.h"
#include "viewer/formats/diconde.h"
#include "viewer/formats/tiff.h"
#include "viewer/image_model.h"

namespace ombrel {
namespace {

namespace fs = std::filesystem;

// One operator's run: feed a film, enter the settings, scan once, exit. The
// steps run from inside the program's event loop, as soon as the dialog shows.
struct Operator {
  explicit Operator(testsupport::ScanSettings s) : settings(std::move(s)) {
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [this] {
      QWidget* shown = testsupport::ScanDialogDriver::findShown();
      if (shown == nullptr) return;
      poll.stop();
      testsupport::ScanDialogDriver dialog(shown);
      if (!dialog.feed() || !dialog.enter(settings)) fault = dialog.fault();
      lines = dialog.heightPx();
      if (fault.empty() && !dialog.scan()) fault = dialog.fault();
      dialog.screenshot(platform::paths::programDir() / "ombrel_real_film_dialog.png");
      if (!dialog.exit()) fault += " / " + dialog.fault();
      exited = true;
    });
    poll.start();
  }
  testsupport::ScanSettings settings;
  QTimer poll;
  std::string fault;
  std::optional<int> lines;
  bool exited = false;
};

TEST(RealFilmRoad, OneScanIsWrittenAsTheDigitizersFilm) {
  struct Case {
    const char* output;
    const char* written;
    const char* bits;
    int bytes;
    int (*read)(viewer::CImageItem&, const std::string&);
  };
  const Case cases[] = {
      {"film007.dcm", "film007.dcm", "12", 2, viewer::formats::ReadDicondeFile},
      {"film.tif", "film01.tif", "8", 1, viewer::formats::ReadTiffFile},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    testsupport::TempDir dir;
    testsupport::SimulatedFilmRoad road;
    ASSERT_FALSE(road.crProgramConnects());
    platform::qt::ScriptedPrompt prompts;
    testsupport::ScanSettings settings;
    settings.bits = c.bits;
    Operator person(settings);
    EXPECT_EQ(run((dir.path() / c.output).string(), "Oskelu.DLL"), 0);
    ASSERT_TRUE(person.exited) << "the dialog was never shown";
    ASSERT_EQ(person.fault, "");
    for (const auto& asked : prompts.asked) ADD_FAILURE() << "unexpected box: " << asked.text.toStdString();
    ASSERT_EQ(person.lines, 1000);

    const std::vector<std::uint8_t> film = road.film(53, c.bytes);
    ASSERT_EQ(film.size(), 53u * 1000 * std::size_t(c.bytes));
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir.path())) files.push_back(e.path().filename().string());
    ASSERT_EQ(files, std::vector<std::string>{c.written});
    viewer::CImageItem image;
    ASSERT_EQ(c.read(image, (dir.path() / c.written).string()), 1);
    EXPECT_EQ(image.width(), 53);
    EXPECT_EQ(image.height(), 1000);
    EXPECT_EQ(image.bitsStored, std::atoi(c.bits));
    EXPECT_EQ(+image.pitch, 200);
    ASSERT_EQ(image.byteCount(), film.size());
    EXPECT_TRUE(std::memcmp(image.data(), film.data(), film.size()) == 0) << "the file holds another image";
  }
}

}  // namespace
}  // namespace ombrel
