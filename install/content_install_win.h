// The content copy and recovery on the real file system, each step logged:
// the run's plan worked out once (install/update_plan.h), and every step
// that uses it.
#pragma once

#include <functional>
#include <string>

#include "install/update_plan.h"

class CopyProgress;
class InstalledProduct;
class UpdateContext;

// Works out the run's plan for the installation at `installLocation`
// (GetInstallLocation's) from the loaded configuration: reads RAZoro.ini
// once. What can't be worked out is left with its reason in the plan.
UpdatePlan MakeUpdatePlan(const UpdateContext& context, const InstalledProduct& product,
                          const std::string& installLocation);

// True when `path` names the installation's log or a file that the update
// would write (as the copy plans it, up to its first fault).
bool UpdateWrites(const UpdatePlan& plan, const std::string& path);

// Deals with the journals that earlier runs left in the installation folder
// (RecoverInterruptedUpdates), logging each step. True when there were none
// or each was rolled back, removed or set aside; false (the reason as the
// last error) when one can't be read (nothing is changed then) or fully
// undone (the rest is left for the next run). `rolledBack` tells whether an
// interrupted run was undone: the installation is no longer what a plan
// made before saw.
bool RecoverInterruptedUpdate(const UpdatePlan& plan, bool& rolledBack);

// For a sealed package (the program carries a seal), before the user is
// asked: true when every file the update would copy is listed in the
// manifest and holds the sealed bytes. False, with the file named in the
// log, otherwise: ERROR_INVALID_DATA for a file that is not listed, was
// changed or is missing, the system's code for one that is there but can't
// be read. Reads each of those files once. True at once for an unsealed
// one, and when the plan is missing a part (the copy reports that).
bool VerifySealedPayload(const UpdateContext& context, const UpdatePlan& plan);

// Installs the package's content for the installed product (every entry for
// the default id and for the product's id). False at the first failure,
// after every change of the run has been rolled back (the failing step's
// code stays the last error); `rollbackIncomplete` tells whether something
// could not be put back. Carried out by ContentInstaller
// (install/content_install.h). `progress`, when given, learns what the run
// will copy and follows it. `committed`, when given, is called once the
// update is final, before the old files it replaced are deleted.
bool CopyContent(const UpdateContext& context, const UpdatePlan& plan, CopyProgress* progress,
                 const std::function<void()>& committed, bool& rollbackIncomplete);
