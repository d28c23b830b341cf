// The benchmarks of pedkin_bench run in a scratch folder of their own,
// removed at the end: set-up stages write their caches under the output
// name, which the benchmarks leave empty.
#include "scratch.h"

namespace {
ScratchDirectory scratch;
}  // namespace
