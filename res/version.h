// The tool's version, in one place: the version resource (res/RIZezuvu.rc),
// the program's log lines and ovpack --version all take it from here. The
// resource compiler reads this file too, so it holds only what its
// preprocessor understands, besides the C++ constant at the end.
#pragma once

#define RIZEZUVU_VERSION_MAJOR 1
#define RIZEZUVU_VERSION_MINOR 6
#define RIZEZUVU_VERSION_PATCH 0
#define RIZEZUVU_VERSION_BUILD 0

// The four numbers as text, joined by dots ("1.6.0.0"): pasted into one
// token, then quoted. Each step is its own macro so that the numbers' names
// are replaced by their values first.
#define RIZEZUVU_VERSION_DOTTED_(a, b, c, d) a##.##b##.##c##.##d
#define RIZEZUVU_VERSION_DOTTED(a, b, c, d) RIZEZUVU_VERSION_DOTTED_(a, b, c, d)
#define RIZEZUVU_VERSION_QUOTED_(text) #text
#define RIZEZUVU_VERSION_QUOTED(text) RIZEZUVU_VERSION_QUOTED_(text)
#define RIZEZUVU_VERSION_TEXT                                                   \
    RIZEZUVU_VERSION_QUOTED(                                                    \
        RIZEZUVU_VERSION_DOTTED(RIZEZUVU_VERSION_MAJOR, RIZEZUVU_VERSION_MINOR, \
                                RIZEZUVU_VERSION_PATCH, RIZEZUVU_VERSION_BUILD))

#ifndef RC_INVOKED
// The version as the log's start and end lines and ovpack report it.
inline constexpr char kToolVersion[] = RIZEZUVU_VERSION_TEXT;
#endif
