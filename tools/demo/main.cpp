// The scripted demo: both roads from the simulated scanners into the viewer,
// offscreen, each in a process of its own started from a demo tree.
//   ndt-demo install TREE real|standin   make a demo tree from this program's build
//   ndt-demo run TREE                    make a tree with the stand-in CR program, run both roads, print what they left
//   ndt-demo road film|cr                one road, in a tree's program directory
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/process.h"
#include "tools/demo/cr_plate.h"
#include "tools/demo/roads.h"
#include "tools/demo/tree.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kProgram = "ndt-demo";

int usage() {
  std::fprintf(stderr, "usage: %s install TREE real|standin | run TREE | road film|cr\n", kProgram);
  return 2;
}

bool install(const fs::path& root, demo::CrProgram cr) {
  const demo::Tree tree{fs::absolute(root)};
  std::string fault;
  const fs::path bin = platform::paths::programDir();
  if (!demo::installTree(bin, NDT_DEMO_STANDIN, tree, cr, &fault)) {
    std::fprintf(stderr, "%s: %s\n", kProgram, fault.c_str());
    return false;
  }
  std::error_code ec;
  fs::copy_file(bin / kProgram, tree.bin() / kProgram, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    std::fprintf(stderr, "%s: cannot copy the demo program: %s\n", kProgram, ec.message().c_str());
    return false;
  }
  return true;
}

// One road in its own process, from the tree, on its simulated scanner.
bool runRoad(const demo::Tree& tree, const char* road, const char* usb) {
  for (const auto& [name, value] : demo::treeEnvironment(tree, usb)) ::setenv(name.c_str(), value.c_str(), 1);
  ::setenv(demo::plate::kResultsVariable, tree.results().c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  platform::Process child;
  if (!child.start(tree.bin() / kProgram, {"road", road}, tree.work())) {
    std::fprintf(stderr, "%s: cannot start the %s road\n", kProgram, road);
    return false;
  }
  const platform::ProcessExit exit = child.wait();
  return exit.kind == platform::ProcessExit::Kind::Exited && exit.code == 0;
}

int road(int argc, char** argv, const std::string& which) {
  QApplication application(argc, argv);
  const demo::Tree tree{platform::paths::programDir().parent_path()};
  const demo::RoadRun run = which == "film" ? demo::filmRoad(tree) : demo::crRoad(tree);
  for (const demo::Left& left : run.left) std::printf("  %-52s %s\n", left.what.c_str(), left.where.c_str());
  if (which == "cr") {
    std::printf("  %-52s %s\n", "the CR program's window after the scan",
                (tree.results() / demo::plate::kScreenshot).c_str());
  }
  for (const std::string& asked : run.asked) std::printf("  the viewer asked: %s\n", asked.c_str());
  if (!run.fault.empty()) {
    std::fprintf(stderr, "%s: the %s road failed: %s\n", kProgram, which.c_str(), run.fault.c_str());
    const fs::path crFault = tree.results() / demo::plate::kFault;
    std::error_code ec;
    if (which == "cr" && fs::exists(crFault, ec)) std::fprintf(stderr, "%s: see %s\n", kProgram, crFault.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "install" && (args[2] == "real" || args[2] == "standin"))
    return install(args[1], args[2] == "real" ? demo::CrProgram::Real : demo::CrProgram::StandIn) ? 0 : 1;
  if (args.size() == 2 && args[0] == "road" && (args[1] == "film" || args[1] == "cr")) return road(argc, argv, args[1]);
  if (args.size() == 2 && args[0] == "run") {
    if (!install(args[1], demo::CrProgram::StandIn)) return 1;
    const demo::Tree tree{fs::absolute(args[1])};
    std::printf("The film road: the viewer, the film-scan dialog and the simulated film digitizer\n");
    std::fflush(stdout);
    const bool film = runRoad(tree, "film", "sim:film");
    std::printf("The CR road: the viewer, the CR program and the simulated CR reader, through the CR link\n");
    std::fflush(stdout);
    const bool cr = runRoad(tree, "cr", "sim:cr");
    std::printf("Everything the two roads left is in %s\n", tree.results().c_str());
    return film && cr ? 0 : 1;
  }
  return usage();
}
