// Fixture shared by the result-file tests: no screen output, output name
// "t", and a sample of n offspring O1, O2, ...
#pragma once

#include <string>

#include "state/variables.h"
#include "support/fixture.h"

class OutputFixture : public PedkinTest {
 protected:
  void SetUp() override {
    PedkinTest::SetUp();
    variables.displayq = 0;
    variables.fname = "t";
  }

  static void Sample(int32_t n, int32_t numsex) {
    Variables& v = variables;
    v.smplsize = n;
    v.numsex = numsex;
    v.sexid = numsex == 2 ? "*#" : "##";
    v.offspringid.assign(static_cast<std::size_t>(n));
    for (int32_t i = 1; i <= n; ++i) v.offspringid(i) = "O" + std::to_string(i);
  }
};
