// Cuts a mission site's address out of one line of a dropped file.
#pragma once

#include <QByteArray>
#include <QString>

namespace torv {

// True when the line (taken up to its first NUL) holds "http://" or "https://", matched in exact
// case. The URL then runs from the first of them to the line's last "/", letters A-Z in lower
// case; a line whose address has no slash behind the host gives just the scheme ("http://" or
// "https://"). False leaves url untouched.
// Bytes are read as UTF-8 when they are valid UTF-8 and as Latin-1 otherwise.
bool ExtractSiteUrl(const QByteArray& line, QString& url);

}  // namespace torv
