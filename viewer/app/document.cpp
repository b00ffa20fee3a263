// The document's file commands over its images.
#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/qt/prompt.h"
#include "platform/text.h"
#include "viewer/app/dialogs.h"
#include "viewer/app/settings.h"
#include "viewer/app/file_types.h"
#include "viewer/app/pipeline.h"
#include "viewer/app/scan_bridge.h"
#include "viewer/app/texts.h"

namespace viewer::app {

namespace fs = std::filesystem;
using platform::qt::Answer;
using platform::qt::Buttons;
using platform::qt::Icon;
using platform::qt::prompt;

namespace {

bool inScope(const CImageItem& item, CTivolaDoc::Scope scope) {
  switch (scope) {
    case CTivolaDoc::Scope::All: return true;
    case CTivolaDoc::Scope::Selected: return item.selected != 0;
    case CTivolaDoc::Scope::Current: return item.active != 0;
  }
  return false;
}

// The series a save path starts. A name without a number still gives every
// image its own file: "name001.ext", "name002.ext", ... after the stem.
SeriesPattern savePattern(const fs::path& file, int imagesInScope) {
  SeriesPattern p = seriesPattern(file.filename().string());
  if (p.valid || imagesInScope <= 1) return p;
  p.valid = true;
  p.prefix = file.stem().string();
  p.suffix = file.extension().string();
  p.width = 3;
  p.start = 1;
  return p;
}

void padLeft(std::string& out, const std::string& value, std::size_t width) {
  if (value.size() < width) out.append(width - value.size(), ' ');
  out += value;
}

}  // namespace

bool CTivolaDoc::canSaveRoiToCsv() const {
  const CImageItem* item = images.activeItem();
  if (item == nullptr) return false;
  const Rect& r = item->roi;
  return r.left != r.right && r.top != r.bottom;
}

bool CTivolaDoc::hasUnsavedScans() const {
  for (int i = 0; i < images.count(); ++i)
    if (const CImageItem* item = images.get(i); item && item->saved == 0) return true;
  return false;
}

void CTivolaDoc::postToViews(int command) {
  if (!views) return;
  auto target = views;
  QMetaObject::invokeMethod(qApp, [target, command] { target(command); }, Qt::QueuedConnection);
}

void CTivolaDoc::saveCurrentImage() {
  if (settings == nullptr) return;
  saveReplica(Scope::Current, Tivola::tr("Save Current"), *settings, workRoot, owner);
}

bool CTivolaDoc::restoreOriginal(CImageItem& item) { return reloadItem(item); }

bool CTivolaDoc::editStudyData() {
  return editStudyDataForImages(Scope::Selected, false, platform::clock::localTime().year, owner);
}

bool CTivolaDoc::saveDocument(const std::string& path, Scope scope, int typeIndex, bool adopt) {
  int inScopeCount = 0;
  for (int i = 0; i < images.count(); ++i)
    if (CImageItem* item = images.get(i); item && inScope(*item, scope)) ++inScopeCount;
  // Nothing to write is no success: the caller would report a save that never happened.
  if (inScopeCount == 0) return false;
  const fs::path file(path);
  const SeriesPattern pattern = savePattern(file, inScopeCount);
  const fs::path folder = file.parent_path();
  bool all = true;
  long n = pattern.valid ? pattern.start : 0;
  for (int i = 0; i < images.count(); ++i) {
    CImageItem* item = images.get(i);
    if (item == nullptr || !inScope(*item, scope)) continue;
    const std::string name = pattern.valid ? pattern.name(n) : file.filename().string();
    const bool ok = saveItem(*item, (folder / name).string(), adopt, pattern.valid ? pattern.width : 0, n,
                             typeIndex == 6 ? 1 : 0, typeIndex == 3);
    if (ok) item->saved = 1;
    all = all && ok;
    ++n;
  }
  if (adopt) {
    std::string folderName = folder.filename().string();
    if (folderName.empty()) folderName = folder.parent_path().filename().string();
    title = folderName;
  }
  return all;
}

bool CTivolaDoc::saveToSeriesPath(QWidget* owner, int typeIndex) {
  if (seriesPath.empty()) return false;
  const fs::path file(seriesPath);
  const SeriesPattern pattern = savePattern(file, images.count());
  std::error_code ec;
  for (int i = 0; pattern.valid && i < images.count(); ++i) {
    const CImageItem* item = images.get(i);
    const fs::path target = file.parent_path() / pattern.name(pattern.start + i);
    if (item && target.string() != item->sourcePath && fs::exists(target, ec)) {
      if (prompt().message(owner, Tivola::tr("Some files will be overwrited by added images. Are you sure?"),
                           appCaption(), Icon::Question, Buttons::YesNo) == Answer::No)
        return false;
      break;
    }
  }
  if (!saveDocument(seriesPath, Scope::All, typeIndex, true)) {
    prompt().message(owner, Tivola::tr("Failed to save image"), appCaption(), Icon::Warning, Buttons::Ok);
    return false;
  }
  nextScanNumber = 1;
  return true;
}

bool CTivolaDoc::saveReplica(Scope scope, const QString& title, Settings& settings, const std::string& workRoot,
                             QWidget* owner, bool adopt) {
  settings.newImageFormat = std::clamp(settings.newImageFormat, 1, 8);
  SaveCheckContext context;
  context.workRoot = workRoot;
  context.saveNewFolder = &settings.saveNewFolder;
  context.jpegQuality = &settings.jpegQuality;
  context.imagesToSave = 0;
  for (int i = 0; i < images.count(); ++i) {
    const CImageItem* item = images.get(i);
    if (item == nullptr || !inScope(*item, scope)) continue;
    ++context.imagesToSave;
    context.studyDataValid = context.studyDataValid && studyDataFitsDiconde(*item);
    context.deepImages = context.deepImages || item->bitsStored > 8;
  }
  if (context.imagesToSave == 0) {
    // Nothing in scope: the dialog would run only to end in a failure.
    prompt().message(owner, Tivola::tr("No image is selected."), appCaption(), Icon::Warning, Buttons::Ok);
    return false;
  }
  context.editStudyData = [this, scope, owner] {
    return editStudyDataForImages(scope, true, platform::clock::localTime().year, owner);
  };
  CMyFileDialog dialog(title, settings.newImageFormat, QStringLiteral("IMAGE001") + saveTypeExtension(settings.newImageFormat),
                       context, owner);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  settings.newImageFormat = dialog.typeIndex();
  settings.handToFormats();
  fs::path path(dialog.selectedFiles().first().toStdString());
  if (dialog.inNewFolder()) {
    const fs::path folder(dialog.newFolderPath().toStdString());
    std::error_code ec;
    fs::create_directory(folder, ec);
    if (!fs::is_directory(folder, ec)) {
      prompt().message(owner, Tivola::tr("Failed to make new folder."), appCaption(), Icon::Warning, Buttons::Ok);
      return false;
    }
    path = folder / path.filename();
  }
  if (!saveDocument(path.string(), scope, dialog.typeIndex(), adopt)) {
    prompt().message(owner, Tivola::tr("Failed to save image"), appCaption(), Icon::Warning, Buttons::Ok);
    return false;
  }
  if (adopt) seriesPath = path.string();
  return true;
}

bool CTivolaDoc::save(Settings& settings, const std::string& workRoot, QWidget* owner) {
  if (!seriesPath.empty()) return saveToSeriesPath(owner, settings.newImageFormat);
  if (!saveReplica(Scope::All, Tivola::tr("Save"), settings, workRoot, owner, true)) return false;
  nextScanNumber = 1;
  return true;
}

namespace {

QString field(const char* cp932) { return QString::fromStdString(platform::text::cp932ToUtf8(cp932)); }
std::string cp932(const QString& t) { return platform::text::utf8ToCp932(t.toStdString()); }

// A date part whose value is 0 (or no number) is shown empty.
void clearZeroPart(char* part) {
  if (std::atoi(part) == 0) part[0] = 0;
}

int sexIndex(const char* sex) {
  const std::string s(sex);
  if (s.rfind('M', 0) == 0) return 0;
  if (s.rfind('F', 0) == 0) return 1;
  if (s.rfind('O', 0) == 0) return 2;
  return 3;
}

void mergeField(QString& into, const QString& value) {
  if (into != value) into = QStringLiteral("*");
}

// Writes a text field back: "*" keeps each image's own value, and an
// emptied field is written empty.
template <std::size_t N>
void writeBack(char (&to)[N], const QString& value) {
  if (value == QStringLiteral("*")) return;
  CStudyInfo::set(to, cp932(value));
}

// A blank date part stands for each image's own, as the dialog checked it.
template <std::size_t N>
void writeBackDate(char (&to)[N], const QString& value) {
  if (value.trimmed().isEmpty()) return;
  writeBack(to, value);
}

}  // namespace

bool CTivolaDoc::editStudyDataForImages(Scope scope, bool saveMode, int currentYear, QWidget* owner) {
  std::vector<CImageItem*> edited;
  for (int i = 0; i < images.count(); ++i)
    if (CImageItem* item = images.get(i); item && inScope(*item, scope)) {
      if (!item->study) item->study = std::make_unique<CStudyInfo>();
      edited.push_back(item);
    }
  if (edited.empty()) return false;
  StudyFields f;
  std::vector<StudyDate> manufacturing, study;
  std::vector<bool> hasName, hasId;
  for (std::size_t i = 0; i < edited.size(); ++i) {
    CStudyInfo& s = *edited[i]->study;
    for (char* part : {s.studyYear, s.studyMonth, s.studyDay, s.manufacturingYear, s.manufacturingMonth,
                       s.manufacturingDay})
      clearZeroPart(part);
    StudyFields mine;
    mine.componentName = field(s.componentName);
    mine.componentId = field(s.componentIdNumber);
    mine.manufacturingYear = field(s.manufacturingYear);
    mine.manufacturingMonth = field(s.manufacturingMonth);
    mine.manufacturingDay = field(s.manufacturingDay);
    mine.sex = sexIndex(s.sex);
    mine.studyYear = field(s.studyYear);
    mine.studyMonth = field(s.studyMonth);
    mine.studyDay = field(s.studyDay);
    mine.studyId = field(s.studyId);
    mine.studyDescription = field(s.studyDescription);
    manufacturing.push_back({mine.manufacturingYear, mine.manufacturingMonth, mine.manufacturingDay});
    study.push_back({mine.studyYear, mine.studyMonth, mine.studyDay});
    hasName.push_back(!mine.componentName.isEmpty());
    hasId.push_back(!mine.componentId.isEmpty());
    if (i == 0) {
      f = mine;
      continue;
    }
    mergeField(f.componentName, mine.componentName);
    mergeField(f.componentId, mine.componentId);
    mergeField(f.manufacturingYear, mine.manufacturingYear);
    mergeField(f.manufacturingMonth, mine.manufacturingMonth);
    mergeField(f.manufacturingDay, mine.manufacturingDay);
    mergeField(f.studyYear, mine.studyYear);
    mergeField(f.studyMonth, mine.studyMonth);
    mergeField(f.studyDay, mine.studyDay);
    mergeField(f.studyId, mine.studyId);
    mergeField(f.studyDescription, mine.studyDescription);
    if (f.sex != mine.sex) f.sex = 4;
  }
  EditStudyDataDialog dialog(f, manufacturing, study, hasName, hasId, saveMode, currentYear, owner);
  if (dialog.exec() != QDialog::Accepted) return false;
  const StudyFields out = dialog.fields();
  static const char* const kSex[] = {"M ", "F ", "O ", ""};
  for (CImageItem* item : edited) {
    CStudyInfo& s = *item->study;
    writeBack(s.componentName, out.componentName);
    writeBack(s.componentIdNumber, out.componentId);
    writeBackDate(s.manufacturingYear, out.manufacturingYear);
    writeBackDate(s.manufacturingMonth, out.manufacturingMonth);
    writeBackDate(s.manufacturingDay, out.manufacturingDay);
    writeBackDate(s.studyYear, out.studyYear);
    writeBackDate(s.studyMonth, out.studyMonth);
    writeBackDate(s.studyDay, out.studyDay);
    writeBack(s.studyId, out.studyId);
    writeBack(s.studyDescription, out.studyDescription);
    if (out.sex >= 0 && out.sex <= 3) CStudyInfo::set(s.sex, kSex[out.sex]);
  }
  return true;
}

bool CTivolaDoc::addScan() {
  ScanBridge& bridge = ScanBridge::instance();
  if (!bridge.makeWorkFolder()) return false;
  const int before = images.count();
  const CImageItem* last = before > 0 ? images.get(before - 1) : nullptr;
  if (bridge.scanRun(last, images) <= before) return false;
  if (!takeScannedImages(before)) return false;
  postToViews(kImageAdded);
  return true;
}

bool CTivolaDoc::saveRoiToCsv(const std::string& path, bool odUnit, QWidget* owner) {
  CImageItem* item = images.activeItem();
  if (item == nullptr || !canSaveRoiToCsv()) return false;
  item->setRoi(item->roi);  // statistics over the normalised region
  const Rect r = item->statisticsRect;
  if (r.empty()) return false;
  const bool od = odUnit && item->odRange >= 1 && item->maxValue >= 1;
  const std::size_t width = item->bytesPerSample() == 2 ? 4 : 3;
  std::string out;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      if (x != r.left) out += ',';
      const int v = item->pixel(x, y);
      if (od) {
        padLeft(out, fixed3(item->opticalDensity(v)), 5);
      } else {
        char buf[16];
        const auto res = std::to_chars(buf, buf + sizeof buf, v);
        padLeft(out, std::string(buf, res.ptr), width);
      }
    }
    out += "\r\n";
  }
  // Written beside and renamed, so a failed write leaves no half file.
  const std::string partial = path + ".part";
  bool ok = false;
  {
    std::ofstream f(partial, std::ios::binary | std::ios::trunc);
    ok = f && f.write(out.data(), std::streamsize(out.size())) && f.flush();
  }
  std::error_code ec;
  if (ok) {
    fs::rename(partial, path, ec);
    ok = !ec;
  }
  if (!ok) {
    fs::remove(partial, ec);
    prompt().message(owner, Tivola::tr("Failed to write the file(%1).").arg(QString::fromStdString(path)), appCaption(),
                     Icon::Warning, Buttons::Ok);
  }
  return ok;
}

}  // namespace viewer::app
