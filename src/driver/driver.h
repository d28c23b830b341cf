// The program's stage sequence and run loop.
#pragma once

// Runs every stage of an analysis; the command line must already be in
// variables.commandargs. Returns normally at the end of the analysis; an
// error stop leaves through ErrorStop (one process) or an MPI abort.
void MAIN(int* argc, char*** argv);
