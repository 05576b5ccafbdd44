// Running a file scanner to the end the way the site list does, and streams to run it on.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QString>

#include "workers/FileScanners.h"

namespace torv::test {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenForScan(const std::string& path);

// A seekable stream over bytes whose reads fail with EIO once failAt bytes have been delivered.
FilePtr OpenFailingStream(const std::string& bytes, std::size_t failAt);

using Scanner = std::function<bool(std::FILE*, qint64, QString&, const ScanProgress&)>;

struct ScanRun {
    std::vector<QString> urls;
    std::vector<long> offsets;               // ftell after each found URL
    std::vector<std::vector<int>> progress;  // the positions reported during each call
    bool finished = false;                   // a call returned false within the call limit
};

ScanRun ScanToEnd(const Scanner& scanner, std::FILE* file, qint64 length, int maxCalls = 100000);

}  // namespace torv::test
