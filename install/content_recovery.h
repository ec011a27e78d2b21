// Recovery of what earlier runs left in the installation folder, on the real
// file system, with its lines in the log; and the journal's owner, which the
// copy uses too.
#pragma once

#include <string>

#include "install/install_journal.h"

class InstalledProduct;

// Deals with the journals that earlier runs left in the installation folder
// (RecoverInterruptedUpdates), logging each step. True when there were none
// or each was rolled back, removed or set aside; false (the reason as the
// last error) when one can't be read (nothing is changed then) or fully
// undone (the rest is left for the next run).
bool RecoverInterruptedUpdate(const InstalledProduct& product, const std::string& installLocation);

// The installation as its journal records it: the product code and the
// installation folder as a plan base. False (ERROR_FILENAME_EXCED_RANGE)
// when the folder can't be a base.
bool MakeJournalOwner(const InstalledProduct& product, const std::string& location,
                      JournalOwner& owner);
