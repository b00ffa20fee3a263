// Scenario files and NDT_USB: the simulated bus described as text.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "simulator/sim.h"

namespace sim {
namespace {

const std::pair<const char*, Fault::Kind> kFaultNames[] = {
    {"status-error", Fault::Kind::StatusError},
    {"error-interrupt", Fault::Kind::ErrorInterrupt},
    {"stall", Fault::Kind::Stall},
    {"stall-unclearable", Fault::Kind::StallUnclearable},
    {"silence", Fault::Kind::Silence},
    {"bad-echo", Fault::Kind::BadEcho},
    {"short-data", Fault::Kind::ShortData},
    {"long-data", Fault::Kind::LongData},
    {"overflow", Fault::Kind::Overflow},
    {"missing-completion", Fault::Kind::MissingCompletion},
    {"unplug-during-command", Fault::Kind::UnplugDuringCommand},
    {"dead-interrupt", Fault::Kind::DeadInterrupt},
    {"host-error-fails", Fault::Kind::HostErrorFails},
    {"not-ready", Fault::Kind::NotReady},
};

// Decimal or 0x-prefixed hexadecimal, whole word, within `max`.
bool number(const std::string& s, long long min, long long max, long long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(s.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || v < min || v > max) return false;
  *out = v;
  return true;
}

bool keyValue(const std::string& word, std::string* key, std::string* value) {
  auto eq = word.find('=');
  if (eq == std::string::npos || eq == 0) return false;
  *key = word.substr(0, eq);
  *value = word.substr(eq + 1);
  return true;
}

class Parser {
 public:
  explicit Parser(Bus& bus) : bus_(bus) {}

  bool line(const std::string& text, std::string* error) {
    std::istringstream in(text);
    std::vector<std::string> w;
    for (std::string s; in >> s;) {
      if (s[0] == '#') break;
      w.push_back(s);
    }
    if (w.empty()) return true;
    error_ = error;
    if (w[0] == "device") return device(w);
    if (w[0] == "at") return at(w);
    Scanner s;
    if (w.size() < 2 || !scanner(w[1], &s)) return fail("a device (index, film or cr) expected");
    if (w[0] == "fault") return fault(s, w);
    if (w[0] == "error") return raise(s, w, 2);
    long long v = 0;
    if (w[0] == "rate") {
      if (w.size() != 3 || !number(w[2], 0, INT64_MAX, &v))
        return fail("rate <device> <bytes per second>");
      s.setRateLimit(std::uint64_t(v));
      return true;
    }
    if (w[0] == "plate") {
      if (w.size() != 3 || !number(w[2], 0, UINT32_MAX, &v)) return fail("plate <device> <blocks>");
      s.endPlateAfter(std::uint32_t(v));
      return true;
    }
    if (w[0] == "seed") {
      if (w.size() != 3 || !number(w[2], 0, UINT32_MAX, &v)) return fail("seed <device> <number>");
      s.setImageSeed(std::uint32_t(v));
      return true;
    }
    if (w[0] == "feeder") {
      std::vector<Film> films;
      for (std::size_t i = 2; i < w.size(); ++i) {
        if (!number(w[i], 1, 7, &v)) return fail("film size codes are 1 to 7");
        films.push_back({std::uint8_t(v)});
      }
      s.setFeeder(films);
      return true;
    }
    if (w[0] == "timing") return timing(s, w);
    return fail("unknown line");
  }

 private:
  bool fail(const std::string& why) {
    if (error_) *error_ = why;
    return false;
  }

  bool scanner(const std::string& name, Scanner* out) {
    auto all = bus_.scanners();
    long long index = 0;
    if (number(name, 0, 1000, &index)) {
      if (std::size_t(index) >= all.size()) return false;
      *out = all[std::size_t(index)];
      return true;
    }
    for (const auto& s : all) {
      bool film = s.config().personality == Personality::Film;
      if ((name == "film" && film) || (name == "cr" && !film)) {
        *out = s;
        return true;
      }
    }
    return false;
  }

  bool device(const std::vector<std::string>& w) {
    if (w.size() < 2 || (w[1] != "film" && w[1] != "cr"))
      return fail("device film|cr [key=value ...]");
    DeviceConfig c = w[1] == "film" ? filmDigitizer() : crReader();
    for (std::size_t i = 2; i < w.size(); ++i) {
      std::string k, v;
      long long n = 0;
      if (!keyValue(w[i], &k, &v) || !number(v, 0, 0xFFFF, &n))
        return fail("key=value expected: " + w[i]);
      auto u = std::uint16_t(n);
      if (k == "product")
        c.productId = u;
      else if (k == "vendor")
        c.vendorId = u;
      else if (k == "bulkOut")
        c.bulkOutPacket = u;
      else if (k == "interrupt")
        c.interruptPacket = u;
      else if (k == "bulkIn")
        c.bulkInPacket = u;
      else if (k == "serial")
        c.serialNumber = u;
      else if (k == "firmware")
        c.firmwareWord = u;
      else
        return fail("unknown device key: " + k);
    }
    bus_.plug(c);
    return true;
  }

  bool fault(Scanner& s, const std::vector<std::string>& w) {
    if (w.size() < 3) return fail("fault <device> <kind> [command= code= bytes= count=]");
    Fault f;
    bool known = false;
    for (const auto& [name, kind] : kFaultNames)
      if (w[2] == name) {
        f.kind = kind;
        known = true;
      }
    if (!known) return fail("unknown fault: " + w[2]);
    for (std::size_t i = 3; i < w.size(); ++i) {
      std::string k, v;
      long long n = 0;
      if (!keyValue(w[i], &k, &v)) return fail("key=value expected: " + w[i]);
      if (k == "command" && number(v, 0, 0xFFFF, &n))
        f.command = std::uint16_t(n);
      else if (k == "code" && number(v, 0, 0xFFFF, &n))
        f.code = std::uint16_t(n);
      else if (k == "bytes" && number(v, 0, UINT32_MAX, &n))
        f.bytes = std::uint32_t(n);
      else if (k == "count" && number(v, -1, INT32_MAX, &n))
        f.count = int(n);
      else
        return fail("bad fault setting: " + w[i]);
    }
    s.arm(f);
    return true;
  }

  // "<code> [text]" from word `at` on: the text is the rest of the line.
  bool errorWords(const std::vector<std::string>& w, std::size_t at, std::uint16_t* code,
                  std::string* text) {
    long long n = 0;
    if (w.size() <= at || !number(w[at], 1, 0xFFFF, &n)) return false;
    *code = std::uint16_t(n);
    text->clear();
    for (std::size_t i = at + 1; i < w.size(); ++i) *text += (text->empty() ? "" : " ") + w[i];
    return true;
  }

  bool raise(Scanner& s, const std::vector<std::string>& w, std::size_t at) {
    std::uint16_t code = 0;
    std::string text;
    if (!errorWords(w, at, &code, &text)) return fail("error <device> <code> [text]");
    s.raiseError(code, text);
    return true;
  }

  bool timing(Scanner& s, const std::vector<std::string>& w) {
    Timing t;
    for (std::size_t i = 2; i < w.size(); ++i) {
      std::string k, v;
      long long n = 0;
      if (!keyValue(w[i], &k, &v) || !number(v, 0, UINT32_MAX, &n))
        return fail("name=ms expected: " + w[i]);
      auto ms = std::uint32_t(n);
      if (k == "ready")
        t.readyDelayMs = ms;
      else if (k == "filmSet")
        t.filmSetMs = ms;
      else if (k == "filmReset")
        t.filmResetMs = ms;
      else if (k == "calibration")
        t.calibrationMs = ms;
      else if (k == "move")
        t.moveMs = ms;
      else if (k == "erase")
        t.erasePhaseMs = ms;
      else if (k == "generic")
        t.genericMs = ms;
      else if (k == "reception")
        t.receptionTimeoutMs = ms;
      else
        return fail("unknown timing: " + k);
    }
    s.setTiming(t);
    return true;
  }

  // at <ms> unplug|plug|error <device> [code [text]]
  bool at(const std::vector<std::string>& w) {
    long long ms = 0;
    Scanner s;
    if (w.size() < 4 || !number(w[1], 0, UINT32_MAX, &ms) || !scanner(w[3], &s))
      return fail("at <ms> unplug|plug|error <device> ...");
    Bus* bus = &bus_;
    if (w[2] == "unplug") {
      bus_.after(std::uint32_t(ms), [bus, s] { bus->unplug(s); });
      return true;
    }
    if (w[2] == "plug") {
      DeviceConfig c = s.config();
      bus_.after(std::uint32_t(ms), [bus, c] { bus->plug(c); });
      return true;
    }
    if (w[2] == "error") {
      std::uint16_t code = 0;
      std::string text;
      if (!errorWords(w, 4, &code, &text)) return fail("at <ms> error <device> <code> [text]");
      bus_.after(std::uint32_t(ms), [s, code, text] { Scanner(s).raiseError(code, text); });
      return true;
    }
    return fail("unknown timed step: " + w[2]);
  }

  Bus& bus_;
  std::string* error_ = nullptr;
};

}  // namespace

bool applyScenario(Bus& bus, const std::string& text, std::string* error) {
  Parser parser(bus);
  std::istringstream in(text);
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    std::string why;
    if (!parser.line(line, &why)) {
      if (error) *error = "line " + std::to_string(number) + ": " + why;
      return false;
    }
  }
  return true;
}

std::shared_ptr<Bus> busFromSpec(const std::string& spec, std::string* error) {
  auto fail = [&](const std::string& why) -> std::shared_ptr<Bus> {
    if (error) *error = why;
    return nullptr;
  };
  if (spec.rfind("sim:", 0) != 0) return fail("not a simulated bus: " + spec);
  std::string rest = spec.substr(4), file;
  if (auto at = rest.find('@'); at != std::string::npos) {
    file = rest.substr(at + 1);
    rest = rest.substr(0, at);
  }
  auto bus = std::make_shared<Bus>();
  std::size_t from = 0;
  while (from <= rest.size()) {
    std::size_t plus = rest.find('+', from);
    std::string name =
        rest.substr(from, plus == std::string::npos ? std::string::npos : plus - from);
    if (name == "film")
      bus->plug(filmDigitizer());
    else if (name == "cr")
      bus->plug(crReader());
    else if (!(name.empty() && rest.empty() && !file.empty()))
      return fail("unknown simulated device: " + name);
    if (plus == std::string::npos) break;
    from = plus + 1;
  }
  if (!file.empty()) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return fail("cannot read scenario file " + file);
    std::ostringstream text;
    text << in.rdbuf();
    std::string why;
    if (!applyScenario(*bus, text.str(), &why)) return fail(file + ": " + why);
  }
  return bus;
}

std::shared_ptr<Bus> busFromEnvironment(std::string* error) {
  const char* value = std::getenv("NDT_USB");
  if (!value || std::string(value).rfind("sim:", 0) != 0) {
    if (error)
      *error =
          value ? std::string("NDT_USB names another backend: ") + value : "NDT_USB is not set";
    return nullptr;
  }
  return busFromSpec(value, error);
}

}  // namespace sim
