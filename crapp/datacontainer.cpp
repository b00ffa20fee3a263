#include "crapp/datacontainer.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <new>
#include <system_error>

#include "crapp/internal/applog.h"
#include "platform/ini.h"
#include "platform/paths.h"

namespace crapp {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxIPSizeSections = 30;
constexpr int kMaxFolderLevels = 20;

// A configured folder made absolute against the program directory, without
// touching the current directory.
fs::path resolveFolder(std::string_view configured, const fs::path& programDir) {
  return platform::paths::resolve(configured, programDir).lexically_normal();
}

// Creates each missing level from the top down; an existing folder is left alone.
bool createFolder(const fs::path& folder) {
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return true;
  int missing = 0;
  for (fs::path p = folder; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
    if (++missing > kMaxFolderLevels || p == p.parent_path()) return false;
  }
  fs::create_directories(folder, ec);
  return fs::is_directory(folder, ec);
}

}  // namespace

CDataContainer::CDataContainer(fs::path programDir)
    : programDir_(std::move(programDir)),
      mainIni_(programDir_ / "Halcyone.ini"),
      siteIni_(programDir_ / "HalcyoneSite.ini"),
      hardIni_(programDir_ / "HalcyoneHard.ini") {
  logFolder_ = resolveFolder(".\\halcLog", programDir_);
  const SiteFolders folders = siteFolders(programDir_);
  dataFolder_ = folders.data;
  exportFolder_ = folders.exportFolder;
  startProblem_ = folders.problem;
  internalDicom_ = dataFolder_ / "Halcyone.dcm";
  rawImage_ = folders.rawImage;
  CreateListIPsize();
  ReadSettings();
  if (startProblem_) {
    // Refused: nothing is made, emptied or removed; the program ends.
    appLog(1, "---CDataContainer::CDataContainer: unusable folder %s (kind %d, %d of at most %d characters)",
           startProblem_.folder.c_str(), static_cast<int>(startProblem_.kind),
           static_cast<int>(startProblem_.length), static_cast<int>(startProblem_.limit));
  } else {
    for (const fs::path& folder : {logFolder_, dataFolder_, exportFolder_}) {
      if (!createFolder(folder))
        appLog(1, "---CDataContainer::CDataContainer: Fail CreateDirectory(%s)", folder.c_str());
    }
    EmptyDataFolder();
    RemoveStaleTemporaries();
  }
  copyBuffer_.reset(new (std::nothrow) std::uint8_t[kCopyBufferSize]);
  if (!copyBuffer_)
    appLog(1, "---CDataContainer::CDataContainer: Fail Memory allocate temp imgbuff(size=%d)",
           static_cast<int>(kCopyBufferSize));
}

CDataContainer::~CDataContainer() = default;

void CDataContainer::CreateListIPsize() {
  const auto ini = platform::ini::IniFile::load(mainIni_);
  for (int n = 1; n <= kMaxIPSizeSections; ++n) {
    const std::string section = "IPSizeID_" + std::to_string(n);
    const int width = ini.getInt(section, "MmWidth", 0);
    const int height = ini.getInt(section, "MmHeight", 0);
    // A negative size would pass the size check with a negative byte count.
    if (width <= 0 || height <= 0) continue;
    IPSizeDefinition entry;
    entry.dispName = ini.getString(section, "DispName", "").substr(0, 255);
    entry.cassetteSize = ini.getString(section, "CassetteSizeString", "").substr(0, 255);
    if (entry.dispName.empty() || entry.cassetteSize.empty()) continue;
    entry.id = static_cast<int>(ipSizes_.size()) + 1;
    entry.mmWidth = width;
    entry.mmHeight = height;
    try {
      ipSizes_.push_back(std::move(entry));
    } catch (const std::bad_alloc&) {
      appLog(1, "---CDataContainer::CreateListIPsize: Fail Memory allocate IPsizeDefinition buffer");
    }
  }
}

void CDataContainer::ReadSettings() {
  const auto site = platform::ini::IniFile::load(siteIni_);
  logLevel_ = site.getInt("Log", "LogLevel", 6);

  availableImageSize_ = site.getInt("Settings", "AvailableImageSize", 500);
  if (availableImageSize_ < 1) availableImageSize_ = 500;
  eraseMode_ = site.getInt("Settings", "EraseMode", 2);
  if (eraseMode_ < 0 || eraseMode_ > 3) eraseMode_ = 2;
  imagePhotometrics_ = site.getInt("Settings", "ImagePhotometrics", 1);
  if (imagePhotometrics_ < 0 || imagePhotometrics_ > 4) imagePhotometrics_ = 1;
  descriptionCategoryStudy_ = site.getInt("Settings", "DescriptionCategoryStudy", 0) == 1 ? 1 : 0;
  scanSpeedSlow_ = site.getString("Settings", "ScanSpeedSlow", "") == "ON" ? 1 : 0;
}

const IPSizeDefinition* CDataContainer::GetIPSizeByIndex(int index) const {
  if (index < 1 || index > GetIPSizeCount()) return nullptr;
  return &ipSizes_[static_cast<std::size_t>(index - 1)];
}

const IPSizeDefinition* CDataContainer::GetIPSizeById(int id) const {
  for (const IPSizeDefinition& entry : ipSizes_)
    if (entry.id == id) return &entry;
  return nullptr;
}

int CDataContainer::CheckPairPitchAndSize(int ipSizeId, int pitchUm) const {
  appLog(9, "---CDataContainer::CheckPairPitchAndSize: size_id=%d pitch=%d", ipSizeId, pitchUm);
  const IPSizeDefinition* entry = GetIPSizeById(ipSizeId);
  if (entry == nullptr || pitchUm <= 0) return 0;
  // 64 bits: a large plate at a fine pitch overflows 32.
  const std::int64_t limit = std::int64_t{availableImageSize_} * 1048576;
  const std::int64_t columns = std::int64_t{entry->mmWidth} * 1000 / pitchUm;
  const std::int64_t rows = std::int64_t{entry->mmHeight} * 1000 / pitchUm;
  const std::int64_t bytes = columns * rows * 2;
  if (bytes >= limit) {
    appLog(1,
           "---CDataContainer::CheckPairPitchAndSize: Error. Over available size. "
           "availableSize=%dMbytes  pitch=%d  sizeID=%s(%dmm, %dmm)",
           availableImageSize_, pitchUm, entry->dispName.c_str(), entry->mmWidth, entry->mmHeight);
    return 0;
  }
  appLog(6,
         "---CDataContainer::CheckPairPitchAndSize: OK. In Available size. "
         "availableSize=%dMbytes  pitch=%d  sizeID=%s(%dmm, %dmm)",
         availableImageSize_, pitchUm, entry->dispName.c_str(), entry->mmWidth, entry->mmHeight);
  return 1;
}

UISettings CDataContainer::ReadUISettings() const {
  const auto site = platform::ini::IniFile::load(siteIni_);
  UISettings s;
  s.ipSizeId = site.getInt("UISettings", "IPSizeID", s.ipSizeId);
  s.scanPitch = site.getInt("UISettings", "ScanPitch", s.scanPitch);
  s.sensitivity = site.getInt("UISettings", "Sensitivity", s.sensitivity);
  s.scanSpeed = site.getInt("UISettings", "ScanSpeed", s.scanSpeed);
  return s;
}

void CDataContainer::WriteUISettings(const UISettings& s) const {
  platform::ini::writeInt(siteIni_, "UISettings", "IPSizeID", s.ipSizeId);
  platform::ini::writeInt(siteIni_, "UISettings", "ScanPitch", s.scanPitch);
  platform::ini::writeInt(siteIni_, "UISettings", "Sensitivity", s.sensitivity);
  platform::ini::writeInt(siteIni_, "UISettings", "ScanSpeed", s.scanSpeed);
}

WindowRect CDataContainer::ReadWindowRect() const {
  const auto site = platform::ini::IniFile::load(siteIni_);
  return WindowRect{site.getInt("Window", "left", 0), site.getInt("Window", "top", 0),
                    site.getInt("Window", "right", 0), site.getInt("Window", "bottom", 0)};
}

void CDataContainer::WriteWindowRect(const WindowRect& r) const {
  platform::ini::writeInt(siteIni_, "Window", "left", r.left);
  platform::ini::writeInt(siteIni_, "Window", "top", r.top);
  platform::ini::writeInt(siteIni_, "Window", "right", r.right);
  platform::ini::writeInt(siteIni_, "Window", "bottom", r.bottom);
}

int CDataContainer::ReadStudyCounter() const {
  return platform::ini::getInt(siteIni_, "StudyID", "Count", 0);
}

bool CDataContainer::WriteStudyCounter(int value) const {
  return platform::ini::writeInt(siteIni_, "StudyID", "Count", value);
}

int CDataContainer::ReadBusyWaitLimitMs() const {
  return platform::ini::getInt(mainIni_, "Timer", "TimeMs", 600000);
}

bool CDataContainer::EmptyDataFolder() const {
  std::error_code ec;
  bool ok = true;
  for (auto it = fs::directory_iterator(dataFolder_, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    const fs::path entry = it->path();
    // Read-only entries and folders are made writable first, so that they and
    // what they hold can go; links are removed, never followed.
    std::error_code permError;
    if (!fs::is_symlink(entry, permError)) {
      fs::permissions(entry, fs::perms::owner_all, fs::perm_options::add, permError);
      if (fs::is_directory(entry, permError)) {
        // Each folder is opened up when visited, before the walk enters it.
        for (auto sub = fs::recursive_directory_iterator(entry, permError);
             !permError && sub != fs::recursive_directory_iterator(); sub.increment(permError)) {
          if (!sub->is_symlink(permError))
            fs::permissions(sub->path(), fs::perms::owner_all, fs::perm_options::add, permError);
        }
      }
    }
    std::error_code removeError;
    fs::remove_all(entry, removeError);
    if (removeError) {
      appLog(1, "---CDataContainer::EmptyDataFolder: Fail DeleteFile(%s)", entry.c_str());
      ok = false;
    }
  }
  return ok;
}

std::string exportTemporaryName(std::string_view candidate, long pid) {
  return "." + std::string(candidate) + ".dcm." + std::to_string(pid) + ".tmp";
}

long exportTemporaryOwner(std::string_view name) {
  constexpr std::string_view kTail = ".tmp", kMiddle = ".dcm.";
  if (name.size() < 2 || name.front() != '.' || !name.ends_with(kTail)) return 0;
  name.remove_suffix(kTail.size());
  std::size_t digits = 0;
  while (digits < name.size() && name[name.size() - 1 - digits] >= '0' && name[name.size() - 1 - digits] <= '9')
    ++digits;
  // A process id: 1 to 10 digits without a leading zero.
  if (digits == 0 || digits > 10 || name[name.size() - digits] == '0') return 0;
  const std::string_view number = name.substr(name.size() - digits);
  name.remove_suffix(digits);
  // What is left is ".<candidate>.dcm." with a candidate of one character or more.
  if (!name.ends_with(kMiddle) || name.size() < 1 + 1 + kMiddle.size()) return 0;
  long long pid = 0;
  for (char c : number) pid = pid * 10 + (c - '0');
  return pid <= 0x7FFFFFFF ? static_cast<long>(pid) : 0;
}

void CDataContainer::RemoveStaleTemporaries() const {
  std::error_code ec;
  for (auto it = fs::directory_iterator(exportFolder_, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    const long pid = exportTemporaryOwner(it->path().filename().native());
    if (pid == 0) continue;
    std::error_code kind;
    if (!it->is_regular_file(kind) || it->is_symlink(kind)) continue;
    // One instance runs at a time, so a copy under this process's own id is
    // stale too: nothing has been saved yet.
    const bool gone = pid == ::getpid() || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
    if (!gone) continue;
    if (::unlink(it->path().c_str()) == 0)
      appLog(6, "---CDataContainer::RemoveStaleTemporaries: removed %s", it->path().c_str());
    else
      appLog(1, "---CDataContainer::RemoveStaleTemporaries: Fail DeleteFile(%s)", it->path().c_str());
  }
}

void CDataContainer::DeleteScanRecords() {
  scanInfo_.reset();
  scanCondition_.reset();
  scanImage_.reset();
}

bool CDataContainer::fileStep(std::string_view what) {
  const int step = fileStepCounter_++;
  return !fileStepHook_ || fileStepHook_(step, what);
}

}  // namespace crapp
