// Mutation fuzzing of the project-file reader: thousands of damaged
// variants of the example projects must each either be read or end in an
// error stop with a message, never crash, hang or leave files behind.
// Built under AddressSanitizer and UndefinedBehaviorSanitizer by `make test`.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "input/read_data.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

using ReaderFuzzTest = PedkinTest;

// One random damage of the text: the kinds of faults real files show
// (typing slips, cut files, pasted binary, doubled or lost lines).
std::string Mutate(const std::string& text, std::mt19937& rng) {
  std::string s = text;
  auto pick = [&](std::size_t n) {
    return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
  };
  static const char* const tokens[] = {"-1",   "0",    "99999999999999", "32768", "1e309",
                                       "@",    "1@",   "-99",            "\"",    "'",
                                       ",",    ",,,",  "\r\n",           "nan",   "\t",
                                       "2147483648",   "-2147483649",    "abc",   "1.5",
                                       "\n\n", "MK@",  "0.5@",           "\x00\xff"};
  const int edits = 1 + static_cast<int>(pick(4));
  for (int e = 0; e < edits && !s.empty(); ++e) {
    const std::size_t pos = pick(s.size());
    switch (pick(7)) {
      case 0:  // flip one byte
        s[pos] = static_cast<char>(pick(256));
        break;
      case 1:  // delete a stretch
        s.erase(pos, 1 + pick(40));
        break;
      case 2:  // insert a hostile token
        s.insert(pos, tokens[pick(sizeof tokens / sizeof tokens[0])]);
        break;
      case 3:  // cut the file
        s.resize(pos);
        break;
      case 4: {  // duplicate a line
        const std::size_t b = s.rfind('\n', pos);
        const std::size_t start = b == std::string::npos ? 0 : b + 1;
        const std::size_t end = s.find('\n', pos);
        const std::string line = s.substr(start, end == std::string::npos ? std::string::npos : end - start + 1);
        s.insert(start, line);
        break;
      }
      case 5:  // replace a number-like token by a huge one
        s.insert(pos, std::string(1 + pick(30), '9'));
        break;
      default:  // binary garbage
        for (std::size_t k = 0, n = 1 + pick(16); k < n; ++k) s.insert(pos, 1, static_cast<char>(pick(256)));
        break;
    }
  }
  return s;
}

TEST_F(ReaderFuzzTest, DamagedProjectsReadOrStopCleanly) {
  std::vector<std::string> seeds;
  for (const char* name : {"microsat_dioecious.dat", "snp_monoecious.dat"}) {
    seeds.push_back(ReadFile(SourceDir() + "/examples/" + name));
    ASSERT_FALSE(seeds.back().empty()) << name;
  }
  std::mt19937 rng(20261207);
  int stops = 0, reads = 0;
  const int inputs = 3000;
  for (int k = 0; k < inputs; ++k) {
    const std::string text = Mutate(seeds[static_cast<std::size_t>(k) % seeds.size()], rng);
    WriteFile("fuzz.dat", text);
    variables = Variables{};
    variables.stoppauseseconds = 0;
    variables.displayq = 0;
    variables.inputfilename = "fuzz.dat";
    variables.outputfilename = "fuzzout";
    try {
      ReadData();
      ++reads;
    } catch (const ErrorStop&) {
      ++stops;
      const std::string message = ReadFile(kErrorMessageFile);
      ASSERT_NE(message.find("Program stopped in subroutine "), std::string::npos)
          << "input " << k << ":\n" << text;
    }
  }
  EXPECT_EQ(stops + reads, inputs);
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    EXPECT_EQ(entry.path().filename().string().rfind("fuzzout", 0), std::string::npos)
        << entry.path();
  }
}

}  // namespace
