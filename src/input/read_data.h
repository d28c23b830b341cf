// The project-file reader.
#pragma once

#include <cstdint>
#include <string>

class FreeFormatFile;

// Opens and reads the whole project file named by variables.inputfilename:
// run parameters, known allele frequencies, markers, genotypes of offspring
// and candidates, known and excluded relationships.
void ReadData();

// Reads one numbered parameter line of the project file as an integer; a
// missing or non-integer item stops with "Error in reading line " + label +
// "It must be an integer." and the item read.
void ReadIntNumber(FreeFormatFile& file, const std::string& label, int32_t& value);
