// The Information, OverView and Profile palettes in a main frame with a view,
// driven offscreen by control id.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QEventLoop>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <algorithm>
#include <cstring>

#include "platform/ini.h"
#include "platform/qt/control.h"
#include "platform/qt/translations.h"
#include "simulator/radiograph.h"
#include "testsupport/testsupport.h"
#include "viewer/view/tests/fixture.h"

namespace viewer::view {
namespace {

using namespace viewtest;
using platform::qt::control;

// Left half `low`, right half `high`: the statistics of any ROI across the
// middle are known.
std::unique_ptr<CImageItem> halves(int w, int h, std::uint16_t low = 1000, std::uint16_t high = 3000) {
  auto item = std::make_unique<CImageItem>();
  EXPECT_TRUE(item->allocate(2, w, h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) item->data16()[y * w + x] = x < w / 2 ? low : high;
  item->bitsStored = 12;
  item->setRoi(Rect{});
  item->applyLoadDefaults();
  return item;
}

// A frame with its palettes and one view of the document.
struct Framed {
  explicit Framed(std::vector<std::unique_ptr<CImageItem>> images, int infomation = 2) : frame(dir / "Tivola.ini") {
    display::paletteSettings() = display::PaletteSettings{};
    doc.images = std::move(images);
    frame.createPalettes(infomation, 1, QSize(1280, 1024));
    view = new CTivolaView(&doc, &frame);
    child = frame.addView(view);
    frame.show();
    view->initialUpdate();
    QApplication::processEvents();
    view->command(ID_SELECT_ALL_VIEWS);
    QApplication::processEvents();
  }
  QString text(int id) const { return control<QLabel>(info(), id)->text(); }
  CInfoPalette* info() const { return frame.infoPalette(); }
  display::CDisplayGrid& grid() { return view->grid(); }
  CImageItem& image(int i) { return *doc.images[std::size_t(i)]; }

  testsupport::TempDir dir;
  Document doc;
  CMainFrame frame;
  CTivolaView* view = nullptr;
  CChildFrame* child = nullptr;
};

std::vector<std::unique_ptr<CImageItem>> images(int n, int w, int h) {
  std::vector<std::unique_ptr<CImageItem>> v;
  for (int i = 0; i < n; ++i) v.push_back(halves(w, h));
  return v;
}

TEST(InfoPalette, ReadoutAndMeasuresFollowTheUnits) {
  auto film = images(1, 200, 100);
  film[0]->odRange = 40;
  film[0]->pitch = 50;
  Framed f(std::move(film));
  ASSERT_EQ(f.info()->grid(), &f.grid());
  CImagePane* pane = f.view->pane(0);
  const QPoint at(pane->width() / 2 + 10, pane->height() / 2);
  move(pane, at);
  const display::Point p = f.grid().currentTile()->paneToImage(at.x(), at.y());
  ASSERT_GE(p.x, 100) << "the pointer is on the right half";
  EXPECT_EQ(f.text(1001), QString("%1 Pixels").arg(p.x));
  EXPECT_EQ(f.text(1002), QString("%1 Pixels").arg(p.y));
  EXPECT_EQ(f.text(1003), "3000       ");
  f.view->setSelectedRoi(Rect{0, 0, 200, 100});
  f.view->flushRoiStatistics();
  EXPECT_EQ(f.text(1006), "200 Pixels");
  EXPECT_EQ(f.text(1008), "1000       ");
  EXPECT_EQ(f.text(1009), "3000       ");
  EXPECT_EQ(f.text(1010), "2000       ");
  EXPECT_EQ(f.text(1017), "4095");
  EXPECT_EQ(f.text(1014), "Min\n1000");
  EXPECT_EQ(f.text(1015), "Max\n3000");
  EXPECT_EQ(control<QLabel>(f.info(), 1014)->x(), 2 + 24);
  EXPECT_EQ(control<QLabel>(f.info(), 1015)->x(), 2 + 73);

  // O.D.: the Min field shows the lowest density, the O.D. of the highest sample.
  control<QComboBox>(f.info(), 1012)->setCurrentIndex(1);
  EXPECT_EQ(display::paletteSettings().value, 1);
  EXPECT_EQ(f.text(1008), "1.070       ");
  EXPECT_EQ(f.text(1009), "3.023       ");
  EXPECT_EQ(f.text(1010), "2.046       ");
  EXPECT_EQ(f.text(1003), "1.070       ");
  // mm at a 50-micrometre pitch: 200 pixels are 10 mm, padded to the field.
  control<QComboBox>(f.info(), 1013)->setCurrentIndex(1);
  EXPECT_EQ(display::paletteSettings().scale, 1);
  EXPECT_EQ(f.text(1006), "10.00 mm    ");
  EXPECT_EQ(f.text(1007), "5.00 mm    ");
  // Without an O.D. range every value shows none.
  f.image(0).odRange = 0;
  f.frame.refreshPalettes(display::kRefreshInfoReadout | display::kRefreshInfoMeasures);
  for (int id : {1003, 1008, 1009, 1010}) EXPECT_EQ(f.text(id), "-       ") << id;
  // Off the image there is no position and no value.
  f.grid().currentTile()->clearCursorReadout();
  f.frame.refreshPalettes(display::kRefreshInfoReadout);
  for (int id : {1001, 1002, 1003}) EXPECT_EQ(f.text(id), "-       ") << id;
}

// Every control keeps two pixels from the palette's sides.
QRect inner(const CInfoPalette* info) { return info->rect().adjusted(2, 2, -2, -2); }

// A label cut by its own rectangle or by the palette's side cannot be read.
void expectWholeInside(const CInfoPalette* info, const QLabel* l, const std::string& what) {
  EXPECT_TRUE(inner(info).contains(l->geometry())) << what << " " << l->objectName().toStdString();
  EXPECT_GE(l->width(), l->sizeHint().width()) << what << " " << l->objectName().toStdString();
}

// Where the text of a label centred in its rectangle begins and ends.
std::pair<int, int> textSpan(const QLabel* l) {
  const int left = l->x() + (l->width() - l->sizeHint().width()) / 2;
  return {left, left + l->sizeHint().width()};
}

TEST(InfoPalette, MinAndMaxLabelsStayApartAndInsideForEveryPairOfWindowEnds) {
  struct Case {
    const char* what;
    std::uint16_t low, high;  // the image's top value follows from the high one
  };
  const Case cases[] = {
      {"equal", 1000, 1000},           {"adjacent", 1000, 1001},        {"both at 0", 0, 0},
      {"at 0 and next to it", 0, 1},   {"both at the top", 4095, 4095}, {"next to the top", 4094, 4095},
      {"far apart", 0, 4095},          {"apart in the middle", 1000, 3000},
      {"both at an 8-bit top", 255, 255},
  };
  for (const Case& c : cases) {
    std::vector<std::unique_ptr<CImageItem>> one;
    one.push_back(halves(40, 20, c.low, c.high));
    Framed f(std::move(one));
    f.view->setSelectedRoi(Rect{0, 0, 40, 20});
    f.view->flushRoiStatistics();
    auto* minLabel = control<QLabel>(f.info(), 1014);
    auto* maxLabel = control<QLabel>(f.info(), 1015);
    ASSERT_EQ(minLabel->text(), QString("Min\n%1").arg(c.low)) << c.what;
    ASSERT_EQ(maxLabel->text(), QString("Max\n%1").arg(c.high)) << c.what;
    EXPECT_TRUE(minLabel->isVisible() && maxLabel->isVisible()) << c.what;
    const QRect lo = minLabel->geometry(), hi = maxLabel->geometry();
    EXPECT_FALSE(lo.intersects(hi)) << c.what;
    EXPECT_LE(lo.right(), hi.left()) << c.what << ": the minimum stays on the left";
    for (const QLabel* l : {minLabel, maxLabel}) {
      expectWholeInside(f.info(), l, c.what);
      EXPECT_GE(l->height(), l->sizeHint().height()) << c.what << ": both lines";
    }
    // Numbers that touch read as one.
    const int blank = minLabel->fontMetrics().horizontalAdvance(QLatin1Char(' '));
    EXPECT_GE(textSpan(maxLabel).first - textSpan(minLabel).second, blank - 1) << c.what;

    // Where the labels fit at the places the window ends give, they stay
    // there; otherwise they are moved apart no further than to touch.
    const int top = f.grid().currentTile()->maxValue;
    const QRect wantedLo(2 + 100 * c.low / top, lo.y(), lo.width(), lo.height());
    const QRect wantedHi(2 + std::max(100 * c.high / top, 100 * c.low / top), hi.y(), hi.width(), hi.height());
    if (!wantedLo.intersects(wantedHi) && inner(f.info()).contains(wantedHi)) {
      EXPECT_EQ(lo.x(), wantedLo.x()) << c.what;
      EXPECT_EQ(hi.x(), wantedHi.x()) << c.what;
    } else {
      EXPECT_EQ(lo.right() + 1, hi.left()) << c.what;
    }
  }
}

// A language as its users see it: the catalogue, and the face the desktop
// picks for that language (a CJK face is taller than a Latin one).
struct Language {
  explicit Language(const char* name) {
    if (std::strcmp(name, "en") == 0) return;
    EXPECT_TRUE(catalogue.install("tivola_view", QCoreApplication::applicationDirPath() + "/translations",
                                  QLocale(QString::fromLatin1(name))))
        << name;
    QFont face = before;
    face.setFamily(std::strcmp(name, "ja") == 0 ? "Noto Sans CJK JP" : "Noto Sans CJK SC");
    EXPECT_TRUE(QFontInfo(face).family().startsWith("Noto Sans CJK")) << "the CJK face is installed";
    QApplication::setFont(face);
  }
  ~Language() { QApplication::setFont(before); }
  const QFont before = QApplication::font();
  platform::qt::Translation catalogue;
};

// Every control of the full palette, with its longest texts, in each catalogue.
TEST(InfoPalette, NoControlOverlapsAnotherOrLeavesThePaletteInAnyLanguage) {
  for (const char* language : {"en", "ja", "zh_CN"}) {
    const Language shown_in(language);
    std::vector<std::unique_ptr<CImageItem>> one;
    one.push_back(halves(40, 20, 2047, 2048));
    Framed f(std::move(one));
    f.view->setSelectedRoi(Rect{0, 0, 40, 20});
    f.view->flushRoiStatistics();
    ASSERT_EQ(f.info()->mode(), display::kInfoFull);
    std::vector<QWidget*> shown;
    for (QWidget* w : f.info()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (w->isVisible()) shown.push_back(w);
    ASSERT_GE(shown.size(), 39u) << language;
    for (int id : {1014, 1015})
      ASSERT_NE(std::find(shown.begin(), shown.end(), control<QLabel>(f.info(), id)), shown.end()) << id;
    for (std::size_t i = 0; i < shown.size(); ++i) {
      const auto* l = qobject_cast<const QLabel*>(shown[i]);
      const std::string what =
          std::string(language) + " " + shown[i]->objectName().toStdString() + (l ? " " + l->text().toStdString() : "");
      if (l)
        expectWholeInside(f.info(), l, what);
      else
        EXPECT_TRUE(inner(f.info()).contains(shown[i]->geometry())) << what;
      for (std::size_t k = i + 1; k < shown.size(); ++k)
        EXPECT_FALSE(shown[i]->geometry().intersects(shown[k]->geometry()))
            << what << " and " << shown[k]->objectName().toStdString();
    }
    QDir().mkpath(SCREENSHOT_DIR);
    f.info()->grab().save(QString(SCREENSHOT_DIR) + "/info_palette_" + language + ".png");
  }
}

// Each label's rectangle holds its text as the font lays it out, and each
// list's text field its widest item, in both modes and every language.
TEST(InfoPalette, EveryTextFitsItsControlInEachLanguage) {
  for (const char* language : {"en", "ja", "zh_CN"}) {
    const Language shown_in(language);
    for (const int infomation : {2, 1}) {
      std::vector<std::unique_ptr<CImageItem>> one;
      one.push_back(halves(40, 20, 2047, 2048));
      Framed f(std::move(one), infomation);
      f.view->setSelectedRoi(Rect{0, 0, 40, 20});
      f.view->flushRoiStatistics();
      ASSERT_EQ(f.text(1017), "4095");
      int labels = 0;
      for (QLabel* l : f.info()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        if (!l->isVisible()) continue;
        ++labels;
        const QRect room = l->contentsRect();
        const QRect needed = l->fontMetrics().boundingRect(room, int(l->alignment()), l->text());
        EXPECT_TRUE(room.contains(needed)) << language << " " << infomation << " " << l->objectName().toStdString()
                                           << " \"" << l->text().toStdString() << "\" needs " << needed.width() << "x"
                                           << needed.height() << ", has " << room.width() << "x" << room.height();
      }
      EXPECT_GE(labels, infomation == 2 ? 26 : 7) << language;
      for (int id : {1011, 1012, 1013}) {
        auto* list = control<QComboBox>(f.info(), id);
        if (!list->isVisible()) continue;
        QStyleOptionComboBox option;
        option.initFrom(list);
        option.rect = list->rect();
        option.editable = list->isEditable();
        const QRect field = list->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list);
        for (int i = 0; i < list->count(); ++i) {
          // The zoom item's trailing blanks may run out of sight.
          const QString item = list->itemText(i).trimmed();
          // The style draws the text one pixel in from each side of the field.
          EXPECT_GE(field.width(), list->fontMetrics().horizontalAdvance(item) + 2)
              << language << " " << id << " \"" << item.toStdString() << "\"";
          EXPECT_GE(field.height(), list->fontMetrics().height()) << language << " " << id;
        }
      }
    }
  }
}

TEST(InfoPalette, EditsInvertAndZoomActOnTheSelectedViews) {
  Framed f(images(2, 16, 16));
  f.view->command(ID_SELECT_ALL_VIEWS);
  auto* centre = control<QLineEdit>(f.info(), 1018);
  auto* width = control<QLineEdit>(f.info(), 1019);
  auto windows = [&] {
    std::vector<std::tuple<int, int, int>> w;
    for (int i = 0; i < 2; ++i) {
      const display::CDisplayTile* t = f.grid().tile(i);
      w.emplace_back(t->windowCentre, t->windowWidth, t->userInvert);
    }
    return w;
  };
  using W = std::vector<std::tuple<int, int, int>>;
  centre->setText("1000");
  width->setText("500");
  EXPECT_EQ(windows(), (W{{1000, 500, 0}, {1000, 500, 0}}));
  centre->setText("abc");
  EXPECT_EQ(windows(), (W{{0, 500, 0}, {0, 500, 0}})) << "text that is no number counts 0";
  EXPECT_EQ(centre->text(), "0") << "the edit shows the window applied";
  width->setText("");
  centre->setText("700");
  EXPECT_EQ(windows(), (W{{0, 500, 0}, {0, 500, 0}})) << "nothing applies while the width is empty";
  width->setText("300");
  control<QCheckBox>(f.info(), 1022)->click();
  EXPECT_EQ(windows(), (W{{700, 300, 1}, {700, 300, 1}}));
  EXPECT_GT(f.grid().tile(0)->lut.table[0], f.grid().tile(0)->lut.table[4095]) << "the grey table is inverted";
  EXPECT_EQ(f.grid().mirror().windowCentre, 700) << "the OverView shows the new window";

  auto* zoom = control<QComboBox>(f.info(), 1011);
  ASSERT_EQ(zoom->count(), 8);
  EXPECT_EQ(zoom->itemText(5), "2.000");
  zoom->setCurrentIndex(5);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(f.grid().tile(i)->zoom, 2.0);
  EXPECT_EQ(zoom->itemText(0), "2.000      ");
  EXPECT_EQ(zoom->currentIndex(), 0);

  int scans = 0;
  f.frame.newScan = [&] { ++scans; };
  control<QPushButton>(f.info(), 1023)->click();
  EXPECT_EQ(scans, 1);
}

TEST(InfoPalette, ToneCurveDragsWriteTheEditsAndDoubleClicksToggle) {
  Framed f(images(2, 16, 16));
  f.view->command(ID_SELECT_ALL_VIEWS);
  control<QLineEdit>(f.info(), 1018)->setText("2047");
  control<QLineEdit>(f.info(), 1019)->setText("4095");
  auto* tone = f.info()->findChild<CToneCurveCtrl*>("ToneCurve");
  ASSERT_TRUE(tone);
  auto expectWindow = [&](int c, int w, const char* what) {
    EXPECT_EQ(control<QLineEdit>(f.info(), 1018)->text(), QString::number(c)) << what;
    EXPECT_EQ(control<QLineEdit>(f.info(), 1019)->text(), QString::number(w)) << what;
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(f.grid().tile(i)->windowCentre, c) << what;
      EXPECT_EQ(f.grid().tile(i)->windowWidth, w) << what;
    }
  };
  press(tone, {50, 50});
  move(tone, {80, 50});
  expectWindow(3276, 4095, "30 right");
  move(tone, {80, 20});
  expectWindow(3276, 2866, "30 up");
  release(tone, {80, 20});
  move(tone, {10, 10});
  expectWindow(3276, 2866, "no drag without the button");

  // Both images hold 1000 and 3000 only.
  mouse(tone, QEvent::MouseButtonDblClick, {5, 5}, Qt::LeftButton);
  expectWindow(2000, 2000, "the ROI's window");
  mouse(tone, QEvent::MouseButtonDblClick, {5, 5}, Qt::LeftButton);
  expectWindow(2047, 4095, "the full window");
  mouse(tone, QEvent::MouseButtonDblClick, {5, 5}, Qt::LeftButton);
  expectWindow(2000, 2000, "the ROI's window again");
}

TEST(InfoPalette, SharpnessSliderByPointerAndDoubleClick) {
  Framed f(images(2, 16, 16));
  f.view->command(ID_SELECT_ALL_VIEWS);
  auto* slider = f.info()->findChild<CSharpSlider*>("Sharpness");
  ASSERT_TRUE(slider);
  auto sharpness = [&](int i) { return f.grid().tile(i)->sharpness; };
  press(slider, {10, 4});
  EXPECT_EQ(sharpness(0), 2.0);
  EXPECT_EQ(sharpness(1), 2.0);
  move(slider, {10, 93});
  EXPECT_EQ(sharpness(0), 0.0);
  move(slider, {10, 48});
  EXPECT_DOUBLE_EQ(sharpness(1), 45 / 44.5);
  move(slider, {10, -30});
  EXPECT_EQ(sharpness(1), 2.0) << "the pointer is held to the scale";
  release(slider, {10, -30});
  mouse(slider, QEvent::MouseButtonDblClick, {10, 30}, Qt::LeftButton);
  EXPECT_EQ(slider->value(), 0.0);
  EXPECT_EQ(sharpness(0), 0.0);
  press(slider, {10, 4});
  release(slider, {10, 4});
  f.frame.command(ID_CLEAR_SHARPNESS);
  EXPECT_EQ(slider->value(), 0.0);
  EXPECT_EQ(sharpness(1), 0.0);
}

TEST(InfoPalette, ShortAndFullModesAndTheIniKey) {
  Framed f(images(1, 16, 16), 1);
  auto hidden = [&] {
    int n = 0;
    for (QWidget* w : f.info()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) n += w->isHidden() ? 1 : 0;
    return n;
  };
  EXPECT_EQ(f.info()->mode(), display::kInfoShort);
  EXPECT_EQ(hidden(), 28);
  const int shortHeight = f.info()->height();
  f.frame.command(ID_FULL_INFO);
  EXPECT_EQ(f.info()->mode(), display::kInfoFull);
  EXPECT_EQ(hidden(), 0);
  EXPECT_GT(f.info()->height(), shortHeight);
  EXPECT_FALSE(f.info()->frameGeometry().intersects(f.frame.overviewPalette()->frameGeometry()))
      << "the OverView moves below the full palette";
  EXPECT_EQ(platform::ini::getInt(f.dir / "Tivola.ini", "Window", "Infomation", -1), 2);
  f.frame.command(ID_SHORT_INFO);
  EXPECT_EQ(platform::ini::getInt(f.dir / "Tivola.ini", "Window", "Infomation", -1), 1);
  EXPECT_EQ(f.info()->height(), shortHeight);
}

// The bounding box of the cyan pixels of a grab: the view rectangle.
QRect cyanBox(const QImage& image) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) == qRgb(0, 255, 255)) box |= QRect(x, y, 1, 1);
  return box;
}

TEST(OverviewPalette, ADragMovesEverySelectedViewAndTheRectangleFollows) {
  Framed f(images(3, 400, 200));
  COverviewPalette* overview = f.frame.overviewPalette();
  ASSERT_EQ(overview->grid(), &f.grid());
  EXPECT_EQ(overview->width(), 140);
  EXPECT_EQ(overview->height(), 70) << "trunc(200 x 140 / 400)";
  EXPECT_DOUBLE_EQ(f.grid().mirror().zoom, 0.35);
  f.view->command(ID_SELECT_ALL_VIEWS);
  control<QComboBox>(f.info(), 1011)->setCurrentIndex(7);  // 8.000
  QApplication::processEvents();
  const QRect before = cyanBox(overview->grab().toImage());
  ASSERT_FALSE(before.isEmpty());
  EXPECT_NEAR(before.center().x(), 70, 1);
  EXPECT_NEAR(before.center().y(), 35, 1);

  press(overview, {35, 17});
  move(overview, {105, 52});
  release(overview, {105, 52});
  for (int i = 0; i < 3; ++i) {
    EXPECT_DOUBLE_EQ(f.grid().tile(i)->centreX, 105.0 / 140) << i;
    EXPECT_DOUBLE_EQ(f.grid().tile(i)->centreY, 52.0 / 70) << i;
  }
  const QRect after = cyanBox(overview->grab().toImage());
  // Each corner is rounded on its own.
  EXPECT_NEAR(after.width(), before.width(), 1);
  EXPECT_NEAR(after.height(), before.height(), 1);
  EXPECT_NEAR(after.center().x(), 105, 1);
  EXPECT_NEAR(after.center().y(), 52, 1);
}

TEST(OverviewPalette, AVeryWideImageGivesALowWindowAndTheLastCloseEmptiesIt) {
  Framed f(images(1, 2800, 40));
  COverviewPalette* overview = f.frame.overviewPalette();
  EXPECT_EQ(overview->height(), 2);
  EXPECT_DOUBLE_EQ(f.grid().mirror().zoom, 0.05);
  f.child->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QApplication::processEvents();
  EXPECT_EQ(overview->grid(), nullptr);
  EXPECT_EQ(overview->height(), 0) << "emptied to its caption";
  EXPECT_EQ(f.info()->grid(), nullptr);
  EXPECT_EQ(f.text(1008), "-       ");
  EXPECT_TRUE(f.frame.statusMessage().isEmpty());
}

TEST(ProfilePalette, TitlesWidthAndAUserSizeKeptUntilShownAgain) {
  Framed f(images(1, 120, 80));
  f.view->setSelectedRoi(Rect{10, 10, 110, 50});
  f.view->flushRoiStatistics();
  CProfilePalette* profile = f.frame.profilePalette();
  f.frame.command(ID_HORIZONTAL_PROFILE);
  ASSERT_TRUE(profile->isVisible());
  EXPECT_EQ(profile->windowTitle(), "Horizontal Profile(Pixel Value)");
  EXPECT_EQ(profile->length(), 100);
  EXPECT_EQ(profile->width(), 160);
  control<QComboBox>(f.info(), 1012)->setCurrentIndex(1);
  EXPECT_EQ(profile->windowTitle(), "Horizontal Profile(O.D.)");
  f.frame.command(ID_VERTICAL_PROFILE);
  EXPECT_EQ(profile->windowTitle(), "Vertical Profile(O.D.)");
  EXPECT_EQ(profile->length(), 40);
  EXPECT_EQ(profile->width(), 100);

  profile->resize(300, 220);
  QApplication::processEvents();
  EXPECT_TRUE(profile->userSized());
  f.view->setSelectedRoi(Rect{0, 0, 120, 70});
  f.view->flushRoiStatistics();
  EXPECT_EQ(profile->length(), 70);
  EXPECT_EQ(profile->width(), 300) << "the user's size stays";
  f.frame.command(ID_VERTICAL_PROFILE);
  EXPECT_FALSE(profile->isVisible());
  f.frame.command(ID_VERTICAL_PROFILE);
  EXPECT_FALSE(profile->userSized());
  EXPECT_EQ(profile->width(), 130) << "shown again, it follows the profile";
}

// The maximum and minimum stand whole in their boxes left of the axis, in
// the 16-pixel face where they fit it, in a smaller one where not.
TEST(ProfilePalette, TheMaximumAndMinimumTextsStandWholeInTheirBoxes) {
  const struct {
    const char* what;
    std::uint16_t low, high;
    int value;  // the value unit
  } cases[] = {{"three digits", 100, 255, 0}, {"four digits", 1000, 2525, 0}, {"five digits", 100, 65535, 0},
               {"O.D.", 1000, 2525, 1}};
  for (const auto& c : cases) {
    auto film = images(0, 0, 0);
    film.push_back(halves(120, 80, c.low, c.high));
    film[0]->odRange = 40;
    Framed f(std::move(film));
    if (c.value == 1) control<QComboBox>(f.info(), 1012)->setCurrentIndex(1);
    f.view->setSelectedRoi(Rect{0, 10, 120, 50});
    f.view->flushRoiStatistics();
    f.frame.command(ID_HORIZONTAL_PROFILE);
    CProfilePalette* profile = f.frame.profilePalette();
    ASSERT_TRUE(profile->isVisible());
    if (c.value == 0) {
      EXPECT_EQ(profile->maxText(), QString::number(c.high)) << c.what;
      EXPECT_EQ(profile->minText(), QString::number(c.low)) << c.what;
    }
    const QFontMetrics fm(profile->textFont());
    const int align = Qt::AlignRight | Qt::AlignBottom | Qt::TextSingleLine;
    for (const auto& [box, text] : {std::pair{CProfilePalette::maxTextBox(), profile->maxText()},
                                    std::pair{CProfilePalette::minTextBox(), profile->minText()}}) {
      const QRect needed = fm.boundingRect(box, align, text);
      EXPECT_TRUE(box.contains(needed)) << c.what << " \"" << text.toStdString() << "\" needs " << needed.x() << ","
                                        << needed.y() << " " << needed.width() << "x" << needed.height();
    }
    const bool fitsAt16 = QFontMetrics([] {
                            QFont a(QStringLiteral("Arial"));
                            a.setPixelSize(16);
                            return a;
                          }()).horizontalAdvance(profile->maxText()) <= CProfilePalette::maxTextBox().width();
    if (fitsAt16) {
      EXPECT_EQ(profile->textFont().pixelSize(), 16) << c.what;
    }
    QDir().mkpath(SCREENSHOT_DIR);
    profile->grab().save(QString(SCREENSHOT_DIR) + "/profile_" + QString::number(c.high) + "_" +
                         QString::number(c.value) + ".png");
  }
}

TEST(Palettes, FollowTheCurrentImageAndThePanesTools) {
  std::vector<std::unique_ptr<CImageItem>> two;
  two.push_back(halves(400, 200));
  two.push_back(halves(100, 200));
  Framed f(std::move(two));
  COverviewPalette* overview = f.frame.overviewPalette();
  EXPECT_EQ(overview->height(), 70);
  CImagePane* second = f.view->pane(1);
  ASSERT_EQ(second->tile, f.grid().tile(1));
  const QPoint mid(second->width() / 2, second->height() / 2);
  press(second, mid);
  release(second, mid);
  QApplication::processEvents();
  EXPECT_EQ(f.grid().currentTile(), f.grid().tile(1));
  EXPECT_EQ(overview->height(), 280) << "the OverView takes the new current image's shape";
  EXPECT_EQ(f.text(1006), "-       ") << "no marquee on the new image";

  // The panes' Tone Curve tool: the palette's edits follow the window.
  f.frame.command(ID_TOOL_TONE);
  const int before = f.grid().tile(1)->windowCentre;
  press(second, mid);
  move(second, mid + QPoint(10, 0));
  release(second, mid + QPoint(10, 0));
  const int after = f.grid().tile(1)->windowCentre;
  EXPECT_NE(after, before);
  EXPECT_EQ(control<QLineEdit>(f.info(), 1018)->text(), QString::number(after));
  EXPECT_EQ(f.info()->toneCurve()->window().centre, after);
  EXPECT_EQ(f.grid().mirror().windowCentre, after);
}

// A film from the simulated digitizer, with its palettes, for a person to look at.
TEST(Palettes, ScreenshotOfTheFrameWithThePalettesShowingAFilm) {
  sim::ImageSpec scan;
  scan.pitchUm = 100;
  scan.width = 900;
  scan.height = 420;
  scan.bits = 12;
  const std::vector<std::uint8_t> bytes = sim::radiograph(scan);
  ASSERT_EQ(bytes.size(), std::size_t(900 * 420 * 2));
  auto film = std::make_unique<CImageItem>();
  ASSERT_TRUE(film->allocate(2, 900, 420));
  std::memcpy(film->data(), bytes.data(), bytes.size());
  film->bitsStored = 12;
  film->pitch = 100;
  film->odRange = 45;
  film->shownName = "weld-01";
  film->sourcePath = "/films/weld-01.dcm";
  film->setRoi(Rect{});
  film->applyLoadDefaults();
  std::vector<std::unique_ptr<CImageItem>> one;
  one.push_back(std::move(film));
  Framed f(std::move(one));
  f.frame.resize(1000, 640);
  f.view->setSelectedRoi(Rect{300, 120, 640, 260});
  f.view->flushRoiStatistics();
  control<QComboBox>(f.info(), 1011)->setCurrentIndex(5);
  f.frame.command(ID_HORIZONTAL_PROFILE);
  // Asked again once the OverView has its film's height; the palettes still stand apart.
  f.frame.command(ID_FULL_INFO);
  move(f.view->pane(0), {300, 200});
  QApplication::processEvents();

  QImage screen(1400, 960, QImage::Format_RGB32);
  screen.fill(QColor(0, 96, 128));
  QPainter p(&screen);
  for (QWidget* w : std::initializer_list<QWidget*>{&f.frame, f.frame.toolPalette(), f.info(),
                                                    f.frame.overviewPalette(), f.frame.profilePalette()})
    if (w->isVisible()) p.drawPixmap(w->geometry().topLeft(), w->grab());
  p.end();
  QDir().mkpath(SCREENSHOT_DIR);
  ASSERT_TRUE(screen.save(QString(SCREENSHOT_DIR) + "/palettes_frame.png"));
  f.info()->grab().save(QString(SCREENSHOT_DIR) + "/info_palette.png");
  f.frame.profilePalette()->grab().save(QString(SCREENSHOT_DIR) + "/profile_palette.png");
  // Under a real X server the palettes are windows of their own, where the window manager puts them.
  if (QGuiApplication::platformName() == "xcb") {
    // The X server maps and exposes the windows in its own time.
    QEventLoop wait;
    QTimer::singleShot(500, &wait, &QEventLoop::quit);
    wait.exec();
    QGuiApplication::primaryScreen()->grabWindow(0).save(QString(SCREENSHOT_DIR) + "/palettes_screen.png");
  }
  EXPECT_EQ(f.frame.profilePalette()->width(), 340 + 60);
}

}  // namespace
}  // namespace viewer::view
