// Processing of the data read and the check for a resumable execution.
#include "input/data_process.h"

void DataProcess() {}
