#include "app/MissionDownload.h"

#include "app/StagedFile.h"
#include "platform/FreeSpace.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>
#include <QTimer>
#include <QUrl>

#include <algorithm>
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

// Hands the body out in whole kChunk pieces, as many as have arrived, and fewer than kChunk bytes
// only when the body has ended (0 when nothing is left), so the copy loop counts the same chunks
// as blocking reads of kChunk would, without a copy per chunk. Qt's buffer is drained whole each
// time: a bounded buffer that is emptied promptly keeps the network thread reading ahead.
// The body must keep an average pace over each window of time: a byte now and then does not keep
// a dead site alive.
class ChunkReader {
public:
    ChunkReader(QNetworkReply& reply, const DownloadLimits& limits)
        : m_reply(reply),
          m_windowMs(limits.lowSpeedWindowMs),
          m_floorBytes(qint64(limits.lowSpeedBytesPerSecond) * limits.lowSpeedWindowMs / 1000),
          m_bytesPerSecond(limits.lowSpeedBytesPerSecond),
          m_window(limits.lowSpeedWindowMs) {}

    // The byte count, with data pointing at the bytes until the next call; -1 with failure set
    // when the body cannot be completed.
    qint64 read(const char*& data, QString& failure) {
        while (pending() < kChunk) {
            if (m_reply.bytesAvailable() > 0) {
                take();
            } else if (m_reply.isFinished()) {
                break;
            } else {
                waitForReply(m_reply, m_window);
            }
            if (!paceHolds()) {
                failure = QStringLiteral("less than %1 bytes per second over %2 seconds")
                              .arg(QString::number(m_bytesPerSecond), seconds(m_windowMs));
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
        const qint64 n = pending() < kChunk ? pending() : pending() / kChunk * kChunk;
        data = m_data.constData() + m_offset;
        m_offset += n;
        return n;
    }

private:
    qint64 pending() const { return m_data.size() - m_offset; }
    void take() {
        QByteArray piece = m_reply.readAll();
        m_received += piece.size();
        if (pending() == 0) {
            m_data = std::move(piece);
        } else {
            m_data.remove(0, m_offset);
            m_data.append(piece);
        }
        m_offset = 0;
    }
    // False once a whole window has passed with too few bytes; a window that met the floor
    // starts the next one.
    bool paceHolds() {
        if (!m_window.hasExpired()) {
            return true;
        }
        if (m_received - m_receivedAtWindowStart < m_floorBytes) {
            return false;
        }
        m_receivedAtWindowStart = m_received;
        m_window.setRemainingTime(m_windowMs);
        return true;
    }

    QNetworkReply& m_reply;
    int m_windowMs;
    qint64 m_floorBytes;
    int m_bytesPerSecond;
    QDeadlineTimer m_window;
    qint64 m_received = 0;
    qint64 m_receivedAtWindowStart = 0;
    QByteArray m_data;
    qint64 m_offset = 0;
};

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

QString shown(const QUrl& url) {
    return url.toString(QUrl::FullyEncoded);
}

QString progressLine(quint64 total) {
    return QStringLiteral("Bytes copied: %1").arg(total);
}

}  // namespace

bool DownloadMission(MissionLog& log, const QString& url, const QString& filePath,
                     const DownloadLimits& limits) {
    log.Log("Attempting to retrieve [" + url + "].");

    QUrl target(url, QUrl::TolerantMode);
    const QString unusable = unusableUrlReason(target);
    if (!unusable.isEmpty()) {
        log.Log("ERROR contacting server: [" + unusable + "].");
        return false;
    }

    const auto fail = [&](const QString& what) {
        log.Log("ERROR: Download from [" + hostOf(target) + "] failed: " + what + ".");
        return false;
    };

    // A fresh manager per call: no connection is shared with an earlier attempt.
    QNetworkAccessManager manager;
    // Declared after the manager, so it goes first.
    std::unique_ptr<QNetworkReply> reply;
    QSet<QUrl> visited{target};
    // The busy cursor covers the requests, every hop included, but not the transfer.
    BusyWhile connecting(log);
    // Redirects are followed here rather than by Qt, so that each hop is logged and checked.
    for (int hops = 0;; ++hops) {
        manager.setProxy(proxyFor(target));
        QNetworkRequest request(target);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                             QNetworkRequest::AlwaysNetwork);
        request.setHeader(QNetworkRequest::UserAgentHeader, QCoreApplication::applicationName());
        reply.reset(manager.get(request));
        // A bounded buffer lets Qt's network thread hand data over in large pieces; the copy
        // loop empties it whole every time (see ChunkReader).
        reply->setReadBufferSize(kReadBuffer);

        const QDeadlineTimer connectDeadline(limits.connectTimeoutMs);
        while (!statusArrived(*reply) && !reply->isFinished()) {
            if (!waitForReply(*reply, connectDeadline)) {
                log.Log("ERROR contacting server: [No answer from " + hostOf(target) + " within " +
                        seconds(limits.connectTimeoutMs) + " seconds].");
                return false;
            }
        }
        if (!statusArrived(*reply)) {
            log.Log("ERROR contacting server: [" + reply->errorString() + "].");
            return false;
        }
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray location = reply->rawHeader("Location");
        if (!isRedirect(status) || location.isEmpty()) {
            break;
        }
        const QUrl next = target.resolved(QUrl(QString::fromUtf8(location), QUrl::TolerantMode));
        if (visited.contains(next)) {
            return fail("the redirects lead in a loop back to [" + shown(next) + "]");
        }
        if (hops >= limits.maxRedirects) {
            return fail(QStringLiteral("more than %1 redirects").arg(limits.maxRedirects));
        }
        if (target.scheme() == "https" && next.scheme() != "https") {
            log.Log("ERROR: Refusing the redirect from [" + shown(target) + "] to [" + shown(next) +
                    "]: it would leave the encrypted connection.");
            return false;
        }
        const QString badNext = unusableUrlReason(next);
        if (!badNext.isEmpty()) {
            return fail("cannot follow the redirect to [" + shown(next) + "]: " + badNext);
        }
        log.Log("Redirected to [" + shown(next) + "].");
        visited.insert(next);
        target = next;
    }
    connecting.End();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status > 299) {
        const QString reason =
            reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        log.Log(QStringLiteral("Server returned %1 %2").arg(QString::number(status), reason));
        return false;
    }

    // A 204 carries no body whatever its headers say.
    const QVariant announced =
        status == 204 ? QVariant() : reply->header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid()) {
        const uint64_t size = announced.toULongLong();
        if (size > limits.maxArchiveBytes) {
            log.Log(QStringLiteral("ERROR: Download from [%1] refused: the archive is %2 bytes, "
                                   "more than the limit of %3 bytes.")
                        .arg(hostOf(target), QString::number(size),
                             QString::number(limits.maxArchiveBytes)));
            return false;
        }
        const QString folder = QFileInfo(filePath).path();
        const std::optional<uint64_t> room =
            limits.freeSpace ? limits.freeSpace(folder) : platform::freeBytes(folder);
        if (room && size > *room) {
            log.Log(
                QStringLiteral("ERROR: Download from [%1] refused: the archive is %2 bytes, "
                               "more than the %3 bytes free in [%4].")
                    .arg(hostOf(target), QString::number(size), QString::number(*room), folder));
            return false;
        }
    }

    // The body goes to a temporary file beside the target, which replaces the target only once
    // the body is complete; an older archive at that path survives every failure.
    StagedFile file(std::filesystem::path(QFile::encodeName(filePath).toStdString()));
    if (!file.isOpen()) {
        return false;
    }
    log.Log("Mission found, downloading to [" + filePath + "]...");
    log.Log(QStringLiteral("Bytes Copied: 0"));

    const auto writeFailed = [&] {
        log.Log("ERROR: Unable to write [" + filePath +
                "]: " + QString::fromStdString(file.errorText()) + ".");
        return false;
    };

    quint64 total = 0;
    quint32 chunks = 0;
    QString failure;
    const char* piece = nullptr;
    qint64 n = 0;
    ChunkReader body(*reply, limits);
    const auto overLimit = [&] {
        log.Log(QStringLiteral("ERROR: Download from [%1] stopped: the archive grew past %2 bytes, "
                               "the limit.")
                    .arg(hostOf(target), QString::number(limits.maxArchiveBytes)));
        return false;
    };
    // Counted chunk by chunk but written in runs between two progress lines, so the log is what
    // one write per chunk would give.
    const char* unwritten = nullptr;
    const auto writeRun = [&](const char* end) {
        file.write(reinterpret_cast<const uint8_t*>(unwritten), size_t(end - unwritten));
        unwritten = end;
        return !file.failed();
    };
    while ((n = body.read(piece, failure)) >= kChunk) {
        unwritten = piece;
        for (const char* chunk = piece; chunk < piece + n; chunk += kChunk) {
            total += kChunk;
            if (total > limits.maxArchiveBytes) {
                return writeRun(chunk) ? overLimit() : writeFailed();
            }
            if (chunks % 10 == 0) {
                if (!writeRun(chunk)) {
                    return writeFailed();
                }
                log.ReplaceLastLine(progressLine(total));
            }
            ++chunks;
        }
        if (!writeRun(piece + n)) {
            return writeFailed();
        }
    }
    if (n < 0) {
        return fail(failure);
    }
    if (n > 0) {
        if (total + quint64(n) > limits.maxArchiveBytes) {
            return overLimit();
        }
        file.write(reinterpret_cast<const uint8_t*>(piece), size_t(n));
        if (file.failed()) {
            return writeFailed();
        }
        total += quint64(n);
        log.ReplaceLastLine(progressLine(total));
    }

    if (announced.isValid() && announced.toULongLong() != total) {
        return fail(QStringLiteral("the connection closed after %1 of %2 bytes")
                        .arg(QString::number(total), announced.toString()));
    }
    if (!file.commit()) {
        return writeFailed();
    }
    return true;
}

}  // namespace torv
