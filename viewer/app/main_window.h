// Tivola's main window: the multi-document frame with its palettes and menus,
// and the child frame that holds a document with its view.
#pragma once
#include <filesystem>
#include <functional>
#include <memory>

#include "viewer/app/pipeline.h"
#include "viewer/view/view.h"

namespace viewer::app {

class TivolaApp;

// The child frame of one document: it owns the document, its view shows it.
class DocumentFrame : public view::CChildFrame {
 public:
  DocumentFrame(std::unique_ptr<CTivolaDoc> doc, view::ToolTarget* tools);
  ~DocumentFrame() override;
  CTivolaDoc& document() { return *doc_; }
  // Shows the document's title again (it changes when Save adopts a folder).
  void refresh();
  // A document holding scans that were never saved closes only when the
  // operator agrees to lose them; asked once.
  bool mayClose();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::unique_ptr<CTivolaDoc> doc_;
  bool discardAgreed_ = false;
};

class MainWindow : public view::CMainFrame {
 public:
  // `ini`: the viewer's ini file, whose Window section the frame keeps.
  MainWindow(TivolaApp& app, std::filesystem::path ini);
  ~MainWindow() override;
  // Shows a document that holds at least one image in its own child frame.
  DocumentFrame* addDocument(std::unique_ptr<CTivolaDoc> doc, const QString& title);
  // The active child frame (else the last one), or null.
  DocumentFrame* activeChild() const;

 protected:
  // Exit asks for every document with unsaved scans; a Cancel keeps the program.
  void closeEvent(QCloseEvent* event) override;

 private:
  void documentCommand(const std::function<void(DocumentFrame&)>& command);
  // A command of the active view; false when there is none.
  bool viewCommand(int id);
  void buildMenus();
  TivolaApp& app_;
};

}  // namespace viewer::app
