// The floors for the copy benchmarks: a bare CopyFileA loop over the same
// files the program installs, and nothing else. Times itself where the work
// happens and prints the milliseconds.
//   bare_copy SOURCE-FOLDER TARGET-FOLDER LIST-FILE [flush-each|flush-volume|keep-old]
// LIST-FILE holds one file name a line. With flush-each every copy's data is
// forced to the disk (the target opened and FlushFileBuffers), as the
// program does before it commits; with flush-volume the volume of the
// target folder is flushed once at the end instead. A second line then
// gives the flushes' own milliseconds.
// keep-old is the floor of an update that can be undone by keeping old
// bytes and rewriting targets in place (which the program no longer does:
// it replaces every file by name), only the steps that writing ahead takes,
// with none of the program's checks. The old bytes of every target go
// first into data files of 8 MiB, flushed together, then one record line is written and flushed,
// and then each target is rewritten in place and flushed. The data files are deleted after the time
// is taken, as the program deletes them after its result.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "install/install_journal.h"

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

bool WriteAll(HANDLE file, const char* data, size_t size) {
    DWORD written = 0;
    return ::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

// Reads the file at `path` whole into `bytes`.
bool ReadWhole(const std::string& path, std::string& bytes) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    DWORD read = 0;
    bool ok = ::GetFileSizeEx(file, &size) != FALSE;
    if (ok) bytes.resize(static_cast<size_t>(size.QuadPart));
    ok = ok && (bytes.empty() ||
                (::ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) &&
                 read == bytes.size()));
    ::CloseHandle(file);
    return ok;
}

// The write-ahead floor (keep-old); the data files' names in `kept`.
bool KeepOldThenRewrite(const std::string& sources, const std::string& targets,
                        const std::vector<std::string>& names, std::vector<std::string>& kept) {
    const unsigned long long batch = 8ull << 20;
    std::string data, bytes;
    std::vector<HANDLE> unflushed;  // kept open until the one flush of them all
    auto writeBatch = [&]() {
        if (data.empty()) return true;
        kept.push_back(targets + "\\bare-kept-" + std::to_string(kept.size() + 1) + ".dat");
        HANDLE file = ::CreateFileA(kept.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        unflushed.push_back(file);
        bool ok = WriteAll(file, data.data(), data.size());
        data.clear();
        return ok;
    };
    auto flushAll = [&]() {
        bool ok = true;
        for (HANDLE file : unflushed) {
            ok = ::FlushFileBuffers(file) && ok;
            ::CloseHandle(file);
        }
        unflushed.clear();
        return ok;
    };
    bool read = true;
    for (size_t i = 0; read && i < names.size(); ++i) {
        read = ReadWhole(targets + "\\" + names[i], bytes);
        data += bytes;
        if (read && data.size() >= batch) read = writeBatch();
    }
    read = read && writeBatch();
    if (!flushAll() || !read) return false;
    kept.push_back(targets + "\\bare-record.txt");
    HANDLE record = ::CreateFileA(kept.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (record == INVALID_HANDLE_VALUE) return false;
    bool declared = WriteAll(record, "declared\n", 9) && ::FlushFileBuffers(record);
    ::CloseHandle(record);
    if (!declared) return false;
    for (const std::string& name : names) {
        if (!ReadWhole(sources + "\\" + name, bytes)) return false;
        HANDLE target = ::CreateFileA((targets + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (target == INVALID_HANDLE_VALUE) return false;
        bool ok = WriteAll(target, bytes.data(), bytes.size()) && ::SetEndOfFile(target) &&
                  ::FlushFileBuffers(target);
        ::CloseHandle(target);
        if (!ok) return false;
    }
    return true;
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
    if (flush == "keep-old") {
        std::vector<std::string> kept;
        bool done = KeepOldThenRewrite(argv[1], argv[2], names, kept);
        ::QueryPerformanceCounter(&end);
        for (const std::string& path : kept) ::DeleteFileA(path.c_str());
        if (!done) return 4;
        std::printf("%.3f\n", Milliseconds(start, end));
        return 0;
    }
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
