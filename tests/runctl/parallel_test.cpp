// Division of work among processes and the merge of per-process files.
#include <gtest/gtest.h>

#include "runctl/parallel.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

using ParallelTest = PedkinTest;

TEST_F(ParallelTest, BlocksPartitionTheItemsInOrder) {
  // Against a brute-force deal: item i goes to the rank whose block holds
  // it, blocks contiguous, sizes differing by at most one, larger first.
  for (int32_t nprocs = 1; nprocs <= 9; ++nprocs) {
    for (int32_t n = -2; n <= 60; ++n) {
      std::vector<int32_t> size(nprocs, 0);
      for (int32_t i = 0; i < std::max(n, 0); ++i) size[i % nprocs]++;
      int32_t next = 1;
      for (int32_t rank = 0; rank < nprocs; ++rank) {
        int32_t first = 0, last = 0;
        SetThreadTaskFor(n, rank, nprocs, first, last);
        EXPECT_EQ(last - first + 1, size[rank]) << n << " items, rank " << rank << "/" << nprocs;
        if (size[rank] > 0) {
          EXPECT_EQ(first, next);
          next = last + 1;
        } else {
          EXPECT_GT(first, last);
        }
      }
      EXPECT_EQ(next - 1, std::max(n, 0));
    }
  }
}

TEST_F(ParallelTest, MergeKeepsRankOrderAndRemovesParts) {
  variables.fname = "merge";
  variables.numthreads = 3;
  variables.displayq = 0;
  // Files 0..3: four files, so rank (3 - 0 + 1) mod 3 = 1 merges (which
  // rank merges, and the merged files of two processes, are checked end to
  // end by the whole-program runs).
  variables.threadid = 1;
  WriteFile("merge.OffGenotype0", "rank0 line1   \nrank0 line2\n");
  WriteFile("merge.OffGenotype2", "rank2 line1\n");
  WriteFile("merge.DadGenotype1", "only rank1\r\n");
  WriteFile("merge.AlleleFreq", "stale\n");
  WriteFile("merge.AlleleFreq0", "fresh\n");
  MergeFile(0, 3);
  EXPECT_EQ(ReadFile("merge.OffGenotype"), "rank0 line1\nrank0 line2\nrank2 line1\n");
  EXPECT_EQ(ReadFile("merge.DadGenotype"), "only rank1\n");
  EXPECT_EQ(ReadFile("merge.AlleleFreq"), "fresh\n");
  // No part at all: no empty file pretending to be a result.
  EXPECT_FALSE(Exists("merge.MumGenotype"));
  for (const char* part : {"merge.OffGenotype0", "merge.OffGenotype2", "merge.DadGenotype1",
                           "merge.AlleleFreq0"}) {
    EXPECT_FALSE(Exists(part)) << part;
  }
}

}  // namespace
