// Run options from the process command line: three-letter codes, a colon
// and a value (IFN:project.dat, RND:1234, ...). Nothing on the command line
// stops the program: a bad argument is reported and ignored.
#include "runctl/command_line.h"

#include <cctype>
#include <cstdint>
#include <iostream>
#include <limits>
#include <optional>
#include <set>
#include <string>

#include "runctl/messages.h"
#include "state/variables.h"

namespace {

// Reads an integer the way a list-directed read of the first 12 characters
// of the value would: leading blanks skipped, the item ends at a blank or a
// comma, and it must be an optional sign and digits that fit in 32 bits.
std::optional<int32_t> ReadOptionInteger(const std::string& value) {
  const std::string field = value.substr(0, 12);
  std::size_t i = field.find_first_not_of(' ');
  if (i == std::string::npos) return std::nullopt;
  std::size_t end = field.find_first_of(" ,", i);
  const std::string item = field.substr(i, end == std::string::npos ? std::string::npos : end - i);
  std::size_t k = 0;
  bool negative = false;
  if (k < item.size() && (item[k] == '+' || item[k] == '-')) negative = item[k++] == '-';
  if (k == item.size()) return std::nullopt;
  int64_t v = 0;
  for (; k < item.size(); ++k) {
    if (!std::isdigit(static_cast<unsigned char>(item[k]))) return std::nullopt;
    v = v * 10 + (item[k] - '0');
    if (v > static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1) return std::nullopt;
  }
  if (negative) v = -v;
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(v);
}

std::string LeftAdjust(const std::string& s) {
  std::size_t i = s.find_first_not_of(' ');
  return i == std::string::npos ? std::string() : s.substr(i);
}

void Show(const std::string& line) {
  if (variables.displayq != 0) std::cout << line << '\n';
}

const std::set<std::string> kIntegerCodes = {"TID", "CHK", "RND", "RST", "CKM", "GUI",
                                             "ARC", "ERR", "AFE", "SYS", "SIM"};
const std::set<std::string> kTextCodes = {"IFN", "RCS", "OFN"};

void ApplyText(const std::string& code, const std::string& value) {
  if (code == "IFN") variables.inputfilename = value;
  if (code == "OFN") variables.outputfilename = value;
  if (code == "RCS") variables.runcutshortq = (value == "1") ? 1 : 0;
}

void ApplyInteger(const std::string& code, int32_t v) {
  if (code == "TID") {
    variables.screenq = 0;
    variables.displayq = (v == 0) ? 1 : 0;
  } else if (code == "CHK") {
    variables.chkconfig = v;
  } else if (code == "RND") {
    variables.newseed = v;
  } else if (code == "RST") {
    variables.restart = v;
  } else if (code == "CKM") {
    variables.checkmode = v;
  } else if (code == "GUI") {
    variables.igui = v;
  } else if (code == "ARC") {
    variables.iarchive = v;
  } else if (code == "ERR") {
    variables.errestimate = v;
  } else if (code == "AFE") {
    variables.allelefreest = v;
  } else if (code == "SYS") {
    variables.systemrun = v;
  } else if (code == "SIM") {
    variables.simuq = (v > 0) ? 1 : 0;
  }
}

}  // namespace

void GetCommands() {
  Variables& v = variables;
  // Defaults (the test-reset instance already holds them; a second call
  // must not keep options of an earlier command line).
  v.inputfilename = "pedkin2.dat";
  v.outputfilename.clear();
  v.runcutshortq = 0;
  v.chkconfig = 0;
  v.newseed = 0;
  v.restart = 1;
  v.checkmode = 0;
  v.igui = 0;
  v.iarchive = 1;
  v.errestimate = 1;
  v.allelefreest = 1;
  v.systemrun = 0;
  v.simuq = 0;
  v.displayq = (v.threadid == 0) ? 1 : 0;
  v.screenq = 1;

  std::set<std::string> seen;
  bool ignored = false;
  const std::size_t nargs = std::min<std::size_t>(v.commandargs.size(), 999);
  for (std::size_t a = 0; a < nargs; ++a) {
    const std::string& arg = v.commandargs[a];
    if (arg.empty()) break;
    const std::string trimmed = TrimRight(LeftAdjust(arg));
    const bool isoption = trimmed.size() >= 4 && trimmed[3] == ':';
    const std::string code = isoption ? trimmed.substr(0, 3) : std::string();
    if (!isoption || (kIntegerCodes.count(code) == 0 && kTextCodes.count(code) == 0)) {
      ignored = true;
      if (trimmed != "?") Show("Run option " + trimmed + " unrecognized: ignored!");
      continue;
    }
    const std::string value = LeftAdjust(trimmed.substr(4));
    if (!seen.insert(code).second) {
      ignored = true;
      Show("Repeated parameter values from keyboard! Original input: " + trimmed +
           ". The command is ignored!");
      continue;
    }
    if (kTextCodes.count(code) != 0) {
      ApplyText(code, value);
      continue;
    }
    const std::optional<int32_t> number = ReadOptionInteger(value);
    if (!number) {
      ignored = true;
      Show("Error in reading parameters from keyboard! Original input: " + code + ":" + value +
           ". The command is ignored!");
      continue;
    }
    ApplyInteger(code, *number);
  }
  if (ignored) Sleeping(v.ignoredpauseseconds);

  if (v.screenq != 0 && v.displayq != 0) {
    v.showq = (v.igui == 1) ? 0 : 1;
  } else {
    v.screenq = 0;
    v.showq = 0;
  }
  v.lineform = (v.igui == 1) ? Variables::LineForm::Advance : Variables::LineForm::NoAdvance;
}
