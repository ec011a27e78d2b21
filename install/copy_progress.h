// Told how far the content copy has got, so that whoever shows it (the
// status window) can move its bar and serve its window between the chunks
// of a large file.
#pragma once

class CopyProgress {
public:
    virtual ~CopyProgress() = default;
    // Before the first copy: what the run will copy, in bytes.
    virtual void Planned(unsigned long long bytes) = 0;
    // After each chunk, and after each file, of what has been copied since.
    virtual void Copied(unsigned long long bytes) = 0;
};
