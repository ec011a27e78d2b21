// What the upgrade sequence asks of the content installation besides the copy
// itself (UpdateContext::CopyContent).
#pragma once

#include <string>

// Rolls back the journal that an interrupted run left in the installation
// folder, logging each restored file. True when there was none or it was
// rolled back; false (the reason as the last error, nothing more changed)
// when it can't be read or fully undone.
bool RecoverInterruptedUpdate(const std::string& installLocation);
