// The single instance of the state group of the threshold simulation.
#include "state/simuvariables.h"

SimuVariables simuvariables;
