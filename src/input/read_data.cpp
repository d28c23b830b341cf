// The project-file reader: opening the file. The parameter block and the
// data sections are read by the routines that follow the opening.
#include "input/read_data.h"

#include <iostream>

#include "input/free_format.h"
#include "runctl/error_stop.h"
#include "state/variables.h"

void ReadData() {
  if (variables.displayq != 0) {
    std::cout << "Opening & reading data input file: " << variables.inputfilename << '\n';
  }
  FreeFormatFile file;
  if (!file.Open(variables.inputfilename)) {
    StopWithMessage("Input file " + variables.inputfilename + " does not exist!", "ReadData");
  }
}
