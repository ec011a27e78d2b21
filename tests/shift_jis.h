// The lead bytes of code page 932 (Shift-JIS), a double-byte code page whose
// second bytes include '\' (0x5C), though never '/': the tests and fuzz
// targets run the path and version rules under it beside a single-byte one.
#pragma once

inline bool ShiftJisLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
