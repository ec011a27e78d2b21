// The floor for the copy benchmarks: a bare CopyFileA loop over the same
// files the program installs, and nothing else. Times itself where the work
// happens and prints the milliseconds.
//   bare_copy SOURCE-FOLDER TARGET-FOLDER LIST-FILE
// LIST-FILE holds one file name a line.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) return 64;
    std::vector<std::string> names;
    std::ifstream list(argv[3]);
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) names.push_back(line);
    }
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    for (const std::string& name : names) {
        std::string source = std::string(argv[1]) + "\\" + name;
        std::string target = std::string(argv[2]) + "\\" + name;
        if (!::CopyFileA(source.c_str(), target.c_str(), FALSE)) return 1;
    }
    ::QueryPerformanceCounter(&end);
    std::printf("%.3f\n", (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart);
    return 0;
}
