// Short lists of plausible candidate parents: for every offspring and sex,
// the few candidates that the parent-offspring pair tables favour, with
// cumulative selection probabilities, from which the parentage moves of the
// search draw. Built once before the search and cached on disk.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

// Builds the lists of both sexes (NumBestCnd, BestCnd, PrbBestCnd,
// PrbBestCnd1 of `variables`), or reads them from fname + ".BestPrntCND"
// when that file holds lists made from exactly the current data, known and
// excluded parents; otherwise process 0 writes the file. Always leaves the
// candidate-offspring pair tables (6 and 7) filled, read from their own
// cache files when valid. Needs the candidates' single log likelihoods
// (SingleParentLikelihood), which it computes when they are missing. Every
// process must call it.
void SetGetBestCnd();

// Reads the lists of one sex, one line per offspring in sample order, from
// in into the list tables (which must be sized, see ClearBestCnd); false at
// the first line that is malformed or does not fit the sample (count, a
// candidate out of range, repeated or excluded, probabilities not
// increasing or out of range, a list where none may be).
bool GetBestCnd(std::istream& in, int32_t sex);

// Sizes the list tables for the current sample with every list empty.
void ClearBestCnd();

// Builds the lists of one sex from its candidate-offspring table and the
// candidates' single log likelihoods (the tables must be sized).
void ComputeBestCnd(int32_t sex);

// The file line of offspring i's list of sex `sex`.
std::string BestCndLine(int32_t i, int32_t sex);
