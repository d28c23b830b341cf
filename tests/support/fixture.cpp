// Test fixture shared by every suite.
#include "support/fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "input/data_preparation.h"
#include "input/data_process.h"
#include "input/read_data.h"
#include "likelihood/family_likelihood.h"
#include "likelihood/likelihood_setup.h"
#include "search/clusters.h"
#include "runctl/messages.h"
#include "search/cluster_cache.h"
#include "search/pair_screen.h"
#include "state/annealvariables.h"
#include "state/dyadprbvariables.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/setgetgtype.h"
#include "state/simuvariables.h"
#include "state/variables.h"

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

void PedkinTest::SetUp() {
  previous_ = std::filesystem::current_path();
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  scratch_ = std::filesystem::temp_directory_path() /
             ("pedkin_test_" + std::to_string(::getpid()) + "_" + name);
  std::filesystem::remove_all(scratch_);
  std::filesystem::create_directories(scratch_);
  std::filesystem::current_path(scratch_);
  ResetState();
  ResetWallTimeDays();
}

void PedkinTest::ResetState() {
  variables = Variables{};
  likelihoodvar = LikelihoodVar{};
  setgetgtype = SetGetGtype{};
  familyloglvar = FamilyLoglVar{};
  annealvariables = AnnealVariables{};
  dyadprbvariables = DyadPrbVariables{};
  simuvariables = SimuVariables{};
  // Cluster log likelihoods remembered from another data set or model
  // would be taken for this one's, and so would pair partners (found
  // afresh, for no offspring, they are forgotten).
  ClearClusterLogL();
  SetPartners();
  variables.stoppauseseconds = 0;
  variables.ignoredpauseseconds = 0;
}

void PedkinTest::TearDown() {
  std::filesystem::current_path(previous_);
  if (!HasFailure()) std::filesystem::remove_all(scratch_);
}

void PedkinTest::WriteFile(const std::string& name, const std::string& content) {
  std::ofstream out(name, std::ios::binary);
  out << content;
}

std::string PedkinTest::ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool PedkinTest::Exists(const std::string& name) { return std::filesystem::exists(name); }

std::string PedkinTest::ExpectStop(const std::function<void()>& fn, int32_t* code) {
  std::filesystem::remove(kErrorMessageFile);
  try {
    fn();
  } catch (const ErrorStop& stop) {
    if (code != nullptr) *code = stop.code;
    return ReadFile(kErrorMessageFile);
  }
  ADD_FAILURE() << "expected an error stop";
  return std::string();
}

std::string DataErrorText(const std::string& message, const std::string& dataset) {
  return message + "\n\nErrors in DATA. Insufficient data or incorrect format.\n"
                   "Please check DATA and format and then re-run the program\n"
                   "Program stopped in subroutine StopOnDataError, dataset = " + dataset + ".\n";
}

std::string PedkinTest::SourceDir() {
  const char* dir = std::getenv("PEDKIN_SOURCE_DIR");
  return dir != nullptr ? dir : std::string(".");
}

void PedkinTest::PrepareProject(const std::string& name, const std::string& text) {
  WriteFile(name, text);
  variables.inputfilename = name;
  variables.displayq = 0;
  ReadData();
  Initialize();
  DataProcess();
  InitialFsProb(1, 1, variables.numloci);
}

double PedkinTest::ClusterLogL(const std::vector<int16_t>& members) {
  FamilyBuildMembers(members.data(), static_cast<int32_t>(members.size()));
  double logl = 0;
  FamilyLikelihood(logl, -1e300, 1, 0, 0);
  return logl;
}
