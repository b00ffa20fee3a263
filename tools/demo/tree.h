// A demo tree: the suite's programs and libraries side by side in bin/ (the
// CR program in its Halcyone/ folder), with settings, lock files, work and
// results in folders of their own, apart from the user's.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace demo {

enum class CrProgram {
  Real,     // the CR program itself, for an operator
  StandIn,  // the scripted stand-in; the real program beside it answers "-connect"
};

struct Tree {
  std::filesystem::path root;
  std::filesystem::path bin() const { return root / "bin"; }
  std::filesystem::path config() const { return root / "config"; }
  std::filesystem::path runtime() const { return root / "run"; }
  std::filesystem::path work() const { return root / "work"; }
  std::filesystem::path results() const { return root / "results"; }
  std::filesystem::path crFolder() const { return bin() / "Halcyone"; }
};

// The real CR program's name beside the stand-in, which hands it "-connect".
inline constexpr const char* kRealCrProgram = "Halcyone.real";

// Copies from binDir the suite's shared libraries, the TWAIN data source with
// its settings and capability files, the viewer, its translations and the CR
// program (or the stand-in at standIn and the real
// one beside it) into tree.bin(), and writes the CR program's plate sizes and
// scan mode. A previous tree's programs and results are removed first.
// False with *fault when something cannot be copied.
bool installTree(const std::filesystem::path& binDir, const std::filesystem::path& standIn, const Tree& tree,
                 CrProgram cr, std::string* fault);

// The environment of a program run from the tree on the simulated scanners
// that usb names ("sim:film", "sim:cr").
std::map<std::string, std::string> treeEnvironment(const Tree& tree, const std::string& usb);

}  // namespace demo
