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
