// How a dialog finds a text of the package's message table: its owner (the
// application, or a tool that shows a dialog alone) passes a lookup in, so
// that the dialogs know nothing of where the table comes from. Pure.
#pragma once

#include <functional>
#include <string>

// The text under `key` (one of config/message_keys.h), or an empty text
// when the table has none.
using MessageLookup = std::function<std::string(const char* key)>;
