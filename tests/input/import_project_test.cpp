// pedkin-import on small hand-made inputs: filters and calls worked by hand,
// damaged inputs ending in their message, random damage never crashing.
#include <gtest/gtest.h>
#include <htslib/bgzf.h>
#include <htslib/hts_log.h>

#include <filesystem>
#include <random>

#include "input/import_project.h"
#include "support/fixture.h"

namespace {

using Kind = ImportOptions::Kind;

class ImportProject : public PedkinTest {
 protected:
  static std::string Vcf(const std::string& format, const std::vector<std::string>& rows) {
    std::string text = "##fileformat=VCFv4.2\n##contig=<ID=1>\n" + format +
                       "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\tA\tB\tC\tD\tX\n";
    for (const std::string& r : rows) text += r + "\n";
    return text;
  }
  static constexpr const char* kGt = "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n";
  static constexpr const char* kRoles = "ID,role\nD,mother\nA,offspring\nC,father\nB,offspring\n";
  // Five individuals A B C D X at three sites, with the given .bed content.
  static void Plink(const std::string& bed) {
    WriteFile("s.fam", "f A 0 0 0 -9\nf B 0 0 0 -9\nf C 0 0 1 -9\nf D 0 0 2 -9\nf X 0 0 0 -9\n");
    WriteFile("s.bim", "1 a 0 1 A G\n1 b 0 2 A G\n1 c 0 3 A G\n");
    WriteFile("s.bed", bed);
  }
  static ImportOptions Options(Kind kind, const std::string& input) {
    ImportOptions o;
    o.kind = kind;
    o.input = input;
    o.roles = "roles.csv";
    o.out = "out";
    return o;
  }
};

const std::string kBed = std::string("\x6c\x1b\x01", 3) + std::string("\x1b\x02\xe4\x03\x00\x03", 6);

TEST_F(ImportProject, FiltersSitesAmongTheKeptIndividualsAndWritesTheirCalls) {
  WriteFile("in.vcf", Vcf(kGt, {
      "1\t100\ts1\tA\tC,G\t.\t.\t.\tGT\t0/2\t1|2\t.\t0/0\t0/0",  // kept, three alleles
      "1\t200\ts2\tA\tC\t.\t.\t.\tGT\t0/0\t0/0\t0/0\t0/0\t1/1",  // polymorphic only in X
      "1\t300\ts3\tA\tC\t.\t.\t.\tGT\t./.\t.\t./1\t0/1\t0/1",    // 3 of 4 missing
      "1\t400\ts4\tA\tC\t.\t.\t.\tGT\t0/0\t0/0\t0/0\t0/1\t1/1/1",  // 1 of 8; X left out
      "1\t500\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1/1\t0/0\t0|1\t0/0"}));  // kept, named 1:500
  WriteFile("roles.csv", kRoles);
  ImportOptions o = Options(Kind::kVcf, "in.vcf");
  o.minmaf = 0.2;
  o.errorrate = 0.05;
  const ImportSummary s = RunImport(o);
  EXPECT_EQ(std::vector<int64_t>({s.offspring, s.fathers, s.mothers, s.samples, s.kept, s.missing, s.monomorphic,
                                  s.rare, s.manyalleles}),
            std::vector<int64_t>({2, 1, 1, 5, 2, 1, 1, 1, 0}));
  const std::vector<std::string> lines = SplitLines(ReadFile("out.dat"));
  ASSERT_EQ(lines.size(), 43u);
  EXPECT_EQ(lines[1].substr(0, 4), "out ");
  EXPECT_EQ(lines[2].substr(0, 2), "2 ");
  EXPECT_EQ(lines[3].substr(0, 2), "2 ");
  EXPECT_EQ(lines[22].substr(0, 11), "s1 1:500   ");
  EXPECT_EQ(lines[24].substr(0, 6), "0.05@ ");
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 27, lines.begin() + 29),
            std::vector<std::string>({"A 1 3 1 2", "B 2 3 2 2"}));
  EXPECT_EQ(lines[30].substr(0, 8), "0.5 0.5 ");
  EXPECT_EQ(lines[31].substr(0, 4), "1 1 ");
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 32, lines.begin() + 34),
            std::vector<std::string>({"C 0 0 1 1", "D 1 1 1 2"}));
  // PLINK: 2 bits per individual from the low bits, 00 1/1, 01 missing,
  // 10 1/2, 11 2/2; site c is monomorphic among A-D (X alone differs).
  Plink(kBed);
  const ImportSummary p = RunImport(Options(Kind::kPlink, "s"));
  EXPECT_EQ(std::vector<int64_t>({p.kept, p.monomorphic}), std::vector<int64_t>({2, 1}));
  const std::vector<std::string> plink = SplitLines(ReadFile("out.dat"));
  EXPECT_EQ(std::vector<std::string>({plink[27], plink[28], plink[32], plink[33]}),
            std::vector<std::string>({"A 2 2 1 1", "B 1 2 0 0", "C 0 0 1 2", "D 1 1 2 2"}));
}

TEST_F(ImportProject, DamagedInputsStopWithTheirMessageAndLeaveTheOldProjectFile) {
  hts_set_log_level(HTS_LOG_OFF);
  const std::string site = "1\t100\ts1\tA\tC\t.\t.\t.\tGT\t0/1\t1/1\t0/0\t0/1\t./.";
  struct Case {
    std::string vcf, roles, expected;
    Kind kind = Kind::kVcf;
  };
  const std::vector<Case> cases = {
      {Vcf("##FORMAT=<ID=DP,Number=1,Type=Integer,Description=\"Depth\">\n", {}), kRoles,
       "in.vcf: has no GT (genotype) field in its header"},
      {Vcf(kGt, {"1\t100\ts1\tA\tC\t.\t.\t.\tDP\t1\t1\t1\t1\t1"}), kRoles, "in.vcf: site 1 (1:100) has no GT"},
      {Vcf(kGt, {"1\t100\ts1\tA\tC\t.\t.\t.\tGT\t0/1\t0/1/1\t0/0\t0/0\t0/0"}), kRoles,
       "in.vcf: site 1 (1:100): sample B has a call of ploidy 3"},
      {Vcf(kGt, {"1\t100\ts1\tA\tC\t.\t.\t.\tGT\t0/1\t1\t0/0\t0/0\t0/0"}), kRoles, "sample B has a haploid call"},
      {Vcf(kGt, {"1\t100\ts1\tA\tC\t.\t.\t.\tGT\t0/2\t0/1\t0/0\t0/0\t0/0"}), kRoles,
       "sample A has allele 2, but the site has 2 alleles"},
      {Vcf(kGt, {site, "1\t200\ts2\tA\tC\t.\t.\t.\tGT\t0/1\t0/1"}), kRoles, "in.vcf: site 2 cannot be read"},
      {"gz", kRoles, "in.vcf: is truncated"},
      {Vcf(kGt, {site}), "ID,role\nA,offspring\nZ,father\n", "roles.csv:3: Z is not among the individuals of in.vcf"},
      {Vcf(kGt, {site}), "ID,role\n\nA,offspring\nA,mother\n", "roles.csv:4: A is listed twice (also on line 3)"},
      {Vcf(kGt, {site}), "ID,role\nA,aunt\n", "roles.csv:2: unknown role \"aunt\" for A"},
      {Vcf(kGt, {site}), "A,offspring\n", "roles.csv:1: the first line must be the header ID,role"},
      {Vcf(kGt, {site}), "ID,role\nC,father\n", "roles.csv: lists no offspring"},
      {Vcf(kGt, {site}), "ID,role\nA,offspring\nX,father\n", "X (father, roles.csv:3) has no call at any of"},
      {kBed.substr(0, 8), kRoles, "s.bed: has 8 bytes where 3 sites of 5 individuals take 9 (truncated?)", Kind::kPlink},
      {"\x6c\x1c\x01" + kBed.substr(3), kRoles, "s.bed: is not a PLINK 1 binary genotype file", Kind::kPlink},
      {"\x6c\x1b\x00" + kBed.substr(3), kRoles, "s.bed: is in individual-major order", Kind::kPlink},
      {"", kRoles, "s.bed: is not a PLINK 1 binary genotype file", Kind::kPlink},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    WriteFile("out.dat", "an older project\n");
    WriteFile("roles.csv", c.roles);
    if (c.kind == Kind::kPlink) {
      Plink(c.vcf);
    } else if (c.vcf == "gz") {
      // A bgzip-compressed VCF cut before its end-of-file block.
      const std::string text = Vcf(kGt, {site});
      BGZF* z = bgzf_open("in.vcf", "w");
      ASSERT_EQ(bgzf_write(z, text.data(), text.size()), static_cast<ssize_t>(text.size()));
      ASSERT_EQ(bgzf_close(z), 0);
      std::filesystem::resize_file("in.vcf", std::filesystem::file_size("in.vcf") - 28);
    } else {
      WriteFile("in.vcf", c.vcf);
    }
    std::string message = "no stop";
    try {
      RunImport(Options(c.kind, c.kind == Kind::kPlink ? "s" : "in.vcf"));
    } catch (const ImportError& e) {
      message = e.what();
    }
    EXPECT_NE(message.find(c.expected), std::string::npos) << message;
    EXPECT_EQ(ReadFile("out.dat"), "an older project\n");
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
      EXPECT_TRUE(entry.path().filename() == "out.dat" || entry.path().filename().string().find("out") != 0);
    }
  }
}

TEST_F(ImportProject, RandomlyDamagedInputsEndInSuccessOrAMessage) {
  hts_set_log_level(HTS_LOG_OFF);
  WriteFile("roles.csv", kRoles);
  const std::string vcf = Vcf(kGt, {"1\t100\ts1\tA\tC,G\t.\t.\t.\tGT\t0/2\t1|2\t.\t0/0\t0/0",
                                    "1\t500\t.\tA\tC\t.\t.\t.\tGT\t0/1\t1/1\t0/0\t0|1\t0/0"});
  std::mt19937 rng(11);
  for (int trial = 0; trial < 400; ++trial) {
    const bool plink = trial % 2 == 1;
    std::string text = plink ? kBed : vcf;
    for (int k = 0; k < 3; ++k) text[rng() % text.size()] = static_cast<char>(rng() % 256);
    if (rng() % 4 == 0) text.resize(rng() % text.size());
    if (plink) {
      Plink(text);
    } else {
      WriteFile("in.vcf", text);
    }
    try {
      RunImport(Options(plink ? Kind::kPlink : Kind::kVcf, plink ? "s" : "in.vcf"));
    } catch (const ImportError&) {
    }
  }
}

}  // namespace
