// Random deviates: ran1, ran2, GasDev, PoiDev and Irbit1. The generators'
// states live in the shared `variables`; the integer recurrences are those
// of 32-bit two's-complement arithmetic, computed with unsigned or 64-bit
// intermediates where a signed 32-bit operation could overflow.
#include "numeric/random.h"

#include <cmath>
#include <cstdint>

#include "numeric/log_gamma.h"
#include "state/variables.h"

namespace {

// |v| as an unsigned 32-bit value, exact also for INT32_MIN (whose
// magnitude 2^31 has the bit pattern of INT32_MIN itself).
uint32_t Magnitude(int32_t v) {
  return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

// One step of a multiplicative congruential generator s <- a s mod m with
// Schrage's factorisation m = a q + r, which keeps every product within 32
// bits for 0 <= s < 2^31. The arithmetic is 64-bit only so that a state
// outside that range (set from outside) cannot overflow.
int32_t SchrageStep(int32_t s, int64_t a, int64_t q, int64_t r, int64_t m) {
  const int64_t k = s / q;
  int64_t next = a * (s - k * q) - r * k;
  if (next < 0) next += m;
  return static_cast<int32_t>(next);
}

}  // namespace

float ran1() {
  static constexpr int64_t kIA = 16807, kIM = 2147483647, kIQ = 127773, kIR = 2836;
  // Largest float below 1, divided by 2^31 - 1: the largest output is
  // below 1 and the smallest (the integer 1) above 0.
  static constexpr float kScale = 4.6566126e-10f;
  Variables& v = variables;
  if (v.idum <= 0 || v.ran1iy < 0) {
    const uint32_t mag = Magnitude(v.idum);
    v.ran1iy = static_cast<int32_t>((888889999u ^ mag) | 1u);
    v.ran1ix = static_cast<int32_t>(777755555u ^ mag);
    // idum only marks the generator as seeded from here on. |idum| + 1 would
    // wrap to a negative value for the two most negative seeds and reseed
    // the generator at every call, so it is kept at the largest value.
    v.idum = mag >= 2147483647u ? 2147483647 : static_cast<int32_t>(mag + 1u);
  }
  // Marsaglia xorshift: shifts are logical on the 32-bit pattern.
  uint32_t ix = static_cast<uint32_t>(v.ran1ix);
  ix ^= ix << 13;
  ix ^= ix >> 17;
  ix ^= ix << 5;
  v.ran1ix = static_cast<int32_t>(ix);
  v.ran1iy = SchrageStep(v.ran1iy, kIA, kIQ, kIR, kIM);
  const uint32_t bits = ((ix ^ static_cast<uint32_t>(v.ran1iy)) & 0x7FFFFFFFu) | 1u;
  return kScale * static_cast<float>(static_cast<int32_t>(bits));
}

Ran1State SaveRan1() {
  const Variables& v = variables;
  return {v.idum, v.ran1ix, v.ran1iy};
}

void RestoreRan1(const Ran1State& state) {
  Variables& v = variables;
  v.idum = state.idum;
  v.ran1ix = state.ix;
  v.ran1iy = state.iy;
}

double ran2() {
  static constexpr int64_t kIM1 = 2147483563, kIM2 = 2147483399;
  static constexpr int64_t kIA1 = 40014, kIA2 = 40692;
  static constexpr int64_t kIQ1 = 53668, kIQ2 = 52774;
  static constexpr int64_t kIR1 = 12211, kIR2 = 3791;
  static constexpr int32_t kIMM1 = 2147483562;  // IM1 - 1
  static constexpr int32_t kNTab = 32;
  static constexpr int32_t kNDiv = 67108862;  // 1 + (IM1 - 1) / NTAB
  static constexpr double kAM = 4.656613057391769e-10;
  static constexpr double kRNMX = 0.99999988;
  Variables& v = variables;
  if (v.idum3 <= 0) {
    // max(-idum3, 1); in 32-bit arithmetic -INT32_MIN is INT32_MIN, so
    // that seed also starts from 1.
    int32_t s = v.idum3 == INT32_MIN ? 1 : (-v.idum3 > 1 ? -v.idum3 : 1);
    v.idum2 = s;
    // Eight warm-up steps, then the shuffle table is filled from its end.
    for (int32_t j = kNTab + 8; j >= 1; --j) {
      s = SchrageStep(s, kIA1, kIQ1, kIR1, kIM1);
      if (j <= kNTab) v.idumiv(j) = s;
    }
    v.idumiy = v.idumiv(1);
    v.idum3 = s;
  }
  v.idum3 = SchrageStep(v.idum3, kIA1, kIQ1, kIR1, kIM1);
  v.idum2 = SchrageStep(v.idum2, kIA2, kIQ2, kIR2, kIM2);
  // The previous output chooses the table entry (Bays-Durham shuffle). A
  // state set from outside could make idumiy negative; the entry is kept
  // within the table then.
  int32_t j = 1 + v.idumiy / kNDiv;
  if (j < 1) j = 1;
  if (j > kNTab) j = kNTab;
  int64_t iy = static_cast<int64_t>(v.idumiv(j)) - v.idum2;
  v.idumiv(j) = v.idum3;
  if (iy < 1) iy += kIMM1;
  v.idumiy = static_cast<int32_t>(iy);
  const double r = kAM * static_cast<double>(v.idumiy);
  return r < kRNMX ? r : kRNMX;
}

float GasDev() {
  Variables& v = variables;
  if (v.gasdeviset == 0) {
    float a = 0.0f, b = 0.0f, r = 0.0f;
    do {
      a = 2.0f * ran1() - 1.0f;
      b = 2.0f * ran1() - 1.0f;
      r = a * a + b * b;
    } while (r < 1e-10f || r >= 1.0f);
    const float f = std::sqrt(-2.0f * std::log(r) / r);
    v.gasdevgset = a * f;
    v.gasdeviset = 1;
    return b * f;
  }
  v.gasdeviset = 0;
  return v.gasdevgset;
}

float PoiDev(float mean) {
  static constexpr float kPi = 3.141592654f;
  static constexpr float kSwitch = 12.0f;  // direct method below, rejection from here on
  Variables& v = variables;
  // A Poisson count of a negative (or undefined) mean is 0; drawing would
  // loop for ever on the constants of an earlier mean.
  if (!(mean >= 0.0f)) return 0.0f;
  const bool direct = mean < kSwitch;
  // The constants are kept between calls of (nearly) the same mean. They
  // belong to one method, so a mean on the other side of 12 than the one
  // they were made for always renews them, however close the two means.
  const bool sameMethod = (v.poidevoldm < kSwitch) == direct;
  const bool renew = !sameMethod || std::fabs(static_cast<double>(mean) - v.poidevoldm) > 1e-6;
  if (direct) {
    if (renew) {
      v.poidevoldm = mean;
      v.poidevg = std::exp(-mean);
    }
    // Count uniforms multiplied together until the product reaches e^-mean.
    float em = -1.0f;
    float t = 1.0f;
    do {
      em += 1.0f;
      t *= ran1();
    } while (t > v.poidevg);
    return em;
  }
  if (renew) {
    v.poidevoldm = mean;
    v.poidevsq = std::sqrt(2.0f * mean);
    v.poidevalxm = std::log(mean);
    v.poidevg = static_cast<float>(static_cast<double>(mean) * v.poidevalxm -
                                   gammln(static_cast<double>(mean) + 1.0));
  }
  // Rejection under a Lorentzian comparison function.
  for (;;) {
    float y = 0.0f, em = 0.0f;
    do {
      y = std::tan(kPi * ran1());
      em = v.poidevsq * y + mean;
    } while (em < 0.0f);
    em = std::floor(em);
    const double exponent =
        static_cast<double>(em) * v.poidevalxm - gammln(static_cast<double>(em) + 1.0) - v.poidevg;
    // The acceptance probability would vanish in single precision.
    if (exponent < -87.0) continue;
    const float t =
        static_cast<float>(0.9 * (1.0 + static_cast<double>(y) * y) * std::exp(exponent));
    if (ran1() <= t) return em;
  }
}

int32_t Irbit1() {
  static constexpr uint32_t kB1 = 1u, kB2 = 2u, kB5 = 16u, kB18 = 131072u;
  static constexpr uint32_t kRegister = 0x3FFFFu;  // 18 bits
  uint32_t s = variables.irbitiseed;
  bool bit = (s & kB18) != 0;
  if ((s & kB5) != 0) bit = !bit;
  if ((s & kB2) != 0) bit = !bit;
  if ((s & kB1) != 0) bit = !bit;
  s = (s << 1) & kRegister & ~kB1;
  if (bit) s |= kB1;
  variables.irbitiseed = s;
  return bit ? 1 : 0;
}

namespace {
uint64_t Mix64(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}
}  // namespace

ItemRandom::ItemRandom(uint64_t seed, uint64_t a, uint64_t b, uint64_t c) {
  // Each number is folded in through the finaliser, so items that differ in
  // any one of them start from unrelated states.
  uint64_t s = Mix64(seed + 0x9E3779B97F4A7C15ull);
  s = Mix64(s ^ (a + 0x632BE59BD9B4E019ull));
  s = Mix64(s ^ (b + 0x85157AF5ull));
  state_ = Mix64(s ^ (c + 0xD6E8FEB86659FD93ull));
}

uint64_t ItemRandom::Next() {
  state_ += 0x9E3779B97F4A7C15ull;
  return Mix64(state_);
}
