// The single instance of the state group of the effective-size estimation.
#include "state/nevariables.h"

NeVariables nevariables;
