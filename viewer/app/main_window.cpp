#include "viewer/app/main_window.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>

#include "platform/qt/control.h"
#include "platform/qt/prompt.h"
#include "viewer/app/application.h"
#include "viewer/app/control_ids.h"
#include "viewer/app/dialogs.h"
#include "viewer/app/texts.h"

namespace viewer::app {

using namespace viewer::view;

namespace {
constexpr int ID_FILE_CLOSE = 57602;  // the framework's File Close
constexpr int ID_SAVE_ROI_TO_CSV = 32841;
}  // namespace

DocumentFrame::DocumentFrame(std::unique_ptr<CTivolaDoc> doc, ToolTarget* tools)
    : CChildFrame(new CTivolaView(doc.get(), tools)), doc_(std::move(doc)) {
  QPointer<CTivolaView> shown(view());
  // Posted by the document after it took images in; the view makes their tiles.
  doc_->views = [shown](int command) {
    if (shown) shown->postCommand(command);
  };
}

DocumentFrame::~DocumentFrame() {
  // The view goes first: its tiles point into the document's images.
  doc_->views = nullptr;
  QWidget* v = widget();
  setWidget(nullptr);
  delete v;
}

void DocumentFrame::refresh() {
  if (!doc_->title.empty()) setWindowTitle(QString::fromStdString(doc_->title));
}

bool DocumentFrame::mayClose() {
  if (discardAgreed_ || !doc_->hasUnsavedScans()) return true;
  // A scan exists nowhere but in this document.
  ConfirmationDialog confirm(this);
  if (confirm.exec() != QDialog::Accepted) return false;
  discardAgreed_ = true;
  return true;
}

void DocumentFrame::closeEvent(QCloseEvent* event) {
  if (!mayClose()) {
    event->ignore();
    return;
  }
  CChildFrame::closeEvent(event);
}

MainWindow::MainWindow(TivolaApp& app, std::filesystem::path ini) : CMainFrame(std::move(ini)), app_(app) {
  setWindowTitle(QStringLiteral("Tivola"));
  platform::qt::setControlId(mdiArea(), ids::kMdiArea);
  // The palettes and the status text follow the active document.
  connect(mdiArea(), &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
    if (auto* child = dynamic_cast<DocumentFrame*>(sub)) setActiveGrid(&child->view()->grid());
  });
  openFiles = [this](const QStringList& files) {
    for (const QString& f : files) app_.openDocumentFile(f.toStdString(), true);
  };
  buildMenus();
  resize(1024, 768);
}

MainWindow::~MainWindow() {
  // The documents go while the window is whole: their views still tell it.
  disconnect(mdiArea(), nullptr, this, nullptr);
  for (QMdiSubWindow* sub : mdiArea()->subWindowList()) delete sub;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  for (QMdiSubWindow* sub : mdiArea()->subWindowList())
    if (auto* child = dynamic_cast<DocumentFrame*>(sub); child && !child->mayClose()) {
      mdiArea()->setActiveSubWindow(child);
      event->ignore();
      return;
    }
  CMainFrame::closeEvent(event);
}

DocumentFrame* MainWindow::addDocument(std::unique_ptr<CTivolaDoc> doc, const QString& title) {
  doc->settings = &app_.settings;
  doc->workRoot = app_.workRoot.string();
  doc->owner = this;
  auto* child = new DocumentFrame(std::move(doc), this);
  CTivolaView* view = child->view();
  view->setPaletteLink(this);
  child->setWindowTitle(title);
  mdiArea()->addSubWindow(child);
  child->showMaximized();
  view->initialUpdate();
  return child;
}

DocumentFrame* MainWindow::activeChild() const {
  QMdiSubWindow* sub = mdiArea()->activeSubWindow();
  if (sub == nullptr && !mdiArea()->subWindowList().isEmpty()) sub = mdiArea()->subWindowList().last();
  return dynamic_cast<DocumentFrame*>(sub);
}

void MainWindow::documentCommand(const std::function<void(DocumentFrame&)>& command) {
  if (DocumentFrame* c = activeChild()) {
    command(*c);
    c->refresh();
  }
}

bool MainWindow::viewCommand(int id) {
  DocumentFrame* c = activeChild();
  if (c == nullptr) return false;
  c->view()->command(id);
  c->refresh();
  return true;
}

void MainWindow::buildMenus() {
  QMenu* file = menuBar()->addMenu(Tivola::tr("&File"));
  file->addAction(Tivola::tr("&Open...\tCtrl+O"), this, [this] { app_.fileOpen(); });
  file->addAction(Tivola::tr("New Scan"), this, [this] { app_.newScan(); });
  QAction* fileClose = file->addAction(Tivola::tr("&Close"), this, [this] {
    if (DocumentFrame* c = activeChild()) c->close();
  });
  fileClose->setObjectName(QString::number(ID_FILE_CLOSE));
  // The document's commands, enabled by its rules whenever the menu opens.
  using Scope = CTivolaDoc::Scope;
  QAction* save = file->addAction(Tivola::tr("&Save"), this, [this] {
    documentCommand([this](DocumentFrame& c) { c.document().save(app_.settings, app_.workRoot.string(), this); });
  });
  QAction* replica = file->addAction(Tivola::tr("Save &Replica..."), this, [this] {
    documentCommand([this](DocumentFrame& c) {
      c.document().saveReplica(Scope::All, Tivola::tr("Save Replica"), app_.settings, app_.workRoot.string(), this);
    });
  });
  QAction* selected = file->addAction(Tivola::tr("Save Se&lected Image..."), this, [this] {
    documentCommand([this](DocumentFrame& c) {
      c.document().saveReplica(Scope::Selected, Tivola::tr("Save Selected"), app_.settings, app_.workRoot.string(),
                               this);
    });
  });
  QAction* current =
      file->addAction(Tivola::tr("Save Curren&t Image..."), this, [this] { viewCommand(ID_SAVE_CURRENT); });
  current->setObjectName(QString::number(ID_SAVE_CURRENT));
  file->addAction(Tivola::tr("Op&en and Add Image..."), this, [this] {
    documentCommand([this](DocumentFrame& c) { app_.openAndAdd(c.document()); });
  });
  QAction* addScan = file->addAction(Tivola::tr("&Add Scan..."), this, [this] {
    documentCommand([](DocumentFrame& c) { c.document().addScan(); });
  });
  QAction* csv = file->addAction(Tivola::tr("Save ROI to CS&V file..."), this, [this] {
    documentCommand([this](DocumentFrame& c) {
      QString path = platform::qt::prompt().saveFileName(this, Tivola::tr("Save ROI to CSV file"), QString(),
                                                         Tivola::tr("CSV files(*.csv)"));
      if (path.isEmpty()) return;
      // The dialog's default extension, for a name typed without one.
      if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".csv");
      c.document().saveRoiToCsv(path.toStdString(), app_.settings.value == 1, this);
    });
  });
  csv->setObjectName(QString::number(ID_SAVE_ROI_TO_CSV));
  file->addSeparator();
  QAction* print = file->addAction(menuText(ID_FILE_PRINT), this, [this] { viewCommand(ID_FILE_PRINT); });
  print->setObjectName(QString::number(ID_FILE_PRINT));
  print->setShortcut(QKeySequence(QStringLiteral("Ctrl+P")));
  connect(file, &QMenu::aboutToShow, this, [=, this] {
    DocumentFrame* c = activeChild();
    save->setEnabled(c && c->document().canSave());
    replica->setEnabled(c && c->document().canSaveReplica());
    for (QAction* a : {fileClose, selected, current, addScan, print}) a->setEnabled(c != nullptr);
    csv->setEnabled(c && c->document().canSaveRoiToCsv());
  });
  file->addAction(Tivola::tr("&Options..."), this, [this] { app_.option(); });
  file->addSeparator();
  file->addAction(Tivola::tr("E&xit"), this, [this] { close(); });

  // The view's commands reach the active view; the frame's its palettes.
  struct Item {
    int id;
    const char* keys;
  };
  const auto addMenu = [this](const QString& title, std::initializer_list<Item> items, bool ofView) {
    QMenu* menu = menuBar()->addMenu(title);
    for (const Item& item : items) {
      if (item.id == 0) {
        menu->addSeparator();
        continue;
      }
      const int id = item.id;
      QAction* a = menu->addAction(menuText(id), this, [this, id, ofView] {
        if (ofView) viewCommand(id);
        else command(id);
      });
      a->setObjectName(QString::number(id));
      if (item.keys) a->setShortcut(QKeySequence(QString::fromLatin1(item.keys)));
    }
    connect(menu, &QMenu::aboutToShow, this, [this, menu, ofView] {
      DocumentFrame* c = activeChild();
      for (QAction* a : menu->actions()) {
        const int id = a->objectName().toInt();
        if (id == 0) continue;
        const bool checked = ofView ? c && c->view()->commandChecked(id) : commandChecked(id);
        a->setCheckable(checked || a->isCheckable());
        a->setChecked(checked);
        if (ofView) a->setEnabled(c && c->view()->commandEnabled(id));
      }
    });
    return menu;
  };
  addMenu(Tivola::tr("&Edit"),
          {{ID_EDIT_COPY, "Ctrl+C"},
           {ID_EDIT_SELECT_WHOLE, nullptr},
           {ID_EDIT_UNDO, "Ctrl+Z"},
           {ID_CANCEL_ROI, nullptr},
           {0, nullptr},
           {ID_SELECT_ALL_VIEWS, "Ctrl+A"},
           {ID_UNSELECT_ALL_VIEWS, "Ctrl+R"},
           {0, nullptr},
           {ID_COPY_ATTRIBUTES, nullptr},
           {ID_PASTE_ATTRIBUTES, nullptr},
           {ID_EDIT_STUDY, nullptr}},
          true);
  addMenu(Tivola::tr("&Image"),
          {{ID_FLIP_HORIZONTAL, nullptr},
           {ID_FLIP_VERTICAL, nullptr},
           {ID_ROTATE_CW, nullptr},
           {ID_ROTATE_CCW, nullptr},
           {ID_CUT, "Ctrl+X"},
           {0, nullptr},
           {ID_DISPLAY_WHOLE, nullptr},
           {ID_DISPLAY_MARQUEE, nullptr},
           {ID_PIXEL_TO_PIXEL, nullptr},
           {ID_OPTIMIZE_TONECURVE, nullptr},
           {ID_CLEAR_SHARPNESS, nullptr}},
          true);
  QMenu* views = addMenu(Tivola::tr("&View"),
                         {{ID_MAXIMUM_VIEWS, nullptr},
                          {ID_SHOW_CURRENT_ONLY, nullptr},
                          {ID_DUPLICATE_CURRENT, nullptr},
                          {ID_JUMP_FIRST, nullptr},
                          {ID_JUMP_LAST, nullptr},
                          {0, nullptr},
                          {ID_SHOW_IMAGE_NAME, nullptr},
                          {ID_STUDY_DATA, nullptr},
                          {0, nullptr}},
                         true);
  QMenu* layout = views->addMenu(Tivola::tr("&Layout"));
  std::vector<int> layouts;
  for (const LayoutCommand& l : layoutCommands()) layouts.push_back(l.id);
  layouts.push_back(ID_LAYOUT_SPECIFY);
  for (const int id : layouts)
    layout->addAction(menuText(id), this, [this, id] { viewCommand(id); })->setObjectName(QString::number(id));
  addMenu(Tivola::tr("&Window"),
          {{ID_HIDE_INFO, nullptr},
           {ID_SHORT_INFO, nullptr},
           {ID_FULL_INFO, nullptr},
           {ID_OVERVIEW_WINDOW, nullptr},
           {ID_HORIZONTAL_PROFILE, nullptr},
           {ID_VERTICAL_PROFILE, nullptr},
           {0, nullptr},
           {ID_TOOL_HAND, "F1"},
           {ID_TOOL_RECTANGLE, "F2"},
           {ID_TOOL_ZOOM, "F3"},
           {ID_TOOL_TONE, "F4"},
           {ID_TOOLBOX, nullptr},
           {0, nullptr},
           {ID_FIND, nullptr}},
          false);
  QMenu* help = menuBar()->addMenu(Tivola::tr("&Help"));
  help->addAction(Tivola::tr("&About Tivola..."), this, [this] { app_.about(); });
}

}  // namespace viewer::app
