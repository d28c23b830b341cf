// Progress log and checkpoint files of the search.
#include "search/checkpoint.h"

void ReadMidResult4(int32_t& failed, int32_t& repeat) {
  failed = 1;
  repeat = 0;
}
