#include "app/MissionDownload.h"

#include "app/StagedFile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <memory>

namespace torv {

namespace {

constexpr qint64 kChunk = 2048;
constexpr qint64 kReadBuffer = 1024 * 1024;

QString seconds(int ms) {
    return QString::number(ms / 1000.0);
}

QString hostOf(const QUrl& url) {
    return url.port() == -1 ? url.host() : url.host() + u':' + QString::number(url.port());
}

// Empty when the URL can be requested; otherwise what is wrong with it.
QString unusableUrlReason(const QUrl& url) {
    if (!url.isValid()) {
        QString detail = url.errorString();
        return detail.isEmpty() ? QStringLiteral("Invalid URL") : "Invalid URL: " + detail;
    }
    const QString scheme = url.scheme();
    if (scheme.isEmpty()) {
        return QStringLiteral("The URL names no protocol (http:// or https://)");
    }
    if (scheme != "http" && scheme != "https") {
        return QStringLiteral("Unsupported protocol \"%1\"").arg(scheme);
    }
    if (url.host().isEmpty()) {
        return QStringLiteral("The URL names no host");
    }
    return {};
}

// The system's proxy settings, except for the local machine, which no proxy should stand between.
QNetworkProxy proxyFor(const QUrl& url) {
    const QString host = url.host();
    if (host.compare("localhost", Qt::CaseInsensitive) == 0 || QHostAddress(host).isLoopback()) {
        return QNetworkProxy(QNetworkProxy::NoProxy);
    }
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
    return proxies.isEmpty() ? QNetworkProxy(QNetworkProxy::NoProxy) : proxies.first();
}

bool statusArrived(const QNetworkReply& reply) {
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
}

// Runs a local event loop until the reply reports something or the deadline passes; false on
// timeout.
bool waitForReply(QNetworkReply& reply, const QDeadlineTimer& deadline) {
    if (deadline.hasExpired()) {
        return false;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&reply, &QNetworkReply::readyRead, &loop, &QEventLoop::quit);
    QObject::connect(&reply, &QNetworkReply::metaDataChanged, &loop, &QEventLoop::quit);
    QObject::connect(&reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    timer.start(std::chrono::milliseconds(deadline.remainingTime()));
    loop.exec();
    return !timedOut;
}

// Hands the body out in kChunk pieces, fewer only when the body has ended (0 when nothing is
// left), so the copy loop sees the blocking reads it is written for. Qt's buffer is drained whole
// each time: a bounded buffer that is emptied promptly keeps the network thread reading ahead.
class ChunkReader {
public:
    ChunkReader(QNetworkReply& reply, int stallTimeoutMs)
        : m_reply(reply), m_stallTimeoutMs(stallTimeoutMs) {}

    // -1 with failure set when the body cannot be completed.
    qint64 read(char* buffer, QString& failure) {
        QDeadlineTimer stall(m_stallTimeoutMs);
        while (pending() < kChunk) {
            if (m_reply.bytesAvailable() > 0) {
                take();
                stall.setRemainingTime(m_stallTimeoutMs);
                continue;
            }
            if (m_reply.isFinished()) {
                break;
            }
            if (!waitForReply(m_reply, stall)) {
                failure = QStringLiteral("no data for %1 seconds").arg(seconds(m_stallTimeoutMs));
                return -1;
            }
        }
        if (pending() < kChunk && m_reply.error() != QNetworkReply::NoError) {
            failure = m_reply.errorString();
            if (failure.isEmpty()) {
                failure = QStringLiteral("the connection failed");
            }
            return -1;
        }
        const qint64 n = std::min(pending(), kChunk);
        std::memcpy(buffer, m_data.constData() + m_offset, size_t(n));
        m_offset += n;
        return n;
    }

private:
    qint64 pending() const { return m_data.size() - m_offset; }
    void take() {
        if (m_offset > 0) {
            m_data.remove(0, m_offset);
            m_offset = 0;
        }
        m_data.append(m_reply.readAll());
    }

    QNetworkReply& m_reply;
    int m_stallTimeoutMs;
    QByteArray m_data;
    qint64 m_offset = 0;
};

QString progressLine(quint64 total) {
    return QStringLiteral("Bytes copied: %1").arg(total);
}

}  // namespace

bool DownloadMission(MissionLog& log, const QString& url, const QString& filePath,
                     const DownloadLimits& limits) {
    log.log("Attempting to retrieve [" + url + "].");

    const QUrl target(url, QUrl::TolerantMode);
    const QString unusable = unusableUrlReason(target);
    if (!unusable.isEmpty()) {
        log.log("ERROR contacting server: [" + unusable + "].");
        return false;
    }

    // A fresh manager per call: no connection is shared with an earlier attempt.
    QNetworkAccessManager manager;
    manager.setProxy(proxyFor(target));
    QNetworkRequest request(target);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setHeader(QNetworkRequest::UserAgentHeader, QCoreApplication::applicationName());
    // Declared after the manager, so it goes first.
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    // A bounded buffer lets Qt's network thread hand data over in large pieces; the copy loop
    // empties it whole every time (see ChunkReader).
    reply->setReadBufferSize(kReadBuffer);

    // The busy cursor covers the request only, not the transfer.
    BusyWhile connecting(log);
    const QDeadlineTimer connectDeadline(limits.connectTimeoutMs);
    while (!statusArrived(*reply) && !reply->isFinished()) {
        if (!waitForReply(*reply, connectDeadline)) {
            log.log("ERROR contacting server: [No answer from " + hostOf(target) + " within " +
                    seconds(limits.connectTimeoutMs) + " seconds].");
            return false;
        }
    }
    connecting.end();
    if (!statusArrived(*reply)) {
        log.log("ERROR contacting server: [" + reply->errorString() + "].");
        return false;
    }

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status > 299) {
        const QString reason =
            reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        log.log(QStringLiteral("Server returned %1 %2").arg(QString::number(status), reason));
        return false;
    }

    // The body goes to a temporary file beside the target, which replaces the target only once
    // the body is complete; an older archive at that path survives every failure.
    StagedFile file(std::filesystem::path(QFile::encodeName(filePath).toStdString()));
    if (!file.isOpen()) {
        return false;
    }
    log.log("Mission found, downloading to [" + filePath + "]...");
    log.log(QStringLiteral("Bytes Copied: 0"));

    const auto fail = [&](const QString& what) {
        log.log("ERROR: Download from [" + hostOf(target) + "] failed: " + what + ".");
        return false;
    };
    const auto writeFailed = [&] {
        log.log("ERROR: Unable to write [" + filePath +
                "]: " + QString::fromStdString(file.errorText()) + ".");
        return false;
    };

    char buffer[kChunk];
    quint64 total = 0;
    quint32 chunks = 0;
    QString failure;
    qint64 n = 0;
    ChunkReader body(*reply, limits.stallTimeoutMs);
    while ((n = body.read(buffer, failure)) == kChunk) {
        total += kChunk;
        if (chunks % 10 == 0) {
            log.replaceLastLine(progressLine(total));
        }
        file.write(reinterpret_cast<const uint8_t*>(buffer), kChunk);
        if (file.failed()) {
            return writeFailed();
        }
        ++chunks;
    }
    if (n < 0) {
        return fail(failure);
    }
    if (n > 0) {
        file.write(reinterpret_cast<const uint8_t*>(buffer), size_t(n));
        if (file.failed()) {
            return writeFailed();
        }
        total += quint64(n);
        log.replaceLastLine(progressLine(total));
    }

    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    // A 204 carries no body whatever its headers say.
    if (status != 204 && announced.isValid() && announced.toULongLong() != total) {
        return fail(QStringLiteral("the connection closed after %1 of %2 bytes")
                        .arg(QString::number(total), announced.toString()));
    }
    if (!file.commit()) {
        return writeFailed();
    }
    return true;
}

}  // namespace torv
