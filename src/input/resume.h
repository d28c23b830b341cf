// Recognition of an unchanged earlier execution, which may be resumed from
// its checkpoints, and the clearing of an earlier execution's files when
// the input has changed.
#pragma once

#include <cstdint>
#include <string>

// mode 1: flag > 0 when the saved copy matches the current input (resume),
// 0 when it differs, -1 when no saved copy exists. mode 2: writes the copy.
void SetStartLoc(int32_t mode, int32_t& flag);

// Deletes the named file if it exists.
void OpenDeleteFile(const std::string& name);

// Rank 0: resume an unchanged earlier execution, or clear its files and
// save the copy of this input.
void CheckData();
