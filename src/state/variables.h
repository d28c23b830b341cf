// State group `variables`: run options from the command line, process
// identity, error-message lines, run control of the driver and the run
// parameters of the project file. Every stage reads and writes it; a test
// resets it with `variables = Variables{};`.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "state/arrays.h"
#include "state/config_record.h"

struct Variables {
  // ---- Command line ("parameters from keyboard") ----
  std::vector<std::string> commandargs;  // process arguments 1..n, as given
  std::string inputfilename = "pedkin2.dat";
  std::string outputfilename;  // empty: keep the project file's output name
  int32_t runcutshortq = 0;
  int32_t chkconfig = 0;
  int32_t newseed = 0;
  int32_t restart = 1;
  int32_t checkmode = 0;
  int32_t igui = 0;
  int32_t iarchive = 1;
  int32_t errestimate = 1;
  int32_t allelefreest = 1;
  int32_t systemrun = 0;
  int32_t simuq = 0;
  int32_t displayq = 1;
  int32_t screenq = 1;
  int32_t showq = 0;
  // `lineform`: whether a progress item ends its line (front-end style) or
  // stays on the line to be overwritten.
  enum class LineForm { NoAdvance, Advance };
  LineForm lineform = LineForm::NoAdvance;

  // Seconds the error stop waits after writing its message, so that a front
  // end polling the screen can read it. Tests set it to 0.
  int32_t stoppauseseconds = 2;
  // Seconds the command line waits after ignoring an option, so that the
  // user can read why. Tests set it to 0.
  int32_t ignoredpauseseconds = 1;

  // ---- Processes ----
  int32_t threadid = 0;
  int32_t numthreads = 1;
  int32_t parallelq = 0;

  // ---- Error-message lines (five, blank = not used) ----
  Arr1<std::string, 5> errmsg;
  // Warnings of the project-file reader, one line each: input taken other
  // than as written (an identifier cut to 20 characters, a known parent
  // pair dropped, an analysis method not available). Shown on the screen
  // as they arise and kept for the progress log.
  std::vector<std::string> inputwarnings;

  // ---- Run control of the driver ----
  int32_t numrun = 1;
  int32_t krun = 0;
  double bestlogl = -1e300;
  double btloglikelihood = -1e300;
  // Line k of the pair-cluster file: the offspring listed on it. Empty
  // table = file absent (not read).
  Vec1<std::vector<int16_t>> paircluster;

  // ---- Project file: run parameters ----
  std::string datasetname;
  std::string fname;  // output name: prefix of every result file
  int32_t smplsize = 0;
  int32_t numloci = 0;
  int32_t i_seed = 0;
  int32_t updateallelefre = 0;
  int32_t numsex = 2;
  int32_t allowinbreeding = 0;
  int32_t haplodiploid = 0;
  Arr1<int32_t, 2> maxmatings;
  int32_t allowclone = 0;
  int32_t fsscaleq = 0;
  int32_t priortype = 0;
  Arr1<double, 2> ewenmeannumprnt;
  int32_t popallelefreknownq = 0;
  int32_t lengthrun = 0;
  int32_t monitormethod = 0;
  int64_t monitorinterval = 0;
  int32_t fulllikelihoodmethodq = 1;
  int32_t quicksearchq = 0;
  int32_t likelihoodprecision = 1;
  Arr1<int32_t, 2> ploidy;
  double inbreeding = 0.0;
  std::vector<std::string> stroffidx;  // texts of 1..smplsize, cache for itoc

  // Checkpoint file names: fname + ".MidResult" + digit 2..6.
  Arr1<std::string, 5> midfilename;

  // ---- The output name's files ----
  // Lock file this run holds on its output name (empty: none yet).
  std::string outputlock;
  // 1 when an unchanged earlier execution is taken up: its result files
  // belong to the same input and survive a failure of this one.
  int32_t resumedrun = 0;
  // 1 while the result files are written: a stop then leaves none of them.
  int32_t writingresults = 0;

  // ---- Random numbers (states of the generators, reproducible from the seed) ----
  int32_t idum = -1;                 // ran1: a value <= 0 (re)initialises it
  int32_t ran1ix = -1, ran1iy = -1;  // ran1: shift-register and Park-Miller sub-states
  int32_t idum2 = 123456789;         // ran2: second L'Ecuyer state
  int32_t idum3 = 0;                 // ran2: first state; <= 0 (re)initialises it
  int32_t idumiy = 0;                // ran2: last shuffled output
  Arr1<int32_t, 32> idumiv;          // ran2: shuffle table
  int32_t gasdeviset = 0;            // GasDev: 1 when a second deviate is kept
  float gasdevgset = 0.0f;           // GasDev: the kept deviate
  float poidevoldm = -1.0f;          // PoiDev: mean of the previous call
  float poidevsq = 0.0f, poidevalxm = 0.0f, poidevg = 0.0f;  // PoiDev: its constants
  uint32_t irbitiseed = 1;           // Irbit1: the 18-bit shift register
  // Work array of the counting-index routines, indexed by key; all zero
  // between calls.
  Vec1<int32_t> selectedprntidxq1;

  // ---- Project file: data sections ----
  Vec1<int32_t> popnumallele;         // known frequencies: alleles per locus
  Mat1<int32_t> popallele;            // (k, locus): allele names
  Mat1<double> popallelefre;          // (k, locus): their frequencies
  Vec1<std::string> markerid;
  Vec1<int8_t> dominantmarker;        // 1 dominant, 0 codominant
  Vec1<double> droprate;
  Vec1<double> othererrorrate;
  Vec1<std::string> offspringid;
  Vec1<int8_t> offploid;              // 1 haploid, 2 diploid
  Arr1<int32_t, 2> smplsizedh;        // haploid (1) and diploid (2) offspring
  Arr1<double, 2> propprntsampled;    // father (1) / mother (2) among candidates
  Arr1<Vec1<std::string>, 2> cndparentid;
  // Known parentage: indivparent(offspring, sex) = candidate index, -1 none.
  Mat1<int32_t> indivparent;
  // numknownprnt(k): distinct candidates of sex k known as parents;
  // numknownprnt(k + 2): offspring with a known parent of sex k.
  Arr1<int32_t, 4> numknownprnt;
  // Known sibships: knownsibship(offspring, sex) = number of the offspring's
  // known sibship of that sex in file order, 0 = none; offspring with the
  // same number share that parent.
  Mat1<int32_t> knownsibship;
  Arr1<int32_t, 2> numknownsibship;   // known sibships given, per sex
  // Excluded parents per sex: for each offspring, the excluded candidates.
  Arr1<Vec1<std::vector<int32_t>>, 2> excludedparent;
  // Excluded sibships per sex: for each offspring, the offspring that cannot
  // share that parent with it.
  Arr1<Vec1<std::vector<int32_t>>, 2> excludedsib;
  int32_t anyknownprntq = 0;
  int32_t anyexcludedparentq = 0;
  int32_t anyexcludedsibshipq = 0;
  // Identifier look-up: offspringid and cndparentid(sex) in ascending order
  // (positions), for searches by halving.
  Vec1<int32_t> offspringidindex;
  Arr1<Vec1<int32_t>, 2> cndidindex;

  // ---- Genotypes as read ----
  // Distinct allele names of each locus in order of first appearance; an
  // allele index is a position in this list (0 = missing).
  Vec1<std::vector<int32_t>> rawalleleid;
  Vec1<int8_t> rawallelenum;
  // Genotypes while the project file is read: per locus, one 16-bit pair
  // code per individual, 128 * first index + second index (indexes sorted,
  // smaller first; a dominant phenotype is (item, 0)). `indivgtype` holds the
  // offspring, `cndgtype(sex)` the candidates of each sex.
  Vec1<std::vector<uint16_t>> indivgtype;
  Arr1<Vec1<std::vector<uint16_t>>, 2> cndgtype;

  // ---- Working constants of data preparation ----
  // factorial(k) = ln k! and logk(k) = ln k, k = 0..size() - 1.
  std::vector<double> factorial;
  std::vector<double> logk;
  // ln p and ln(1 - p) of the proportions of parents sampled, per sex.
  Arr1<double, 2> logpropprnt;
  Arr1<double, 2> log1mpropprnt;
  // Marks of unsampled parents in the result files: fathers, mothers.
  std::string sexid = "##";
  // Identity links: offspringincnd(i, sex) = the candidate of that sex
  // with offspring i's identifier; cndinoffspring(sex)(k) = the offspring
  // with candidate k's identifier; cndinothersex(sex)(k) = the candidate of
  // the other sex with the same identifier; 0 = none.
  Mat1<int32_t> offspringincnd;
  Arr1<Vec1<int32_t>, 2> cndinoffspring;
  Arr1<Vec1<int32_t>, 2> cndinothersex;

  // ---- Project file: candidates and mating system ----
  Arr1<int32_t, 2> numchild;  // candidate fathers (1) and mothers (2)
  Arr1<int32_t, 2> monogamy;
  int32_t allmonogamy = 0;
  int32_t anymonogamy = 0;

  // ---- Short lists of plausible candidate parents ----
  // Per offspring i and sex s: NumBestCnd(i, s) listed candidates (0..5),
  // BestCnd(s)(k, i) the k-th of them (best first, index into that sex's
  // candidates), PrbBestCnd(s)(k, i) the cumulative selection probability
  // of candidates 1..k, k = 1..6 (the entry after the last listed one is
  // 1.00000001, a stop mark), and PrbBestCnd1(s, i) half the share of the
  // whole candidate weight that the list holds.
  static constexpr int32_t kMaxBestCnd = 5;
  Mat1<int8_t> NumBestCnd;
  Arr1<Mat1<int16_t>, 2> BestCnd;
  Arr1<Mat1<double>, 2> PrbBestCnd;
  Mat1<float> PrbBestCnd1;

  // ---- Configurations ----
  // Column 1: paternal family, 2: maternal family, 3: sibship cluster label,
  // of each offspring; CrNumFamily: numbers of paternal and maternal
  // families and of clusters. InferParent(i, k): the candidate of sex k
  // assigned as offspring i's parent, 0 = unsampled.
  Mat1<int32_t> CrIndivLoc;
  Arr1<int32_t, 3> CrNumFamily;
  Mat1<int32_t> InferParent;
  double CrLogLikelihood = -1e300;
  Vec1<double> CrFamilyLogL;  // per cluster slot
  // The best configuration of the run (its log likelihood is
  // btloglikelihood above).
  Mat1<int32_t> BtIndivLoc;
  Arr1<int32_t, 3> BtNumFamily;
  Mat1<int32_t> BtInferParent;
  double BtConfigPrior = 0.0;
  Arr1<int32_t, 4> BtNumAssign;
  // The configuration that shared routines (prior, archive, family
  // building) work on: the current, the best or a cluster's local table.
  Mat1<int32_t>* IndivLocPrt = nullptr;
  Mat1<int32_t>* InferParentPrt = nullptr;
  double* LogLikelihoodPrt = nullptr;
  // A configuration loaded from the archive: OffTgt(i, 1..3) as CrIndivLoc,
  // PrntTgt(f, k) the candidate assigned to family f of sex k.
  Mat1<int32_t> OffTgt;
  Mat1<int32_t> PrntTgt;

  // ---- Sibship clusters ----
  Vec1<std::vector<int16_t>> IndivCluster;  // members of each cluster slot, ascending
  Vec1<int32_t> ClusterSizeT;
  Vec1<int32_t> IndivClusterIdx;            // first member; -1: the slot holds no cluster
  Vec1<int32_t> ClusterID;                  // cluster slot of each offspring
  Vec1<int32_t> IndivClusterIndex;          // cluster label -> slot
  Vec1<int32_t> IndivOrder;                 // order in which offspring are visited

  // ---- Configuration prior ----
  Mat1<double> PrntLogPrb;      // (1, k) ln p_k, (2, k) ln(1 - p_k)
  Arr1<double, 2> PrntWeight;
  Mat1<double> LogPrior{2, 2, 0.0};  // (1, k) ln q_k, (2, k) ln(1 - q_k)
  Arr1<double, 2> EwenPriorFac;
  Arr1<double, 2> LogEwenTheta;
  Arr1<double, 2> LogEwenConst;
  Mat1<int32_t> SibshipSizeDist;  // (s, k): families of sex k with s offspring

  // ---- Archive of good configurations ----
  // Sorted by decreasing log likelihood: ConfigHead is the front,
  // ConfigTail the back.
  std::list<ConfigRecord> ConfigArchive;
  double MinLogLikelihood = -1e300;  // records below it are dropped

  // ---- Clone groups of the best configuration ----
  // CloneConfig(i): offspring i's clone group within its full-sib family
  // (1, 2, ... in order of first member). IndivLoc3(i, 1..3): its full-sib
  // family, that group, and the clone index of the group over the sample
  // (families in order, groups in order within each). CloneProb(c): the
  // probability of clone group c. Empty until clones are inferred.
  Vec1<int32_t> CloneConfig;
  Mat1<int32_t> IndivLoc3;
  Vec1<double> CloneProb;
};

extern Variables variables;
