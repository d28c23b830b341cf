// The project reader on hostile input: huge counts in short files, control
// bytes. Each ends in a clear stop, quickly and without large allocations.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "input/read_data.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

class ReadDataHostile : public PedkinTest {
 protected:
  void SetUp() override {
    PedkinTest::SetUp();
    variables.displayq = 0;
    variables.inputfilename = "project.dat";
  }

  static std::string Header(const std::string& sample, const std::string& loci) {
    return "data\nhostile\n" + sample + "\n" + loci +
           "\n1\n0\n2\n0\n0\n0 0\n0\n0\n0\n0\n1\n1\n0\n100\n0\n1\n1\n";
  }

  std::string StopText(const std::string& text) {
    WriteFile("project.dat", text);
    return ExpectStop([] { ReadData(); });
  }
};

std::string DataError(const std::string& message, const std::string& dataset = "hostile") {
  return DataErrorText(message, dataset);
}

const char* const kMarkers = "MK@\n0@\n0.01@\n0.01@\n";

TEST_F(ReadDataHostile, LargestSampleWithFewLinesStopsAtTheFirstMissingLine) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(StopText(Header("32767", "2") + kMarkers + "A 1 2 1 1\nB 1 1 2 2\n"),
            DataError("Data or data format error in IDs and genotypes of offspring: 3"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(ReadDataHostile, HugeLocusCountWithCompactMarkersStopsOnTheFirstOffspring) {
  // Nearly a billion loci given by "@" items: nothing per locus may be
  // built before a genotype line shows that the file holds them.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(StopText(Header("3", "999999999") + kMarkers + "A 1 2 1 1\nB 1 1 2 2\n"),
            DataError("Data or data format error in IDs and genotypes of offspring: 1"));
  EXPECT_EQ(StopText(Header("3", "999999999") + "MK@\n1@\n0.01@\n0.01@\n" + "A 1 2 1 1\nB 1 1 2 2\n"),
            DataError("Data or data format error in IDs and genotypes of offspring: 1"));
  // Names that 20 characters cannot keep apart are not listed for a count
  // that the file cannot hold either.
  EXPECT_EQ(StopText(Header("3", "999999999") + "ABCDEFGHIJKLMNO@\n0@\n0.01@\n0.01@\nA 1 2\n"),
            DataError("Data or data format error in IDs and genotypes of offspring: 1"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(ReadDataHostile, HugeCountsStopOnTheListsTheyCount) {
  EXPECT_EQ(StopText(Header("3", "999999999") + "M1 M2 M3\n"), DataError("Error in reading Marker IDs"));
  std::string text = Header("3", "2");
  text.replace(text.find("\n0\n1\n1\n0\n100"), 14, "\n1\n999999@\n1 2 3\n0.2 0.3 0.5\n1\n1\n0\n100");
  EXPECT_EQ(StopText(text), DataError("Error in reading population alleles & frequencies per locus"));
  const std::string body = Header("2", "1") + "MK@\n0@\n0@\n0@\nA 1 2\nB 1 1\n0.5 0.5\n0 0\n";
  EXPECT_EQ(StopText(body + "2147483647 0\n"), DataError("Error in reading known paternity"));
  EXPECT_EQ(StopText(body + "0 0\n0 0\n999999999\n"), DataError("Error in reading known paternal sibship"));
  EXPECT_EQ(StopText(body + "0 0\n0 0\n0\n0\n999999999\nA 0\n"), DataError("Error in reading known excluded paternity"));
  EXPECT_EQ(StopText(body + "0 0\n0 0\n0\n0\n0\n0\n1\nA 999999999 B\n"),
            DataError("Error in reading known excluded paternal sibship"));
  EXPECT_EQ(StopText(body + "0 0\n0 0\n0\n0\n0\n0\n0\n-2147483647\n"),
            DataError("Error in reading known excluded maternal sibship"));
}

TEST_F(ReadDataHostile, ControlBytesAreShownAsQuestionMarksAndRefusedInTheOutputName) {
  std::string text = Header("3", "2");
  text.replace(text.find("\n2\n1\n0\n2"), 3, std::string("\n2\0x\n", 5));
  EXPECT_EQ(StopText(text),
            DataError("Error in reading line 4, Number of Loci. It must be an integer. But it reads \"2?x\""));
  ResetState();
  variables.displayq = 0;
  variables.inputfilename = "project.dat";
  text = Header("3", "2");
  text.replace(0, 12, std::string("data\n\"bad\x01name\"\n"));
  EXPECT_EQ(StopText(text),
            "Error in project name or path: bad?name\nProgram stopped in subroutine ReadData, dataset = bad?name.\n");
}

TEST_F(ReadDataHostile, EmptyFiles) {
  EXPECT_EQ(StopText(""), DataError("Error in reading line 1, Dataset Name", ""));
  EXPECT_EQ(StopText("\n\n   \n\r\n"), DataError("Error in reading line 1, Dataset Name", ""));
  EXPECT_EQ(StopText(std::string(1000, '\0')), DataError("Error in reading line 2, Output File Name", ""));
}

TEST_F(ReadDataHostile, LargeSnpProjectIsReadWhole) {
  const int nind = 300, nloci = 2000;
  std::string text = Header(std::to_string(nind), std::to_string(nloci)) + "SNP@\n0@\n0.01@\n1e-3@\n";
  std::mt19937 rng(3);
  for (int i = 1; i <= nind; ++i) {
    text += "Ind" + std::to_string(i);
    for (int l = 0; l < nloci; ++l) {
      text += ' ';
      text += static_cast<char>('0' + rng() % 3);
      text += ' ';
      text += static_cast<char>('1' + rng() % 2);
    }
    text += '\n';
  }
  text += "0.5 0.5\n0 0\n0 0\n0 0\n0\n0\n0\n0\n0\n0\n";
  WriteFile("project.dat", text);
  ReadData();
  EXPECT_EQ(variables.offspringid(nind), "Ind" + std::to_string(nind));
  EXPECT_EQ(variables.markerid(nloci), "SNP" + std::to_string(nloci));
  EXPECT_EQ(variables.indivgtype(nloci).size(), static_cast<std::size_t>(nind));
  EXPECT_DOUBLE_EQ(variables.othererrorrate(7), 0.001);
}

}  // namespace
