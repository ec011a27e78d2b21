// What one run of the update will do, worked out once, after the run has
// taken its lock, and handed to each step that needs it: the check of a
// /log file, recovery, the sealed package's check before the consent, the
// check of where the writes land, and the copy. Each part says why it is
// missing, so that the step that needs it reports the reason when it comes.
#pragma once

#include <string>
#include <vector>

#include "install/install_plan.h"
#include "install/journal_record.h"

struct UpdatePlan {
    // The installation folder as Windows Installer has it.
    std::string installLocation;

    // The installation the journal belongs to. Why it could not be made
    // (0: it was): the folder can't be a plan base.
    JournalOwner owner;
    unsigned long ownerError = 0;

    // Why there are no plans (0: there are): RAZoro.ini gave no product id
    // (`noProductId`, its reason the code), or a folder can't be a base.
    unsigned long plansError = 0;
    bool noProductId = false;
    // The package folder as a plan base, where the copies' sources lie.
    std::string sourceBase;
    // The plans of every entry that applies to the installation's product
    // id, in document order.
    std::vector<std::vector<PlanStep>> plans;

    // The copies the run makes, in order: those before the first fault.
    std::vector<const PlanStep*> Copies() const { return CopiesBeforeFirstFault(plans); }
};
