// The error stop and its variants (data error, sorting-stack overflow).
#include "runctl/error_stop.h"

#include <mpi.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <thread>
#include <vector>

#include "runctl/file_io.h"
#include "runctl/messages.h"
#include "runctl/output_files.h"
#include "runctl/parallel.h"
#include "state/variables.h"

namespace {

bool IsBlank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

// Writes the message lines to the error-message file (and the screen when
// this process shows messages), and clears away what the stopped run must
// not leave behind. The file is flushed and closed before anyone can abort
// the job, so the message is never lost: when it cannot be written (a full
// disk) it goes to standard error, and no empty file is left.
void ReportStop(int32_t code, const std::string& routine) {
  const bool show = variables.displayq != 0;
  if (show) std::cout << '\n';
  std::vector<std::string> lines;
  if (code != 0) {
    for (int k = 1; k <= 5; ++k) {
      if (!IsBlank(variables.errmsg(k))) lines.push_back(TrimRight(variables.errmsg(k)));
    }
  } else {
    lines.emplace_back("Program stopped due to insufficient memory!");
  }
  lines.push_back("Program stopped in subroutine " + routine + ", dataset = " + variables.fname + ".");
  // A project file given the error file's name is never written over.
  const bool writable = !IsProjectFile(kErrorMessageFile);
  std::ofstream file;
  if (writable) file.open(kErrorMessageFile, std::ios::out | std::ios::trunc);
  for (const std::string& line : lines) {
    if (show) std::cout << line << '\n';
    if (file) file << line << '\n';
  }
  file.close();
  std::cout.flush();
  if (!writable || !file) {
    if (writable) DeleteFile(kErrorMessageFile);
    std::cerr << "Cannot write " << kErrorMessageFile << " in the working directory\n";
    for (const std::string& line : lines) std::cerr << line << '\n';
  }
  CleanUpAfterStop();
}

}  // namespace

int ExitStatusForCode(int32_t code) {
  const int status = static_cast<int>(static_cast<uint32_t>(code) & 0xFFu);
  return status != 0 ? status : 1;
}

void StopOnError(int32_t code, const std::string& routine) {
  const bool several = variables.numthreads > 1 && MpiActive();
  if (variables.threadid == 0) {
    ReportStop(code, routine);
    Sleeping(variables.stoppauseseconds);
    if (several) MPI_Abort(MPI_COMM_WORLD, ExitStatusForCode(code));
  } else if (several) {
    // Rank 0 meets the same stop in nearly every case and aborts the job
    // once its message is safely on disk; wait well past its pause. If this
    // process is still alive after that, rank 0 is not stopping, so report
    // the message here rather than lose it.
    std::this_thread::sleep_for(std::chrono::seconds(variables.stoppauseseconds + 10));
    ReportStop(code, routine);
    MPI_Abort(MPI_COMM_WORLD, ExitStatusForCode(code));
  }
  throw ErrorStop{code};
}

void StopOnDataError(const std::string& message) {
  // The line keeps a line feed of its own, so the stop shows an empty line
  // between the message and the two standard lines.
  std::size_t start = message.find_first_not_of(' ');
  variables.errmsg(1) = TrimRight(start == std::string::npos ? std::string() : message.substr(start)) + "\n";
  variables.errmsg(2) = "Errors in DATA. Insufficient data or incorrect format.";
  variables.errmsg(3) = "Please check DATA and format and then re-run the program";
  StopOnError(1, "StopOnDataError");
}

void StackError(const std::string& routine) {
  variables.errmsg(1) = "Program stops due to NSTACK too small in subroutine " + routine;
  StopOnError(1, "StackError");
}

void StopWithMessage(const std::string& message, const std::string& routine) {
  variables.errmsg(1) = message;
  StopOnError(1, routine);
}
