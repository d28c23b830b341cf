// The project-file reader.
#pragma once

// Opens and reads the whole project file named by variables.inputfilename.
void ReadData();
