// Run options from the process command line.
#pragma once

// Reads variables.commandargs into the run options of `variables`.
void GetCommands();
