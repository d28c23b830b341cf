// Random deviates of the program: the two uniform generators, normal and
// Poisson deviates and a random bit. Every generator keeps its state in the
// shared `variables`, so that a run is reproducible from its seed and the
// state can be saved and restored with the rest of the search.
#pragma once

#include <cstdint>

// Uniform deviate in (0, 1), single precision: Marsaglia xorshift register
// combined with the Park-Miller minimal standard generator. State: idum
// (a value <= 0 reseeds), ran1ix, ran1iy.
float ran1();

// The state of ran1, so that a sequence of draws can be taken back: the
// search draws proposals ahead and returns to the state after the last one
// it used.
struct Ran1State {
  int32_t idum = 0, ix = 0, iy = 0;
};
Ran1State SaveRan1();
void RestoreRan1(const Ran1State& state);

// Uniform deviate in (0, 1), at most 0.99999988: L'Ecuyer's combined
// generator with a Bays-Durham shuffle. State: idum3 (a value <= 0 reseeds),
// idum2, idumiy, idumiv.
double ran2();

// Standard normal deviate (polar Box-Muller on ran1); every second call
// returns the deviate kept from the previous pair.
float GasDev();

// Poisson deviate of the given mean (as a real), drawn with ran1. A
// negative mean gives 0.
float PoiDev(float mean);

// Random bit 0 or 1 from an 18-bit linear feedback shift register
// (primitive polynomial x^18 + x^5 + x^2 + x + 1). State: irbitiseed.
int32_t Irbit1();

// A generator of its own for work that must come out the same however it
// is divided among processes: its state is made from a seed and the
// numbers that name one item of the work (a replication, an individual), so
// every item draws the same deviates on whichever process takes it, and the
// program's main streams above are left untouched. SplitMix64 steps.
class ItemRandom {
 public:
  ItemRandom(uint64_t seed, uint64_t a, uint64_t b = 0, uint64_t c = 0);
  uint64_t Next();
  // Uniform in [0, 1), 53 bits.
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  // Uniform integer in 0..n-1, n >= 1.
  int32_t Below(int32_t n) {
    return static_cast<int32_t>(((Next() >> 32) * static_cast<uint64_t>(n)) >> 32);
  }

 private:
  uint64_t state_;
};
