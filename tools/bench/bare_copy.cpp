// The floor for the copy benchmarks: a bare CopyFileA loop over the same
// files the program installs, and nothing else. Times itself where the work
// happens and prints the milliseconds.
//   bare_copy SOURCE-FOLDER TARGET-FOLDER LIST-FILE [flush-each|flush-volume]
// LIST-FILE holds one file name a line. With flush-each every copy's data is
// forced to the disk (the target opened and FlushFileBuffers), as the
// program does before it commits; with flush-volume the volume of the
// target folder is flushed once at the end instead. A second line then
// gives the flushes' own milliseconds.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

bool Flush(const std::string& path) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool flushed = ::FlushFileBuffers(file) != FALSE;
    ::CloseHandle(file);
    return flushed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) return 64;
    std::string flush = argc == 5 ? argv[4] : "";
    std::vector<std::string> names;
    std::ifstream list(argv[3]);
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) names.push_back(line);
    }
    LARGE_INTEGER start, end, flushStart, flushEnd;
    double flushing = 0;
    ::QueryPerformanceCounter(&start);
    for (const std::string& name : names) {
        std::string source = std::string(argv[1]) + "\\" + name;
        std::string target = std::string(argv[2]) + "\\" + name;
        if (!::CopyFileA(source.c_str(), target.c_str(), FALSE)) return 1;
        if (flush == "flush-each") {
            ::QueryPerformanceCounter(&flushStart);
            if (!Flush(target)) return 2;
            ::QueryPerformanceCounter(&flushEnd);
            flushing += Milliseconds(flushStart, flushEnd);
        }
    }
    if (flush == "flush-volume") {
        ::QueryPerformanceCounter(&flushStart);
        std::string volume = std::string("\\\\.\\") + std::string(argv[2]).substr(0, 2);
        if (!Flush(volume)) return 3;
        ::QueryPerformanceCounter(&flushEnd);
        flushing += Milliseconds(flushStart, flushEnd);
    }
    ::QueryPerformanceCounter(&end);
    std::printf("%.3f\n", Milliseconds(start, end));
    if (!flush.empty()) std::printf("%.3f\n", flushing);
    return 0;
}
