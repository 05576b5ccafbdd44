// The two ways of searching a dropped file for site URLs, and which one a file gets.
#pragma once

#include <cstdio>
#include <functional>

#include <QString>
#include <QtGlobal>

namespace torv {

// Receives the scan's coarse position (range 0 .. file length) and keeps the windows alive; the
// site list sets its bar and pumps messages here.
using ScanProgress = std::function<void(int position)>;

// A scanner is called again and again on one file opened "rb" by the caller: each true gives one
// URL and leaves the file where the next call goes on; false means the file is done (end of file
// or read error). Either scanner fits this type, so the caller holds just the one chosen.
using FileScanner = bool (*)(std::FILE* file, qint64 length, QString& url,
                             const ScanProgress& progress);

// Archives and mission files (.mn3, .hog): looks for the bytes "URL" and reads the URL from the
// rest of that line (at most 1023 bytes). A byte that breaks a partial "URL" does not start a new
// one, so "UURL" holds no marker; the line behind every marker is consumed whether or not it holds
// a URL. Position counts 1 per byte and 1024 per line read, starting at the file's position;
// progress is reported when it reaches a multiple of length / 300 (every byte for files shorter
// than 300 bytes). Needs a seekable stream; returns false on a stream without a position.
bool ScanMarkedFile(std::FILE* file, qint64 length, QString& url, const ScanProgress& progress);

// Text files (.txt, .msn): every line (pieces of at most 1023 bytes) is a candidate. Position
// restarts at 0 on each call and counts 1024 per line; progress is reported after every line. The
// length is not used.
bool ScanTextFile(std::FILE* file, qint64 length, QString& url, const ScanProgress& progress);

// The scanner for a file by its name's extension in lower case, or nullptr when it is not searched.
FileScanner ScannerFor(const QString& path);

}  // namespace torv
