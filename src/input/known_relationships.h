// Consistency of the known and excluded relationships among themselves.
#pragma once

// Stops with a data error naming the offspring, candidates or sibships in
// conflict when the known parents, known sibships, excluded parents,
// excluded sibships and monogamy cannot all hold.
void CheckKnownRelationships();
