// The project-file reader.
#pragma once

#include <cstdint>
#include <string>

class FreeFormatFile;

// Opens and reads the whole project file named by variables.inputfilename:
// run parameters, known allele frequencies, markers, genotypes of offspring
// and candidates, known and excluded relationships.
void ReadData();

// Reads one numbered parameter line of the project file as an integer of
// at most maxdigits digits (10: any 32-bit value); a missing or non-integer
// item stops with "Error in reading line " + label + "It must be an
// integer." and the item read, an integer with too many digits with the
// range it must keep to instead.
void ReadIntNumber(FreeFormatFile& file, const std::string& label, int32_t& value, int maxdigits = 9);
