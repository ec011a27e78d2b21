// The command line as the C runtime of Windows gives it.
#include <cstdlib>

#include "app/command_line.h"

std::vector<std::string> CommandArguments() {
    std::vector<std::string> arguments;
    for (int i = 1; i < __argc; ++i) arguments.push_back(__argv[i]);
    return arguments;
}
