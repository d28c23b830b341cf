// Data processing after reading: observed frequencies against a count from
// the text, allele order, and the checks of known and excluded relationships.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "genotype/genotype_codes.h"
#include "input/data_preparation.h"
#include "input/data_process.h"
#include "input/read_data.h"
#include "likelihood/likelihood_setup.h"
#include "state/likelihoodvar.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

// A project of four loci: two microsatellites, a SNP whose first-seen
// allele is the rarer one, and a dominant marker.
struct Project {
  std::string params = "3 0.01@ 0.01@";
  std::vector<std::string> offspring = {
      "O1 120 124 7 8 1", "O2 120 120 8 8 2", "O3 124 130 8 8 1", "O4 130 0 7 8 2", "O5 124 124 8 8 1",
  };
  std::vector<std::string> fathers = {"F1 120 130 8 8 1", "O2 120 120 8 8 2"};  // O2 is also a candidate
  std::vector<std::string> mothers = {"M1 124 124 8 7 2"};
  std::string knownfreq;  // the block after line 14, when frequencies are known
  std::string matings = "0 0";
  std::string dropout = "0.01@";
  std::string relationships = "0 0\n0 0\n0\n0\n0\n0\n0\n0\n";

  std::string Text() const {
    std::ostringstream s;
    s << "'dp test'\nproj\n" << offspring.size() << "\n3\n77\n0\n2\n0\n0\n" << matings << "\n0\n0\n0\n"
      << (knownfreq.empty() ? "0\n" : "1\n" + knownfreq) << "1\n1\n0\n1000\n0\n1\n1\n"
      << "MK@\n0 0 1\n" << dropout << "\n0.02@\n";
    for (const auto& o : offspring) s << o << "\n";
    s << "0.5 0.5\n" << fathers.size() << " " << mothers.size() << "\n";
    for (const auto& f : fathers) s << f << "\n";
    for (const auto& m : mothers) s << m << "\n";
    s << relationships;
    return s.str();
  }
};

class DataProcessTest : public PedkinTest {
 protected:
  void Read(const Project& p) { Read(p.Text()); }
  void Read(const std::string& text) {
    WriteFile("proj.dat", text);
    variables.inputfilename = "proj.dat";
    variables.displayq = 0;
    ReadData();
    Initialize();
  }
};

TEST_F(DataProcessTest, ObservedFrequenciesMatchAnIndependentCount) {
  Project p;
  Read(p);
  DataProcess();
  std::vector<std::map<int, double>> counts(2);
  std::vector<std::string> lines = p.offspring;
  lines.push_back(p.fathers[0]);
  lines.push_back(p.mothers[0]);
  for (const auto& line : lines) {
    std::istringstream in(line);
    std::string id;
    int a[5];
    in >> id >> a[0] >> a[1] >> a[2] >> a[3] >> a[4];
    for (int l = 0; l < 2; ++l) {
      if (a[2 * l] > 0 && a[2 * l + 1] > 0) {
        counts[static_cast<std::size_t>(l)][a[2 * l]] += 1;
        counts[static_cast<std::size_t>(l)][a[2 * l + 1]] += 1;
      }
    }
  }
  for (int32_t l = 1; l <= 2; ++l) {
    double total = 0;
    for (const auto& [name, c] : counts[static_cast<std::size_t>(l - 1)]) total += c;
    const auto& names = variables.rawalleleid(l);
    ASSERT_EQ(likelihoodvar.obsnumallele(l), static_cast<int32_t>(counts[static_cast<std::size_t>(l - 1)].size()));
    for (std::size_t a = 0; a < names.size(); ++a) {
      EXPECT_DOUBLE_EQ(likelihoodvar.obsallelefre(l)[a], counts[static_cast<std::size_t>(l - 1)][names[a]] / total)
          << "locus " << l << " allele " << names[a];
    }
  }
  // The SNP: 7 was seen first but 8 is the more frequent, so 8 is allele 1.
  EXPECT_EQ(variables.rawalleleid(2), (std::vector<int32_t>{8, 7}));
  EXPECT_GT(likelihoodvar.obsallelefre(2)[0], likelihoodvar.obsallelefre(2)[1]);
  EXPECT_EQ(likelihoodvar.obsnumallele(3), 2);
  // The candidate O2 is linked to the offspring O2.
  EXPECT_EQ(variables.offspringincnd(2, 1), 2);
  EXPECT_EQ(variables.cndinoffspring(1)(2), 2);

}

TEST_F(DataProcessTest, DominantFrequencyFromRecessiveShare) {
  // 36 of 100 typed individuals recessive: q = 0.6 without dropout; with
  // D = 1 the equation reduces to q = f.
  for (const auto& [rate, expected] : std::vector<std::pair<std::string, double>>{{"0", 0.6}, {"1", 0.36}}) {
    Project p;
    p.offspring.clear();
    for (int i = 1; i <= 100; ++i) p.offspring.push_back("O" + std::to_string(i) + " 120 124 7 8 " + (i <= 36 ? "2" : "1"));
    p.fathers = {"F1 120 130 8 8 0"};
    p.mothers = {"M1 124 124 8 7 0"};
    p.dropout = "0 0 " + rate;
    ResetState();
    Read(p);
    DataProcess();
    EXPECT_NEAR(likelihoodvar.obsallelefre(3)[1], expected, 1e-12) << "dropout " << rate;
    EXPECT_NEAR(likelihoodvar.obsallelefre(3)[0], 1 - expected, 1e-12);
  }
}

// Knowledge that cannot all hold, or alleles the known frequencies lack, stop
// before the search; a known sibship shares its members' known parents.
TEST_F(DataProcessTest, ContradictoryKnowledgeStops) {
  struct Case {
    std::string matings, relationships, message, knownfreq = "";
  };
  const std::string data = "\n\nErrors in DATA. Insufficient data or incorrect format.\n"
                           "Please check DATA and format and then re-run the program\n"
                           "Program stopped in subroutine StopOnDataError, dataset = proj.\n";
  const std::vector<Case> cases = {
      {"0 0", "1 9\nO1 F1\n0 0\n0\n0\n1\nO1 1 F1\n0\n0\n0\n",
       "Data error! Offspring O1 has a known father listed as excluded!\n"
       "Program stopped in subroutine DataProcess, dataset = proj.\n"},
      {"0 0", "2 9\nO3 F1\nO4 O2\n0 0\n1\n2 O3 O4\n0\n0\n0\n0\n0\n",
       "Offspring O3 and O4 of known paternal sibship 1 have different known fathers, F1 and O2!" + data},
      {"0 0", "1 9\nO3 F1\n0 0\n1\n2 O3 O4\n0\n1\nO4 1 F1\n0\n0\n0\n",
       "Known father F1 of offspring O3 is excluded for offspring O4 of the same known paternal sibship 1!" + data},
      {"0 0", "0 0\n0 0\n0\n1\n2 O1 O2\n0\n0\n0\n1\nO2 1 O1\n",
       "Offspring O2 and O1 are both in known maternal sibship 1 and excluded as maternal sibs!" + data},
      {"0 0", "0 0\n2 9\nO1 M1\nO5 M1\n0\n0\n0\n0\n0\n1\nO5 1 O1\n",
       "Offspring O5 and O1 have the same known mother, M1, and are excluded as maternal sibs!" + data},
      {"1 1", "2 9\nO1 F1\nO2 F1\n2 9\nO1 M1\nO2 M2\n0\n0\n0\n0\n0\n0\n",
       "Known father F1 mates two known mothers, M1 (offspring O1) and M2 (offspring O2), but fathers are "
       "monogamous!" + data},
      {"0 1", "2 9\nO1 F1\nO3 O2\n2 9\nO1 M2\nO4 M2\n0\n1\n2 O3 O4\n0\n0\n0\n0\n",
       "Known mother M2 mates two known fathers, F1 (offspring O1) and O2 (offspring O3), but mothers are "
       "monogamous!" + data},
      {"0 0", "0 0\n0 0\n0\n0\n0\n0\n0\n0\n",
       "Allele   130 at locus   1 is found in the sample but absent from the population!\n"
       "Program stopped in subroutine DataProcess, dataset = proj.\n",
       "5 2 2\n120 124 131 140 150\n0.2 0.2 0.2 0.2 0.2\n7 8\n0.5 0.5\n1 2\n0.5 0.5\n"},
      {"1 1", "1 9\nO3 F1\n1 9\nO4 M2\n1\n2 O3 O4\n0\n1\nO5 1 F1\n0\n0\n1\nO1 1 O3\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.relationships);
    ResetState();
    variables.stoppauseseconds = 0;
    Project p;
    p.mothers.push_back("M2 130 130 7 7 1");
    p.matings = c.matings;
    p.relationships = c.relationships;
    p.knownfreq = c.knownfreq;
    Read(p);
    if (c.message.empty()) {
      DataProcess();
    } else {
      EXPECT_EQ(ExpectStop([] { DataProcess(); }), c.message);
    }
  }
}

TEST_F(DataProcessTest, KnownFrequencyOfZeroIsRaised) {
  Project p;
  p.knownfreq = "4 2 2\n120 124 130 140\n0.5 0.3 0 0.2\n7 8\n0.5 0.5\n1 2\n0.4 0.6\n";
  Read(p);
  variables.displayq = 1;
  ::testing::internal::CaptureStdout();
  DataProcess();
  const std::string shown = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(shown.find("Allele   130 at locus   1 is found in the sample but has a known freqency of 0!\n"
                       "Its frequency is now reset to 0.001"),
            std::string::npos);
  // Observed alleles take their known frequencies, rescaled to sum to 1.
  const auto& names = variables.rawalleleid(1);
  std::map<int, double> known = {{120, 0.5}, {124, 0.3}, {130, 0.001}};
  for (std::size_t a = 0; a < names.size(); ++a) {
    EXPECT_NEAR(likelihoodvar.obsallelefre(1)[a], known[names[a]] / 0.801, 1e-12);
  }
  EXPECT_NEAR(likelihoodvar.obsallelefre(3)[1], 0.6, 1e-12);
}

TEST_F(DataProcessTest, StaleSelfingFrequenciesAreNotTrusted) {
  Project p;
  std::string text = p.Text();
  text.replace(text.find("\n2\n0\n0\n0 0\n"), 11, "\n1\n1\n0\n0 0\n");  // monoecious with inbreeding
  text.replace(text.find("\n2 1\n"), 5, "\n1 1\n");
  text.replace(text.find("O2 120 120 8 8 2\nM1"), 19, "M1");
  text.replace(text.find("M1 124 124 8 7 2\n"), 17, "F1 120 130 8 8 1\n");
  Read(text);
  WriteFile("proj.InbAlleleFr", "1 2 0.5 0.5\n2 2 0.5 0.5\n3 2 0.5 0.5\n");
  DataProcess();
  ASSERT_EQ(likelihoodvar.obsallelefre(1).size(), 3u);
  const std::string saved = ReadFile("proj.InbAlleleFr");
  EXPECT_EQ(saved.substr(0, 4), "1 3 ");
  double sum = 0;
  for (double x : likelihoodvar.obsallelefre(1)) sum += x;
  EXPECT_NEAR(sum, 1.0, 1e-12);
}

}  // namespace
