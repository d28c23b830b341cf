// The single instance of the state group of the pair tables.
#include "state/dyadprbvariables.h"

DyadPrbVariables dyadprbvariables;
