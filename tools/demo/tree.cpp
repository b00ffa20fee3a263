#include "tools/demo/tree.h"

#include <system_error>

#include "platform/ini.h"

namespace demo {
namespace {

namespace fs = std::filesystem;

bool copyInto(const fs::path& from, const fs::path& to, std::string* fault) {
  std::error_code ec;
  fs::copy(from, to, fs::copy_options::overwrite_existing | fs::copy_options::recursive, ec);
  if (ec) *fault = "cannot copy " + from.string() + " to " + to.string() + ": " + ec.message();
  return !ec;
}

// The suite's libraries; the test doubles beside them in the build stay out.
constexpr const char* kLibraries[] = {"libndtplatform.so", "libndtplatform_qt.so", "libLog.so", "libPravik.so",
                                      "libBrightel.so",    "libZentrac.so",        "libQuorin2.so", "libFennick.so",
                                      "libOskelu.so",
                                      // the TWAIN data source with its two files, and the manager they name
                                      "Selvane.ds", "Selvane.ini", "Selvane.cap", "libTwainDsm.so"};

// Plate sizes of the CR program's list, its depth, and its scan mode, which
// talks to the reader.
void writeCrSettings(const fs::path& folder) {
  using platform::ini::writeInt;
  using platform::ini::writeString;
  const fs::path sizes = folder / "Halcyone.ini";
  struct Size {
    const char* section;
    int width, height;
    const char* name;
    const char* cassette;
  };
  for (const Size& s : {Size{"IPSizeID_1", 254, 305, "10x12", "10INX12IN"},
                        Size{"IPSizeID_2", 356, 432, "14x17", "14INX17IN"},
                        Size{"IPSizeID_3", 100, 400, "Strip", "STRIP"}}) {
    writeInt(sizes, s.section, "MmWidth", s.width);
    writeInt(sizes, s.section, "MmHeight", s.height);
    writeString(sizes, s.section, "DispName", s.name);
    writeString(sizes, s.section, "CassetteSizeString", s.cassette);
  }
  const fs::path hard = folder / "HalcyoneHard.ini";
  writeString(hard, "Common", "Mode", "Scan");
  writeInt(hard, "Common", "ScannerThread_IdleMs", 5);
}

}  // namespace

bool installTree(const fs::path& binDir, const fs::path& standIn, const Tree& tree, CrProgram cr,
                 std::string* fault) {
  std::error_code ec;
  // Programs and libraries of an older build must not stay beside the new
  // ones, nor an older run's results among this run's.
  fs::remove_all(tree.bin(), ec);
  fs::remove_all(tree.results(), ec);
  for (const fs::path& folder : {tree.bin(), tree.crFolder(), tree.config(), tree.runtime(), tree.work(),
                                 tree.results()}) {
    fs::create_directories(folder, ec);
    if (ec) {
      *fault = "cannot make " + folder.string() + ": " + ec.message();
      return false;
    }
  }
  for (const char* library : kLibraries)
    if (!copyInto(binDir / library, tree.bin(), fault)) return false;
  if (!copyInto(binDir / "Tivola", tree.bin(), fault) ||
      !copyInto(binDir / "translations", tree.bin() / "translations", fault))
    return false;
  const fs::path real = binDir / "Halcyone" / "Halcyone";
  if (cr == CrProgram::Real) {
    if (!copyInto(real, tree.crFolder(), fault)) return false;
  } else {
    if (!copyInto(standIn, tree.crFolder() / "Halcyone", fault) ||
        !copyInto(real, tree.crFolder() / kRealCrProgram, fault))
      return false;
  }
  writeCrSettings(tree.crFolder());
  return true;
}

std::map<std::string, std::string> treeEnvironment(const Tree& tree, const std::string& usb) {
  return {{"NDT_USB", usb},
          {"NDT_CONFIG_DIR", tree.config().string()},
          {"NDT_RUNTIME_DIR", tree.runtime().string()}};
}

}  // namespace demo
