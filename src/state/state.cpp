// The single instance of every shared state group.
#include "state/annealvariables.h"
#include "state/familyloglvar.h"
#include "state/likelihoodvar.h"
#include "state/setgetgtype.h"
#include "state/variables.h"
#include "state/writevar.h"

Variables variables;
LikelihoodVar likelihoodvar;
SetGetGtype setgetgtype;
FamilyLoglVar familyloglvar;
AnnealVariables annealvariables;
WriteVar writevar;
