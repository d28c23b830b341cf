// Uniform, normal and Poisson deviates and the random bit: the sequences
// against the recurrences written out independently here (direct 64-bit
// modular arithmetic instead of the Schrage factorisation), limits of the
// ranges, the full period of the shift register, and moments and
// frequencies over many draws.
#include "numeric/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "state/variables.h"
#include "support/fixture.h"

namespace {

using NumericRandomTest = PedkinTest;

// ran1 recomputed by hand: xorshift on a 32-bit pattern and the minimal
// standard generator by direct modulo in 64 bits. The seeded Park-Miller
// state is a signed 32-bit value (negative only for the most negative
// seed), reduced into 0..2^31 - 2 by its first step.
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

// ran2 recomputed by hand from the state it starts from, again by direct
// modulo.
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

struct Moments {
  double mean = 0.0, var = 0.0;
};

Moments MomentsOf(int count, const std::function<double()>& draw) {
  double sum = 0.0, sum2 = 0.0;
  for (int i = 0; i < count; ++i) {
    const double x = draw();
    sum += x;
    sum2 += x * x;
  }
  return {sum / count, sum2 / count - (sum / count) * (sum / count)};
}

// The register value whose xorshift step (<< 13, >> 17, << 5) gives `after`:
// each step x ^= x << s (or >> s) is undone by iterating y = x ^ (y << s).
int32_t XorshiftPreimage(uint32_t after) {
  const auto undo = [](uint32_t x, int s, bool left) {
    uint32_t y = x;
    for (int k = 0; k < 32 / s + 1; ++k) y = x ^ (left ? y << s : y >> s);
    return y;
  };
  return static_cast<int32_t>(undo(undo(undo(after, 5, true), 17, false), 13, true));
}

// Number of ran1 draws that fn consumes: fn runs, then the same draws are
// replayed from the saved state until its end state is reached.
int Ran1DrawsOf(const std::function<void()>& fn) {
  const Ran1State before = SaveRan1();
  fn();
  const Ran1State after = SaveRan1();
  RestoreRan1(before);
  int draws = 0;
  while ((variables.ran1ix != after.ix || variables.ran1iy != after.iy) && draws < 100000) {
    ran1();
    ++draws;
  }
  return draws;
}

// Seeds in turn without resetting the state between them, so a new seed
// <= 0 must restart the sequence. The positive seed comes first, on the
// unseeded state, where it still seeds from its magnitude. The two most
// negative seeds must not wrap |idum| + 1 to a negative value, which would
// reseed at every call and repeat the first draw.
TEST_F(NumericRandomTest, Ran1FollowsTheCombinedRecurrenceFromEverySeed) {
  for (int64_t seed : {int64_t{12345}, int64_t{-1}, int64_t{0}, int64_t{-12345},
                       int64_t{-987654321}, int64_t{-2147483647}, int64_t{INT32_MIN}}) {
    SCOPED_TRACE(seed);
    variables.idum = static_cast<int32_t>(seed);
    HandRan1 hand(seed);
    for (int i = 0; i < 1000; ++i) {
      ASSERT_EQ(ran1(), hand.Next()) << "draw " << i;
    }
    EXPECT_GT(variables.idum, 0);
  }
}

TEST_F(NumericRandomTest, Ran1ExtremeIntegersStayInsideZeroOne) {
  // Park-Miller state 1 steps to 16807; choose the register so that the
  // combined integer is its largest (2^31 - 1) or smallest (1) value.
  variables.idum = 1;
  variables.ran1iy = 1;
  variables.ran1ix = XorshiftPreimage(0x7FFFFFFFu ^ 16807u);
  EXPECT_EQ(ran1(), std::nextafter(1.0f, 0.0f));

  variables.ran1iy = 1;
  variables.ran1ix = XorshiftPreimage(16807u);
  const float bottom = ran1();
  EXPECT_GT(bottom, 0.0f);
  EXPECT_FLOAT_EQ(bottom, 4.6566126e-10f);
}

TEST_F(NumericRandomTest, Ran2FollowsTheShuffledRecurrence) {
  // {seed, state it starts from}: max(-seed, 1), and 1 for the most
  // negative seed, whose negation overflows.
  for (const auto& [seed, start] : std::vector<std::pair<int32_t, int64_t>>{
           {-1, 1}, {0, 1}, {-12345, 12345}, {-2000000000, 2000000000}, {INT32_MIN, 1}}) {
    SCOPED_TRACE(seed);
    variables = Variables{};
    variables.idum3 = seed;
    HandRan2 hand(start);
    for (int i = 0; i < 1000; ++i) {
      ASSERT_EQ(ran2(), hand.Next()) << "draw " << i;
    }
  }
}

TEST_F(NumericRandomTest, Ran2LargestValueIsCapped) {
  // State giving the largest shuffled integer, IM1 - 1.
  variables.idum3 = 1;
  variables.idum2 = 0;
  variables.idumiy = 0;
  variables.idumiv(1) = 2147483562;
  EXPECT_EQ(ran2(), 0.99999988);
}

TEST_F(NumericRandomTest, UniformMomentsAndLagOneCorrelation) {
  constexpr int kDraws = 200000;
  variables.idum = -2024;
  variables.idum3 = -31;
  for (const auto& [name, draw] : std::vector<std::pair<const char*, std::function<double()>>>{
           {"ran1", [] { return static_cast<double>(ran1()); }}, {"ran2", [] { return ran2(); }}}) {
    SCOPED_TRACE(name);
    double lag = 0.0, previous = 0.5;
    const Moments m = MomentsOf(kDraws, [&] {
      const double u = draw();
      EXPECT_GT(u, 0.0);
      EXPECT_LT(u, 1.0);
      lag += (u - 0.5) * (previous - 0.5);
      previous = u;
      return u;
    });
    // Standard errors: mean 6.5e-4, variance 1.9e-4, correlation 2.2e-3.
    EXPECT_NEAR(m.mean, 0.5, 0.004);
    EXPECT_NEAR(m.var, 1.0 / 12.0, 0.0015);
    EXPECT_NEAR(lag / kDraws / (1.0 / 12.0), 0.0, 0.015);
  }
}

TEST_F(NumericRandomTest, GasDevFirstPairFromPolarMethod) {
  variables.idum = -99;
  HandRan1 hand(-99);
  float a = 0, b = 0, r = 0;
  do {
    a = 2.0f * hand.Next() - 1.0f;
    b = 2.0f * hand.Next() - 1.0f;
    r = a * a + b * b;
  } while (r < 1e-10f || r >= 1.0f);
  const float f = std::sqrt(-2.0f * std::log(r) / r);
  EXPECT_FLOAT_EQ(GasDev(), b * f);
  // The second deviate of the pair costs no uniform.
  float second = 0.0f;
  EXPECT_EQ(Ran1DrawsOf([&] { second = GasDev(); }), 0);
  EXPECT_FLOAT_EQ(second, a * f);
}

TEST_F(NumericRandomTest, GasDevNormalMoments) {
  variables.idum = -5;
  constexpr int kDraws = 200000;
  int within1 = 0;
  double third = 0.0, fourth = 0.0;
  const Moments m = MomentsOf(kDraws, [&] {
    const double z = GasDev();
    if (std::fabs(z) < 1.0) ++within1;
    third += z * z * z;
    fourth += z * z * z * z;
    return z;
  });
  // Standard errors: mean 0.0022, variance 0.0032, P(|z| < 1) 0.001.
  EXPECT_NEAR(m.mean, 0.0, 0.015);
  EXPECT_NEAR(m.var, 1.0, 0.02);
  EXPECT_NEAR(static_cast<double>(within1) / kDraws, 0.682689, 0.006);
  EXPECT_NEAR(third / kDraws, 0.0, 0.05);
  EXPECT_NEAR(fourth / kDraws, 3.0, 0.1);
}

// Frequencies against the Poisson probabilities, on both sides of 12 where
// the method changes. Below 12 the direct method multiplies exactly
// result + 1 uniforms; the rejection method above draws two per candidate,
// so its count of uniforms seldom matches. A negative mean gives 0.
TEST_F(NumericRandomTest, PoiDevFrequenciesAndMethod) {
  constexpr int kDraws = 100000;
  for (float mean : {-1.0f, 0.0f, 3.0f, 11.9f, 12.0f, 12.1f, 50.0f}) {
    SCOPED_TRACE(mean);
    variables = Variables{};
    variables.idum = -4242;
    std::vector<int> freq(400, 0);
    int directCount = 0;
    const Moments m = MomentsOf(kDraws, [&] {
      float x = 0.0f;
      if (Ran1DrawsOf([&] { x = PoiDev(mean); }) == static_cast<int>(x) + 1) ++directCount;
      EXPECT_EQ(x, std::floor(x));
      EXPECT_GE(x, 0.0f);
      if (x < 400.0f) ++freq[static_cast<std::size_t>(x)];
      return static_cast<double>(x);
    });
    if (mean <= 0.0f) {
      EXPECT_EQ(freq[0], kDraws);
      continue;
    }
    if (mean < 12.0f) {
      EXPECT_EQ(directCount, kDraws);
    } else {
      EXPECT_LT(directCount, kDraws / 10);
    }
    const double lambda = mean;
    EXPECT_NEAR(m.mean, lambda, 6.0 * std::sqrt(lambda / kDraws));
    EXPECT_NEAR(m.var, lambda, 6.0 * std::sqrt((lambda + 2.0 * lambda * lambda) / kDraws));
    for (int k = 0; k < 400; ++k) {
      const double p = std::exp(k * std::log(lambda) - lambda - std::lgamma(k + 1.0));
      const double observed = static_cast<double>(freq[static_cast<std::size_t>(k)]) / kDraws;
      ASSERT_NEAR(observed, p, 6.0 * std::sqrt(p * (1.0 - p) / kDraws) + 2e-4) << "k = " << k;
    }
  }
}

// The constants kept between calls must be renewed when the mean changes,
// also between two means within 1e-6 of each other on either side of 12,
// which belong to different methods.
TEST_F(NumericRandomTest, PoiDevAlternatingMeansKeepTheirOwnConstants) {
  constexpr int kDraws = 40000;
  const float below = std::nextafter(12.0f, 0.0f);
  variables.idum = -17;
  for (const auto& [m1, m2] : {std::pair{3.0f, 50.0f}, std::pair{below, 12.0f}}) {
    SCOPED_TRACE(m2);
    double sum1 = 0.0, sum2 = 0.0;
    for (int i = 0; i < kDraws; ++i) {
      sum1 += PoiDev(m1);
      sum2 += PoiDev(m2);
    }
    EXPECT_NEAR(sum1 / kDraws, m1, 6.0 * std::sqrt(m1 / kDraws));
    EXPECT_NEAR(sum2 / kDraws, m2, 6.0 * std::sqrt(m2 / kDraws));
  }
}

// A primitive polynomial of order 18 runs through all 2^18 - 1 non-zero
// states, half of them (rounded up) ending in a one. Over the whole period
// every bit is also recomputed by hand: new bit = bit18 ^ bit5 ^ bit2 ^ bit1,
// shifted in at the bottom of an 18-bit register.
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