// The project-file reader: opens the file and reads its sections in file
// order; the sections themselves are read by the routines of
// read_parameters, read_markers, read_genotypes and read_relationships.
#include "input/read_data.h"

#include <sys/stat.h>

#include <iostream>

#include "input/project_reader.h"
#include "runctl/error_stop.h"
#include "state/variables.h"

void ProjectReader::Begin(const std::string& errorline) {
  variables.errmsg(1) = errorline;
  file.BeginRead();
}

std::string_view ProjectReader::Item() {
  std::string_view item;
  if (!file.NextItem(item)) Fail();
  return item;
}

int32_t ProjectReader::IntItem(int maxdigits) {
  const auto value = ParseInteger(Item(), maxdigits);
  if (!value) Fail();
  return *value;
}

double ProjectReader::RealItem() {
  const auto value = ParseReal(Item());
  if (!value) Fail();
  return *value;
}

void ProjectReader::Fail() const { StopOnDataError(variables.errmsg(1)); }

uint64_t ProjectReader::AlleleItemCount() const {
  const uint64_t nloci = static_cast<uint64_t>(std::max(variables.numloci, 0));
  if (dominant.uniform) return nloci * (dominant.value != 0 ? 1 : 2);
  uint64_t n = 0;
  for (int8_t d : dominant.values) n += d != 0 ? 1 : 2;
  return n;
}

std::size_t ProjectReader::LinesThatFit(uint64_t items) const {
  return static_cast<std::size_t>(file.Size() / (2 * std::max<uint64_t>(items, 1)) + 1);
}

std::string Printable(std::string_view text, std::size_t maxlen) {
  std::string out(text.substr(0, std::min(text.size(), maxlen)));
  for (char& c : out) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '?';
  }
  return out;
}

std::string SexName(int32_t sex) { return sex == 1 ? "male" : "female"; }

std::string ParentLetter(int32_t sex) { return sex == 1 ? "p" : "m"; }

void InputWarning(const std::string& line) {
  variables.inputwarnings.push_back(line);
  if (variables.displayq != 0 && variables.threadid == 0) std::cout << line << '\n';
}

void ReadData() {
  if (variables.displayq != 0) {
    std::cout << "Opening & reading data input file: " << variables.inputfilename << '\n';
  }
  variables.inputwarnings.clear();
  ProjectReader reader;
  if (!reader.file.Open(variables.inputfilename)) {
    const std::string& name = variables.inputfilename;
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) StopWithMessage("Input file " + name + " does not exist!", "ReadData");
    if (S_ISDIR(st.st_mode)) StopWithMessage("Input file " + name + " is a directory, not a project file!", "ReadData");
    StopWithMessage("Input file " + name + " cannot be read!", "ReadData");
  }
  ReadRunParameters(reader);  // with the known allele frequencies after line 14
  ReadMarkers(reader);
  ReadOffspring(reader);
  ReadCandidates(reader);
  PrepareRelationshipTables();
  for (int32_t sex = 1; sex <= 2; ++sex) ReadKnownParentage(reader, sex);
  for (int32_t sex = 1; sex <= 2; ++sex) ReadKnownSibships(reader, sex);
  for (int32_t sex = 1; sex <= 2; ++sex) ReadExcludedParentage(reader, sex);
  for (int32_t sex = 1; sex <= 2; ++sex) ReadExcludedSibships(reader, sex);
  reader.file.Close();
  // The error line of the last read must not turn up in a later stop.
  variables.errmsg(1).clear();
}
