#include "workers/SiteProbe.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace torv {

namespace {

struct AbortAndDelete {
    void operator()(QNetworkReply* reply) const {
        reply->abort();
        delete reply;
    }
};

int StatusOf(const QNetworkReply& reply) {
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? status.toInt() : -1;
}

}  // namespace

bool IsValidSiteStatus(int status) {
    return (status >= 200 && status < 300) || status == 403;
}

SiteCheckState ProbeSite(const QString& url, const SiteCheckLimits& limits) {
    const QUrl target(url, QUrl::StrictMode);
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() || target.host().isEmpty() || (scheme != "http" && scheme != "https")) {
        return SITESTATE_INVALID;
    }

    // A manager of its own: its connection pool dies with it, so every check opens a fresh
    // connection (a reused one can hang after an odd status).
    QNetworkAccessManager manager;
    manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);

    QNetworkRequest request(target);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setRawHeader("Cache-Control", "no-cache");
    request.setRawHeader("Pragma", "no-cache");

    std::unique_ptr<QNetworkReply, AbortAndDelete> reply(manager.get(request));
    int status = -1;

    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(reply.get(), &QNetworkReply::requestSent, &loop,
                     [&limit, &limits] { limit.start(limits.dataMs); });
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, [&] {
        status = StatusOf(*reply);
        if (status >= 0) {
            loop.quit();  // the body is never read
        }
    });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);

    if (!reply->isFinished()) {
        limit.start(limits.connectMs);
        loop.exec();
    }
    if (status < 0 && reply->isFinished()) {
        status = StatusOf(*reply);
    }
    return IsValidSiteStatus(status) ? SITESTATE_VALID : SITESTATE_INVALID;
}

}  // namespace torv
