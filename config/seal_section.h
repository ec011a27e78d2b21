// The seal of the running program, as `ovpack seal` wrote it into the
// executable (config/package_seal.h).
#pragma once

#include "config/package_seal.h"

// kUnsealed for a program that was never sealed.
SealState ProgramSeal(PackageSeal& seal);
