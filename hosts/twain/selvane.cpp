// Selvane.ds, the data source as a source manager loads it: the three exports,
// the settings beside the module, the manager's and the film-scan UI's
// libraries, and the QApplication the UI needs when the host has none.
#include "hosts/twain/internal/data_source.h"
#include "platform/ini.h"
#include "platform/library.h"
#include "platform/paths.h"
#include "platform/qt/prompt.h"
#include "platform/qt/translations.h"

#include <QApplication>
#include <QCoreApplication>

#include <memory>
#include <string>

#define SELVANE_API extern "C" __attribute__((visibility("default")))

SELVANE_API TW_UINT16 DS_Entry(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData);
SELVANE_API int KT7163DSmsgSendXFERREADY();
SELVANE_API int KT7163DSmsgSendCLOSEDSREQ();

namespace {

// Library paths are read at most this long from "Selvane.ini".
constexpr std::size_t kPathLength = 127;

struct Module {
  enum class Load { NotYet, Loaded, Failed };
  Load load = Load::NotYet;
  platform::Library manager;
  platform::Library ui;
  std::unique_ptr<twain::DataSource> source;
  // The QApplication made for a host without one; null in a Qt host.
  QApplication* ownApp = nullptr;

  ~Module();
};

Module& module() {
  static Module m;
  return m;
}

const void* self() { return reinterpret_cast<const void*>(&DS_Entry); }

void makeApplication(Module& m) {
  if (QCoreApplication::instance() != nullptr) return;
  // Qt keeps references to these for the application's life.
  static int argc = 1;
  static char name[] = "Selvane";
  static char* argv[] = {name, nullptr};
  m.ownApp = new QApplication(argc, argv);
}

// A host may unload the source once the session is closed: nothing that
// belongs to the application made here may outlive it.
void endApplication(Module& m) {
  if (m.ownApp == nullptr) return;
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::processEvents();
  delete m.ownApp;
  m.ownApp = nullptr;
}

Module::~Module() {
  source.reset();
  endApplication(*this);
}

// Events reach Qt only where the source made the application; a Qt host runs
// its own loop. The application's own events are never Qt's.
bool pumpEvents(void*) {
  if (module().ownApp != nullptr) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
  return false;
}

std::string libraryName(const platform::ini::IniFile& ini, const char* key, const std::filesystem::path& dir) {
  std::string name = ini.getString("Environment", key, "");
  if (name.size() > kPathLength) name.resize(kPathLength);
  // A bare name is looked up beside the module first; a path is taken from here.
  if (name.find_first_of("/\\") == std::string::npos) return name;
  return platform::paths::resolve(name, dir).string();
}

template <typename F>
bool bind(platform::Library& library, const char* name, F& out) {
  out = library.function<F>(name);
  return out != nullptr;
}

bool bindUi(platform::Library& ui, twain::ScanUiFunctions& f) {
  return bind(ui, "SetDSProcAddress", f.SetDSProcAddress) &&
         bind(ui, "IsThereAnyDigitizerAvailable", f.IsThereAnyDigitizerAvailable) &&
         bind(ui, "IsDigitizerAvailable", f.IsDigitizerAvailable) && bind(ui, "InitUI", f.InitUI) &&
         bind(ui, "ShowUI", f.ShowUI) && bind(ui, "HideUI", f.HideUI) && bind(ui, "TermUI", f.TermUI) &&
         bind(ui, "GetScanData", f.GetScanData) && bind(ui, "ReleaseScanData", f.ReleaseScanData) &&
         bind(ui, "GetAutofeederCount", f.GetAutofeederCount) &&
         bind(ui, "ResetAutofeederCount", f.ResetAutofeederCount) && bind(ui, "CeaseScan", f.CeaseScan);
}

// The source's translation context, where lupdate finds its texts too.
class Selvane {
  Q_DECLARE_TR_FUNCTIONS(Selvane)
};

void failLoad(Module& m, const char* text) {
  m.load = Module::Load::Failed;
  m.ui.close();
  m.manager.close();
  makeApplication(m);
  {
    // Installed only while the box is up: the host may unload the source right after.
    platform::qt::Translation translation;
    translation.install(QStringLiteral("selvane"),
                        QString::fromStdString((platform::paths::moduleDir(self()) / "translations").string()));
    platform::qt::prompt().message(nullptr, Selvane::tr(text), QStringLiteral("DllMain"), platform::qt::Icon::Warning,
                                   platform::qt::Buttons::Ok);
  }
  endApplication(m);
}

// Done at the first call rather than at load: a box cannot be shown from
// inside the loader.
void load(Module& m) {
  const std::filesystem::path dir = platform::paths::moduleDir(self());
  const platform::ini::IniFile ini = platform::ini::IniFile::load(dir / "Selvane.ini");

  DSMENTRYPROC dsm = nullptr;
  if (!m.manager.open(libraryName(ini, "TwainManager", dir), self()) || !bind(m.manager, "DSM_Entry", dsm))
    return failLoad(m, QT_TRANSLATE_NOOP("Selvane", "Fail loading DSM DLL"));
  twain::ScanUiFunctions ui;
  if (!m.ui.open(libraryName(ini, "UIDllName", dir), self()) || !bindUi(m.ui, ui))
    return failLoad(m, QT_TRANSLATE_NOOP("Selvane", "Fail loading UI DLL"));

  m.source = std::make_unique<twain::DataSource>(twain::sourceIdentityFrom(dir / "Selvane.ini"), dir / "Selvane.cap",
                                                 ui, dsm, &pumpEvents);
  ui.SetDSProcAddress(&KT7163DSmsgSendXFERREADY, &KT7163DSmsgSendCLOSEDSREQ);
  m.load = Module::Load::Loaded;
}

}  // namespace

SELVANE_API TW_UINT16 DS_Entry(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData) {
  Module& m = module();
  if (m.load == Module::Load::NotYet) load(m);
  if (m.load == Module::Load::Failed) {
    // The application may still ask why.
    if (DG == DG_CONTROL && DAT == DAT_STATUS && MSG == MSG_GET && pData != nullptr)
      *static_cast<TW_STATUS*>(pData) = TW_STATUS{TWCC_OPERATIONERROR, 0};
    return TWRC_FAILURE;
  }
  // The film-scan UI is first reached through the identity in state 3: it
  // needs its application by then.
  if (m.source->state() == 3 && DG == DG_CONTROL && DAT == DAT_IDENTITY) makeApplication(m);
  const TW_UINT16 rc = m.source->entry(pOrigin, DG, DAT, MSG, pData);
  if (m.source->state() == 3) endApplication(m);
  return rc;
}

SELVANE_API int KT7163DSmsgSendXFERREADY() {
  Module& m = module();
  return m.source != nullptr ? m.source->transferReady() : 0;
}

SELVANE_API int KT7163DSmsgSendCLOSEDSREQ() {
  Module& m = module();
  return m.source != nullptr ? m.source->closeRequest() : 0;
}
