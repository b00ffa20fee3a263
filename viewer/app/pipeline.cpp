#include "viewer/app/pipeline.h"

#include <QApplication>
#include <QPointer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "platform/qt/prompt.h"
#include "viewer/app/dialogs.h"
#include "viewer/app/file_types.h"
#include "viewer/app/settings.h"
#include "viewer/app/texts.h"
#include "viewer/formats/diconde.h"
#include "viewer/formats/format_support.h"
#include "viewer/formats/jpeg.h"
#include "viewer/formats/pgm_bmp.h"
#include "viewer/formats/raw.h"
#include "viewer/formats/tiff.h"

namespace viewer::app {

namespace fs = std::filesystem;
using platform::qt::Answer;
using platform::qt::Buttons;
using platform::qt::Icon;
using platform::qt::prompt;

namespace {

const std::vector<std::string>* g_selection = nullptr;
std::function<std::uint64_t()> g_memoryProbe;
QPointer<OpeningDialog> g_opening;

constexpr std::size_t kMaxFiles = 1024;
constexpr long kMaxSeries = 999;

std::uint64_t fileSize(const fs::path& p) {
  std::error_code ec;
  const auto n = fs::file_size(p, ec);
  return ec ? 0 : std::uint64_t(n);
}

bool isFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

void add(FileList& list, const std::string& name, long number = -1) {
  if (list.names.size() >= kMaxFiles) return;
  list.names.push_back(name);
  list.sizes.push_back(fileSize(fs::path(list.folder) / name));
  list.seriesNumbers.push_back(number);
}

FileList buildList(const std::string& path) {
  FileList list;
  if (g_selection != nullptr && !g_selection->empty()) {
    list.folder = fs::path((*g_selection)[0]).parent_path().string();
    for (const std::string& p : *g_selection) add(list, fs::path(p).filename().string());
    return list;
  }
  const fs::path p(path);
  list.folder = p.parent_path().string();
  if (isFile(p)) add(list, p.filename().string());
  return list;
}

}  // namespace

FileList numberedSeries(const std::string& folder, const std::string& name) {
  FileList series;
  series.folder = folder;
  const SeriesPattern pattern = seriesPattern(name);
  if (!pattern.valid) {
    add(series, name);
    return series;
  }
  series.seriesWidth = pattern.width;
  // A missing number 0 does not end the series.
  for (long n = pattern.start; n < pattern.start + kMaxSeries; ++n) {
    const std::string candidate = pattern.name(n);
    if (isFile(fs::path(folder) / candidate)) add(series, candidate, n);
    else if (n != 0) break;
  }
  return series;
}

namespace {

int readByType(CImageItem& item, const std::string& path) {
  switch (typeByContent(path)) {
    case kTypeTiff:
    case kTypeTiffBig: return formats::ReadTiffFile(item, path);
    case kTypeDiconde: return formats::ReadDicondeFile(item, path);
    case kTypeBmp: return formats::ReadBmpFile(item, path);
    case kTypePgm: return formats::ReadPgmFile(item, path);
    case kTypeJpeg: return formats::ReadJpegFile(item, path);
    case kTypeRaw:
    default: {
      const int ok = formats::ReadRawFile(item, path);
      if (ok) item.rawLayout = formats::lastRawLayout();
      return ok;
    }
  }
}

void message(QWidget* owner, const char* english, Buttons buttons = Buttons::Ok, Icon icon = Icon::Warning) {
  prompt().message(owner, text(english), appCaption(), icon, buttons);
}

bool ask(QWidget* owner, const char* english, Icon icon = Icon::Question) {
  return prompt().message(owner, text(english), appCaption(), icon, Buttons::YesNo) == Answer::Yes;
}

void showFailures(QWidget* owner) {
  FailedFilesDialog d(formats::failures().lines(), owner);
  d.exec();
}

}  // namespace

PublishedSelection::PublishedSelection(const std::vector<std::string>& paths) { g_selection = &paths; }
PublishedSelection::~PublishedSelection() { g_selection = nullptr; }

std::uint64_t availableMemory() {
  if (g_memoryProbe) return g_memoryProbe();
  std::ifstream in("/proc/meminfo");
  std::string key;
  std::uint64_t value = 0, total = 0;
  std::string unit;
  while (in >> key >> value) {
    std::getline(in, unit);
    if (key == "MemAvailable:" || key == "SwapFree:") total += value * 1024;
  }
  return total;
}

void setAvailableMemoryProbe(std::function<std::uint64_t()> probe) { g_memoryProbe = std::move(probe); }

OpeningDialog* openingDialog() { return g_opening.data(); }

bool openIntoDocument(CTivolaDoc& doc, const OpenRequest& request, Settings& settings, QWidget* owner) {
  formats::rawBeginOpenCommand();
  settings.handToFormats();
  FileList list = buildList(request.path);
  const bool wasEmpty = doc.images.count() == 0;
  if (list.names.size() == 1 && (settings.openSeries != 0 || request.dropped)) {
    FileList series = numberedSeries(list.folder, list.names[0]);
    if (!series.names.empty()) list = std::move(series);
  }
  if (list.names.empty()) {
    message(owner, wasEmpty ? QT_TRANSLATE_NOOP("Tivola", "There is no image to display")
                            : QT_TRANSLATE_NOOP("Tivola", "There are no more images to add"));
    return false;
  }
  if (request.dropped && list.names.size() > 1 &&
      !ask(owner, QT_TRANSLATE_NOOP("Tivola",
                                    "Image files with continuous numbers are found. Do you want to open them "
                                    "together?\n(Click No to open single file.)"))) {
    list.names.resize(1);
    list.sizes.resize(1);
    list.seriesNumbers.resize(1);
  }
  std::uint64_t total = 0;
  for (std::uint64_t s : list.sizes) total += s;
  if (double(total) > 0.8 * double(availableMemory()) &&
      !ask(owner,
           QT_TRANSLATE_NOOP("Tivola",
                             "We are trying to oen a large image set. We may run out of memory. Continue anyway?"),
           Icon::Warning))
    return false;

  // The dialog lives on this thread; the loop pumps its events between files.
  // It takes all input meanwhile, so nothing starts a second open inside this one.
  auto opening = std::make_unique<OpeningDialog>(nullptr);
  opening->setWindowModality(Qt::ApplicationModal);
  g_opening = opening.get();
  opening->show();
  formats::failures().clear();
  const int files = int(list.names.size());
  int done = 0;
  std::uint64_t bytesDone = 0;
  bool asked = false, failuresShown = false;
  opening->refresh(0, files, 0, total);
  QApplication::processEvents();
  for (int i = 0; i < files; ++i) {
    const std::string path = (fs::path(list.folder) / list.names[std::size_t(i)]).string();
    auto item = std::make_unique<CImageItem>();
    if (!isFile(path)) {
      if (i == 0) continue;
      break;
    }
    if (readByType(*item, path)) {
      item->sourcePath = fs::absolute(path).lexically_normal().string();
      item->fileName = list.names[std::size_t(i)];
      const long number = list.seriesNumbers[std::size_t(i)];
      item->shownName = number >= 0 ? paddedNumber(number, list.seriesWidth) : item->fileName;
      doc.images.add(std::move(item));
      ++done;
      bytesDone += list.sizes[std::size_t(i)];
      if (i + 1 == files) break;  // the window closes at once: no last redraw
      opening->refresh(done, files, bytesDone, total);
    } else {
      formats::failures().addCurrent(list.names[std::size_t(i)]);
      item.reset();
      if (formats::failures().outOfMemory()) {
        opening.reset();
        message(owner, QT_TRANSLATE_NOOP("Tivola", "Out of Memory"));
        settings.takeFromFormats();
        return false;
      }
      if (!asked) {
        asked = true;
        opening->hide();
        if (!ask(owner, QT_TRANSLATE_NOOP("Tivola", "An image cannot be opened. Continue?"))) {
          if (formats::failures().count() > 0) {
            opening.reset();
            showFailures(owner);
            failuresShown = true;
          }
          break;
        }
        opening->show();
      }
    }
    QApplication::processEvents();
    if (opening && opening->cancelled()) {
      if (i + 1 < files) QApplication::beep();
      break;
    }
  }
  opening.reset();
  settings.takeFromFormats();
  if (!failuresShown && formats::failures().count() > 0) showFailures(owner);
  if (doc.images.count() == 0) {
    message(owner, wasEmpty ? QT_TRANSLATE_NOOP("Tivola", "There is no image to display")
                            : QT_TRANSLATE_NOOP("Tivola", "There are no more images to add"));
    return false;
  }
  if (wasEmpty) doc.folderTitle = fs::path(list.folder).filename().string();
  return true;
}

bool reloadItem(CImageItem& item) {
  const std::string& path = !item.sourcePath.empty() ? item.sourcePath : item.tempPath;
  if (path.empty() || !isFile(path)) return false;
  CImageItem loaded;
  int ok = 0;
  if (typeByContent(path) == kTypeRaw) {
    // The depth and layout it was read with; the RAW dialog is not asked again.
    if (!loaded.allocate(item.bytesPerSample(), 1, 1)) return false;
    loaded.rawLayout = item.rawLayout;
    ok = formats::ReloadRawFile(loaded, path);
  } else {
    ok = readByType(loaded, path);
  }
  if (!ok || !loaded.hasPixels()) return false;
  item.takeLoaded(loaded);
  return true;
}

bool saveItem(CImageItem& item, const std::string& path, bool adoptPath, int seriesDigits, long seriesNumber,
              int byteOrder, bool dicondeJpeg) {
  int ok = 0;
  switch (saveFormatFor(path)) {
    case SaveFormat::Diconde: ok = formats::WriteDicondeFile(item, path, dicondeJpeg); break;
    case SaveFormat::Tiff: ok = formats::WriteTiffFile(item, path); break;
    case SaveFormat::Bmp: ok = formats::WriteBmpFile(item, path); break;
    case SaveFormat::Pgm: ok = formats::WritePgmFile(item, path); break;
    case SaveFormat::Jpeg: ok = formats::WriteJpegFile(item, path); break;
    case SaveFormat::Raw:
      ok = formats::WriteRawFile(item, path, byteOrder);
      if (ok) item.rawLayout = formats::lastRawLayout();
      break;
  }
  if (!ok) return false;
  item.saved = 1;
  if (adoptPath) {
    item.sourcePath = path;
    item.fileName = fs::path(path).filename().string();
    item.shownName = seriesDigits > 0 ? paddedNumber(seriesNumber, seriesDigits) : item.fileName;
  }
  item.lastWrite = platform::clock::localTime();
  return true;
}

namespace {

// A field's length once converted to its DICONDE text.
std::size_t dicondeBytes(const char* field) { return formats::toDicondeText(field).size(); }

bool dateWithin(const char* year, const char* month, const char* day, int firstYear) {
  const int y = std::atoi(year), m = std::atoi(month), d = std::atoi(day);
  return y >= firstYear && y <= 2200 && m >= 1 && m <= 12 && d >= 1 && d <= 31;
}

}  // namespace

bool studyDataFitsDiconde(const CImageItem& item) {
  if (!item.study) return true;
  const CStudyInfo& s = *item.study;
  const std::size_t name = dicondeBytes(s.componentName), id = dicondeBytes(s.componentIdNumber);
  return name > 0 && name <= 32 && id > 0 && id <= 32 &&
         dateWithin(s.manufacturingYear, s.manufacturingMonth, s.manufacturingDay, 1870) &&
         dateWithin(s.studyYear, s.studyMonth, s.studyDay, 1970) && dicondeBytes(s.studyId) <= 16 &&
         dicondeBytes(s.studyDescription) <= 64;
}

}  // namespace viewer::app

namespace viewer::app {

namespace {
int g_newScanTitle = 1;  // program-wide, for the "New scan%1d" titles
}

bool CTivolaDoc::takeScannedImages(int first) {
  if (first < 0 || first >= images.count()) return false;
  for (int i = first; i < images.count(); ++i) {
    CImageItem* item = images.get(i);
    if (item == nullptr) continue;
    if (!item->sourcePath.empty()) item->tempPath = item->sourcePath;
    char shown[32];
    std::snprintf(shown, sizeof shown, "scan%03d", nextScanNumber);
    item->shownName = shown;
    item->fileName.clear();
    item->sourcePath.clear();
    item->saved = 0;
    ++nextScanNumber;
  }
  if (first == 0) {
    title = Tivola::tr("New scan%1d").toStdString();
    const std::size_t at = title.find("%1d");
    if (at != std::string::npos) title.replace(at, 3, std::to_string(g_newScanTitle));
    ++g_newScanTitle;
  }
  hasScans = 1;
  return true;
}

}  // namespace viewer::app
