// Identifier look-ups by halving and the search for repeated identifiers.
#include <gtest/gtest.h>

#include "input/identifier_lookup.h"
#include "state/variables.h"
#include "support/fixture.h"

namespace {

class IdentifierLookupReader : public PedkinTest {
 protected:
  void SetUp() override {
    PedkinTest::SetUp();
    variables.displayq = 0;
  }
};

Vec1<std::string> Ids(std::vector<std::string> ids) {
  Vec1<std::string> v;
  v.raw() = std::move(ids);
  return v;
}

TEST_F(IdentifierLookupReader, StoredIdentifiersKeep20CharactersWithoutTrailingBlanks) {
  EXPECT_EQ(StoredId("A1   "), "A1");
  EXPECT_EQ(StoredId("  A1"), "  A1");
  EXPECT_EQ(StoredId("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(StoredId("ABCDEFGHIJKLMNOPQRS   X"), "ABCDEFGHIJKLMNOPQRS");
}

TEST_F(IdentifierLookupReader, LocateOffspringThroughTheSortedIndex) {
  variables.offspringid = Ids({"K", "B", "Z", "A", "M"});
  Vec1<int32_t> index;
  BuildIdIndex(variables.offspringid, index);
  for (int32_t k = 1; k <= 5; ++k) EXPECT_EQ(LocateOffspring(index, 5, variables.offspringid(k)), k);
  EXPECT_EQ(LocateOffspring(index, 5, "C"), 0);
  EXPECT_EQ(LocateOffspring(index, 5, ""), 0);
  EXPECT_EQ(LocateOffspring(index, 0, "K"), 0);
}

TEST_F(IdentifierLookupReader, RepeatedIdentifiersReportTheirFirstTwoHolders) {
  const auto ids = Ids({"C", "B", "C", "B", "A", "B"});
  Vec1<int32_t> index;
  BuildIdIndex(ids, index);
  EXPECT_EQ(FindRepeatedId(ids, index), std::make_pair(2, 4));
  // Whatever order the index gives equal identifiers.
  Vec1<int32_t> shuffled;
  shuffled.raw() = {5, 6, 4, 2, 3, 1};
  EXPECT_EQ(FindRepeatedId(ids, shuffled), std::make_pair(2, 4));
  const auto distinct = Ids({"x", "y"});
  BuildIdIndex(distinct, index);
  EXPECT_EQ(FindRepeatedId(distinct, index), std::make_pair(0, 0));
}

}  // namespace
