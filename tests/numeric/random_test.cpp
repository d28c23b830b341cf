// Random deviates against their recurrences written out independently, the
// shift register's period, and distributions.
#include "numeric/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "state/variables.h"
#include "support/fixture.h"

namespace {

using NumericRandomTest = PedkinTest;

// ran1: xorshift on a 32-bit pattern and the minimal standard generator by
// direct modulo, from a signed 32-bit seeded state reduced by its first step.
class HandRan1 {
 public:
  explicit HandRan1(int64_t seed) {
    const uint64_t m = static_cast<uint64_t>(seed < 0 ? -seed : seed);
    iy_ = static_cast<int32_t>((888889999ull ^ m) | 1ull);
    ix_ = (777755555ull ^ m) & 0xFFFFFFFFull;
  }
  float Next() {
    ix_ ^= (ix_ << 13) & 0xFFFFFFFFull;
    ix_ ^= ix_ >> 17;
    ix_ ^= (ix_ << 5) & 0xFFFFFFFFull;
    iy_ = ((iy_ * 16807) % 2147483647 + 2147483647) % 2147483647;
    const uint64_t k = ((ix_ ^ static_cast<uint64_t>(iy_)) & 0x7FFFFFFFull) | 1ull;
    return 4.6566126e-10f * static_cast<float>(k);
  }

 private:
  uint64_t ix_;
  int64_t iy_;
};

class HandRan2 {
 public:
  explicit HandRan2(int64_t start) : s1_(start), s2_(start) {
    for (int j = 40; j >= 1; --j) {
      s1_ = (40014 * s1_) % 2147483563;
      if (j <= 32) iv_[j] = s1_;
    }
    iy_ = iv_[1];
  }
  double Next() {
    s1_ = (40014 * s1_) % 2147483563;
    s2_ = (40692 * s2_) % 2147483399;
    const int64_t j = 1 + iy_ / 67108862;
    iy_ = iv_[j] - s2_;
    iv_[j] = s1_;
    if (iy_ < 1) iy_ += 2147483562;
    return std::min(4.656613057391769e-10 * static_cast<double>(iy_), 0.99999988);
  }

 private:
  int64_t s1_, s2_, iy_ = 0;
  int64_t iv_[33] = {};
};

// Seeds follow one another without a reset. The most negative seeds must
// neither overflow nor reseed at every call.
TEST_F(NumericRandomTest, UniformGeneratorsFollowTheirRecurrences) {
  for (int64_t seed : {int64_t{12345}, int64_t{-1}, int64_t{0}, int64_t{-987654321}, int64_t{-2147483647},
                       int64_t{INT32_MIN}}) {
    SCOPED_TRACE(seed);
    variables.idum = static_cast<int32_t>(seed);
    variables.idum3 = static_cast<int32_t>(seed);
    HandRan1 hand1(seed);
    HandRan2 hand2(seed > 0 || seed == INT32_MIN ? 1 : std::max<int64_t>(-seed, 1));
    for (int i = 0; i < 1000; ++i) {
      ASSERT_EQ(ran1(), hand1.Next()) << "draw " << i;
      if (seed <= 0) {
        ASSERT_EQ(ran2(), hand2.Next()) << "draw " << i;
      }
    }
    EXPECT_GT(variables.idum, 0);
  }
}

TEST_F(NumericRandomTest, NormalDistribution) {
  constexpr int kDraws = 200000;
  variables.idum = -2024;
  int within1 = 0;
  double moments[3] = {};
  for (int i = 0; i < kDraws; ++i) {
    const double z = GasDev();
    within1 += std::fabs(z) < 1.0;
    for (int k = 1; k <= 2; ++k) moments[k] += std::pow(z, k) / kDraws;
  }
  // Standard errors: mean 0.0022, variance 0.0032, P(|z| < 1) 0.001.
  EXPECT_NEAR(moments[1], 0.0, 0.015);
  EXPECT_NEAR(moments[2], 1.0, 0.02);
  EXPECT_NEAR(static_cast<double>(within1) / kDraws, 0.682689, 0.006);
}

// Frequencies against the Poisson probabilities on both sides of 12, where the
// method changes; draws of other means between them must not reuse its constants.
TEST_F(NumericRandomTest, PoiDevFrequencies) {
  constexpr int kDraws = 100000;
  const float below12 = std::nextafter(12.0f, 0.0f);
  variables.idum = -4242;
  for (const auto& [mean, other] : std::vector<std::pair<float, float>>{
           {-1.0f, 3.0f}, {3.0f, 50.0f}, {11.9f, 12.0f}, {12.0f, below12}, {12.1f, 3.0f}, {50.0f, 3.0f}}) {
    SCOPED_TRACE(mean);
    std::vector<int> freq(400, 0);
    double sum = 0.0, sumOther = 0.0;
    for (int i = 0; i < kDraws; ++i) {
      const float x = PoiDev(mean);
      sumOther += PoiDev(other);
      ASSERT_TRUE(x == std::floor(x) && x >= 0.0f && x < 400.0f) << x;
      ++freq[static_cast<std::size_t>(x)];
      sum += x;
    }
    EXPECT_NEAR(sumOther / kDraws, other, 6.0 * std::sqrt(other / kDraws));
    if (mean <= 0.0f) {
      EXPECT_EQ(freq[0], kDraws);
      continue;
    }
    const double lambda = mean;
    EXPECT_NEAR(sum / kDraws, lambda, 6.0 * std::sqrt(lambda / kDraws));
    for (int k = 0; k < 400; ++k) {
      const double p = std::exp(k * std::log(lambda) - lambda - std::lgamma(k + 1.0));
      const double observed = static_cast<double>(freq[static_cast<std::size_t>(k)]) / kDraws;
      ASSERT_NEAR(observed, p, 6.0 * std::sqrt(p * (1.0 - p) / kDraws) + 2e-4) << "k = " << k;
    }
  }
}

// A primitive polynomial of order 18 runs through all 2^18 - 1 non-zero
// states; new bit = bit18 ^ bit5 ^ bit2 ^ bit1, shifted in at the bottom.
TEST_F(NumericRandomTest, Irbit1FollowsTheShiftRegisterOverItsFullPeriod) {
  variables.irbitiseed = 1;
  uint32_t reg = 1;
  int ones = 0, period = 0;
  do {
    const uint32_t bit = ((reg >> 17) ^ (reg >> 4) ^ (reg >> 1) ^ reg) & 1u;
    reg = ((reg << 1) | bit) & 0x3FFFFu;
    ASSERT_EQ(Irbit1(), static_cast<int32_t>(bit)) << "bit " << period;
    ones += static_cast<int>(bit);
    ++period;
  } while (variables.irbitiseed != 1u && period < 300000);
  EXPECT_EQ(period, 262143);
  EXPECT_EQ(ones, 131072);
}

}  // namespace
