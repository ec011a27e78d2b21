#include "config/seal_section.h"

namespace {

// The seal's home in the executable: a section of its own, left zeroed by
// the build, so that `ovpack seal` finds it by name and fills it before the
// program is signed. Volatile: the compiler must not take the zeros it sees
// here for what the running image holds.
__attribute__((section(".ovseal"), used, aligned(16)))
const volatile unsigned char kSealSection[kSealBytes] = {};

}  // namespace

SealState ProgramSeal(PackageSeal& seal) {
    unsigned char bytes[kSealBytes];
    for (size_t i = 0; i < kSealBytes; ++i) bytes[i] = kSealSection[i];
    return ReadSeal(bytes, seal);
}
