// Progress log and checkpoint files of the search.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reads the saved allele frequencies and next repeat number; failed = 0
// only when everything was read and the repeat number is above 0.
void ReadMidResult4(int32_t& failed, int32_t& repeat);

// Writes the archive of the current run as text to its checkpoint file
// (process 0): per configuration its log likelihood and integer vectors.
void SaveMidResult();

// Appends the integers as comma-separated decimal numbers without blanks,
// in lines of fewer than 1000 characters.
void WriteIntVector(const std::vector<int32_t>& values, std::string& text);
