// Process entry: runs the analysis and turns an error stop into a non-zero
// exit status.
#include <new>
#include <string>

#include "driver/driver.h"
#include "runctl/error_stop.h"
#include "runctl/parallel.h"
#include "state/variables.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) variables.commandargs.emplace_back(argv[i]);
  try {
    try {
      MAIN(&argc, &argv);
    } catch (const std::bad_alloc&) {
      StopOnError(0, "MAIN");
    }
  } catch (const ErrorStop& stop) {
    FinalizeThreads();
    return ExitStatusForCode(stop.code);
  }
  return 0;
}
