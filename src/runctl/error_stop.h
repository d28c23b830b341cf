// The error stop: the one way out of the program on an unrecoverable
// condition. Messages go to the screen and to "Pedkin2.ErrorMessage".
#pragma once

#include <cstdint>
#include <string>

// Thrown by the error stop of a single-process run so that `main` can end
// the program with a non-zero status, and so that tests can catch a stop and
// examine its message. Nothing else may catch it.
struct ErrorStop {
  int32_t code;
};

inline constexpr const char* kErrorMessageFile = "Pedkin2.ErrorMessage";

// Reports errmsg (or the out-of-memory line when code is 0) and the routine,
// then ends the program. With several processes the MPI job is aborted.
[[noreturn]] void StopOnError(int32_t code, const std::string& routine);

// Stop on bad input data: the message plus the two standard data lines.
[[noreturn]] void StopOnDataError(const std::string& message);

// Stop when a sorting routine's explicit stack is too small.
[[noreturn]] void StackError(const std::string& routine);

// Process exit status for a stop with the given code: never 0, since a
// stop is a failure even when the code is 0 (out of memory).
int ExitStatusForCode(int32_t code);

// Fills error line 1 and stops with StopOnError(1, routine): the common
// shape of a stop on one message.
[[noreturn]] void StopWithMessage(const std::string& message, const std::string& routine);
