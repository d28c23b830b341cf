// The pedigree table ".Pedigree.csv": the best configuration as one
// comma-separated table that spreadsheets and R read as it is.
#pragma once

#include <cstdint>
#include <string>

#include "state/arrays.h"

// A field of a comma-separated row: quoted, with its quotes doubled, when it
// holds a comma, a quote or a line break; otherwise as it is.
std::string CsvField(const std::string& text);

// Writes fname + ".Pedigree.csv": a header, then one row per offspring in
// sample order with its identifier, its father and mother (ids, as in
// ".BestConfig": a candidate's identifier or the sex mark and number of an
// unsampled parent), its full-sib family (fsid), its cluster (column 3 of
// loc) and the probabilities of its father and mother from the paternity
// and maternity files (AssignedParentProb of `writevar`; empty where those
// files give none).
void WritePedigree(const Mat1<int32_t>& loc, const Mat1<std::string>& ids, const Vec1<int32_t>& fsid);
