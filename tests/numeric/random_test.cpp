// Uniform, normal and Poisson deviates and the random bit: the first values
// against the recurrences written out independently here (direct 64-bit
// modular arithmetic instead of the Schrage factorisation), limits of the
// ranges, and moments and frequencies over many draws.
#include "numeric/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <set>
#include <vector>

#include "state/variables.h"
#include "support/fixture.h"

namespace {

using NumericRandomTest = PedkinTest;

// ran1 recomputed by hand: xorshift on a 32-bit pattern and the minimal
// standard generator by direct modulo in 64 bits.
class HandRan1 {
 public:
  explicit HandRan1(int64_t seed) {
    const uint64_t m = static_cast<uint64_t>(seed < 0 ? -seed : seed);
    iy_ = (888889999ull ^ m) | 1ull;
    ix_ = (777755555ull ^ m) & 0xFFFFFFFFull;
  }
  float Next() {
    ix_ ^= (ix_ << 13) & 0xFFFFFFFFull;
    ix_ ^= ix_ >> 17;
    ix_ ^= (ix_ << 5) & 0xFFFFFFFFull;
    iy_ = (iy_ * 16807ull) % 2147483647ull;
    const uint64_t k = ((ix_ ^ iy_) & 0x7FFFFFFFull) | 1ull;
    return 4.6566126e-10f * static_cast<float>(k);
  }

 private:
  uint64_t ix_, iy_;
};

// ran2 recomputed by hand, again by direct modulo.
class HandRan2 {
 public:
  explicit HandRan2(int64_t seed) {
    s1_ = seed < -1 ? -seed : 1;
    s2_ = s1_;
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
  int64_t s1_, s2_, iy_;
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
  Moments m;
  m.mean = sum / count;
  m.var = sum2 / count - m.mean * m.mean;
  return m;
}

// Inverse of x ^= x << s (s > 0) on 32 bits.
uint32_t UndoLeft(uint32_t x, int s) {
  uint32_t y = x;
  for (int k = 0; k < 32 / s + 1; ++k) y = x ^ (y << s);
  return y;
}
// Inverse of x ^= x >> s on 32 bits.
uint32_t UndoRight(uint32_t x, int s) {
  uint32_t y = x;
  for (int k = 0; k < 32 / s + 1; ++k) y = x ^ (y >> s);
  return y;
}
// The register value whose xorshift step gives `after`.
int32_t XorshiftPreimage(uint32_t after) {
  return static_cast<int32_t>(UndoLeft(UndoRight(UndoLeft(after, 5), 17), 13));
}

// Number of ran1 draws that fn consumes.
int Ran1DrawsOf(const std::function<void()>& fn) {
  const int32_t idum = variables.idum, ix = variables.ran1ix, iy = variables.ran1iy;
  fn();
  const int32_t ix1 = variables.ran1ix, iy1 = variables.ran1iy;
  variables.idum = idum;
  variables.ran1ix = ix;
  variables.ran1iy = iy;
  int draws = 0;
  while ((variables.ran1ix != ix1 || variables.ran1iy != iy1) && draws < 100000) {
    ran1();
    ++draws;
  }
  return draws;
}

TEST_F(NumericRandomTest, Ran1FollowsTheCombinedRecurrence) {
  for (int64_t seed :
       {int64_t{-1}, int64_t{0}, int64_t{-12345}, int64_t{-987654321}, int64_t{-2147483647}}) {
    SCOPED_TRACE(seed);
    variables.idum = static_cast<int32_t>(seed);
    HandRan1 hand(seed);
    for (int i = 0; i < 1000; ++i) {
      ASSERT_EQ(ran1(), hand.Next()) << "draw " << i;
    }
    EXPECT_GT(variables.idum, 0);
  }
}

TEST_F(NumericRandomTest, Ran1SeedingRules) {
  // |idum| + 1 after seeding.
  variables.idum = -12345;
  ran1();
  EXPECT_EQ(variables.idum, 12346);
  // A positive idum before the first call still seeds from |idum|.
  variables = Variables{};
  variables.idum = 12345;
  const float first = ran1();
  EXPECT_EQ(first, HandRan1(12345).Next());
  // Setting idum <= 0 again restarts the sequence.
  variables.idum = -77;
  std::vector<float> a, b;
  for (int i = 0; i < 20; ++i) a.push_back(ran1());
  variables.idum = -77;
  for (int i = 0; i < 20; ++i) b.push_back(ran1());
  EXPECT_EQ(a, b);
}

TEST_F(NumericRandomTest, Ran1MostNegativeSeedDoesNotReseedEveryCall) {
  variables.idum = std::numeric_limits<int32_t>::min();
  std::set<float> seen;
  ran1();
  const int32_t seeded = variables.idum;
  EXPECT_GT(seeded, 0);
  for (int i = 0; i < 1000; ++i) {
    const float u = ran1();
    ASSERT_GT(u, 0.0f);
    ASSERT_LT(u, 1.0f);
    seen.insert(u);
  }
  EXPECT_EQ(variables.idum, seeded);
  EXPECT_GT(seen.size(), 990u);
}

TEST_F(NumericRandomTest, Ran1ExtremeIntegersStayInsideZeroOne) {
  // Park-Miller state 1 steps to 16807; choose the register so that the
  // combined integer is its largest (2^31 - 1) or smallest (1) value.
  variables.idum = 1;
  variables.ran1iy = 1;
  variables.ran1ix = XorshiftPreimage(0x7FFFFFFFu ^ 16807u);
  const float top = ran1();
  EXPECT_LT(top, 1.0f);
  EXPECT_EQ(top, std::nextafter(1.0f, 0.0f));

  variables.ran1iy = 1;
  variables.ran1ix = XorshiftPreimage(16807u);
  const float bottom = ran1();
  EXPECT_GT(bottom, 0.0f);
  EXPECT_FLOAT_EQ(bottom, 4.6566126e-10f);
}

TEST_F(NumericRandomTest, Ran1UniformMoments) {
  variables.idum = -2024;
  constexpr int kDraws = 200000;
  double lag = 0.0, previous = 0.5;
  const Moments m = MomentsOf(kDraws, [&] {
    const double u = ran1();
    EXPECT_GT(u, 0.0);
    EXPECT_LT(u, 1.0);
    lag += (u - 0.5) * (previous - 0.5);
    previous = u;
    return u;
  });
  // Standard errors: mean 6.5e-4, variance 1.9e-4.
  EXPECT_NEAR(m.mean, 0.5, 0.004);
  EXPECT_NEAR(m.var, 1.0 / 12.0, 0.0015);
  EXPECT_NEAR(lag / kDraws / (1.0 / 12.0), 0.0, 0.015);
}

TEST_F(NumericRandomTest, Ran2FollowsTheShuffledRecurrence) {
  for (int64_t seed : {int64_t{-1}, int64_t{0}, int64_t{-12345}, int64_t{-2000000000}}) {
    SCOPED_TRACE(seed);
    variables = Variables{};
    variables.idum3 = static_cast<int32_t>(seed);
    HandRan2 hand(seed);
    for (int i = 0; i < 1000; ++i) {
      ASSERT_EQ(ran2(), hand.Next()) << "draw " << i;
    }
  }
}

TEST_F(NumericRandomTest, Ran2MostNegativeSeedStartsFromOne) {
  variables.idum3 = std::numeric_limits<int32_t>::min();
  HandRan2 hand(1);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(ran2(), hand.Next());
}

TEST_F(NumericRandomTest, Ran2LargestValueIsCapped) {
  // State giving the largest shuffled integer, IM1 - 1.
  variables.idum3 = 1;
  variables.idum2 = 0;
  variables.idumiy = 0;
  variables.idumiv(1) = 2147483562;
  EXPECT_EQ(ran2(), 0.99999988);
}

TEST_F(NumericRandomTest, Ran2UniformMoments) {
  variables.idum3 = -31;
  const Moments m = MomentsOf(200000, [] {
    const double u = ran2();
    EXPECT_GT(u, 0.0);
    EXPECT_LE(u, 0.99999988);
    return u;
  });
  EXPECT_NEAR(m.mean, 0.5, 0.004);
  EXPECT_NEAR(m.var, 1.0 / 12.0, 0.0015);
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

double PoissonPmf(double mean, int k) {
  return std::exp(k * std::log(mean) - mean - std::lgamma(k + 1.0));
}

TEST_F(NumericRandomTest, PoiDevMomentsAndFrequencies) {
  constexpr int kDraws = 100000;
  for (float mean : {0.0f, 3.0f, 11.9f, 12.0f, 12.1f, 50.0f}) {
    SCOPED_TRACE(mean);
    variables = Variables{};
    variables.idum = -4242;
    std::vector<int> freq(400, 0);
    const Moments m = MomentsOf(kDraws, [&] {
      const float x = PoiDev(mean);
      EXPECT_EQ(x, std::floor(x));
      EXPECT_GE(x, 0.0f);
      if (x < 400.0f) ++freq[static_cast<std::size_t>(x)];
      return static_cast<double>(x);
    });
    if (mean == 0.0f) {
      EXPECT_EQ(freq[0], kDraws);
      continue;
    }
    const double lambda = mean;
    EXPECT_NEAR(m.mean, lambda, 6.0 * std::sqrt(lambda / kDraws));
    EXPECT_NEAR(m.var, lambda, 6.0 * std::sqrt((lambda + 2.0 * lambda * lambda) / kDraws));
    for (int k = 0; k < 400; ++k) {
      const double p = PoissonPmf(lambda, k);
      const double observed = static_cast<double>(freq[static_cast<std::size_t>(k)]) / kDraws;
      ASSERT_NEAR(observed, p, 6.0 * std::sqrt(p * (1.0 - p) / kDraws) + 2e-4) << "k = " << k;
    }
  }
}

TEST_F(NumericRandomTest, PoiDevUsesDirectMethodBelowTwelveOnly) {
  variables.idum = -8;
  // The direct method multiplies exactly result + 1 uniforms.
  for (int i = 0; i < 200; ++i) {
    float x = 0.0f;
    const int draws = Ran1DrawsOf([&] { x = PoiDev(11.9f); });
    ASSERT_EQ(draws, static_cast<int>(x) + 1);
  }
  // The rejection method draws two uniforms per candidate (one when the
  // candidate is negative or hopeless), unrelated to the result.
  int sameCount = 0;
  for (int i = 0; i < 200; ++i) {
    float x = 0.0f;
    const int draws = Ran1DrawsOf([&] { x = PoiDev(12.1f); });
    if (draws == static_cast<int>(x) + 1) ++sameCount;
  }
  EXPECT_LT(sameCount, 20);
}

TEST_F(NumericRandomTest, PoiDevMeansCloseAcrossTwelveKeepTheirOwnConstants) {
  constexpr int kDraws = 40000;
  const float below = std::nextafter(12.0f, 0.0f);  // within 1e-6 of 12
  variables.idum = -3;
  for (const auto& [first, then] : {std::pair{below, 12.0f}, std::pair{12.0f, below}}) {
    SCOPED_TRACE(then);
    PoiDev(first);
    const Moments m = MomentsOf(kDraws, [&] { return static_cast<double>(PoiDev(then)); });
    EXPECT_NEAR(m.mean, 12.0, 6.0 * std::sqrt(12.0 / kDraws));
    EXPECT_NEAR(m.var, 12.0, 6.0 * std::sqrt((12.0 + 2.0 * 144.0) / kDraws));
  }
}

TEST_F(NumericRandomTest, PoiDevAlternatingMeans) {
  constexpr int kDraws = 40000;
  variables.idum = -17;
  double sum3 = 0.0, sum50 = 0.0;
  for (int i = 0; i < kDraws; ++i) {
    sum3 += PoiDev(3.0f);
    sum50 += PoiDev(50.0f);
  }
  EXPECT_NEAR(sum3 / kDraws, 3.0, 6.0 * std::sqrt(3.0 / kDraws));
  EXPECT_NEAR(sum50 / kDraws, 50.0, 6.0 * std::sqrt(50.0 / kDraws));
}

TEST_F(NumericRandomTest, PoiDevNegativeMeanIsZero) {
  variables.idum = -1;
  EXPECT_EQ(PoiDev(-1.0f), 0.0f);
  EXPECT_EQ(PoiDev(-0.5f), 0.0f);
}

// The register recomputed by hand: new bit = bit18 ^ bit5 ^ bit2 ^ bit1,
// shifted in at the bottom of an 18-bit register.
TEST_F(NumericRandomTest, Irbit1FollowsTheShiftRegister) {
  for (uint32_t seed : {1u, 0x2A5B3u, 0x20000u}) {
    SCOPED_TRACE(seed);
    variables.irbitiseed = seed;
    uint32_t reg = seed;
    for (int i = 0; i < 1000; ++i) {
      const uint32_t bit = ((reg >> 17) ^ (reg >> 4) ^ (reg >> 1) ^ reg) & 1u;
      reg = ((reg << 1) | bit) & 0x3FFFFu;
      ASSERT_EQ(Irbit1(), static_cast<int32_t>(bit)) << "bit " << i;
    }
  }
}

TEST_F(NumericRandomTest, Irbit1HasFullPeriod) {
  // A primitive polynomial of order 18 runs through all 2^18 - 1 non-zero
  // states, half of them (rounded up) ending in a one.
  variables.irbitiseed = 1;
  int ones = 0;
  int period = 0;
  do {
    ones += Irbit1();
    ++period;
  } while (variables.irbitiseed != 1u && period < 300000);
  EXPECT_EQ(period, 262143);
  EXPECT_EQ(ones, 131072);
}

}  // namespace
