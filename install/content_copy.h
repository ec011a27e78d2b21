// What the upgrade sequence asks of the content installation besides the copy
// itself (UpdateContext::CopyContent).
#pragma once

#include <string>

class InstalledProduct;

// Deals with the journals that earlier runs left in the installation folder
// (RecoverInterruptedUpdates), logging each step. True when there were none
// or each was rolled back, removed or set aside; false (the reason as the
// last error, nothing more changed) when one can't be read or fully undone.
bool RecoverInterruptedUpdate(const InstalledProduct& product, const std::string& installLocation);
