#include "workers/SiteUrl.h"

#include <QByteArrayView>
#include <QStringDecoder>
#include <algorithm>

namespace torv {

namespace {

QString DecodeUrl(const QByteArray& bytes) {
    // Old mission packs are Windows-1252 text, newer ones UTF-8; Latin-1 keeps every byte.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

}  // namespace

bool ExtractSiteUrl(const QByteArray& line, QString& url) {
    QByteArrayView text(line);
    if (const qsizetype nul = text.indexOf('\0'); nul >= 0) {
        text = text.first(nul);
    }
    // Whichever scheme comes first starts the URL.
    const qsizetype plain = text.indexOf(QByteArrayView("http://"));
    const qsizetype secure = text.indexOf(QByteArrayView("https://"));
    const qsizetype start = plain < 0 ? secure : secure < 0 ? plain : std::min(plain, secure);
    if (start < 0) {
        return false;
    }
    // Trimming white space around the cut changes nothing: it begins with "h" and ends with "/".
    const qsizetype lastSlash = text.lastIndexOf('/');
    QByteArray cut = text.sliced(start, lastSlash - start + 1).toByteArray();
    for (char& c : cut) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    url = DecodeUrl(cut);
    return true;
}

}  // namespace torv
