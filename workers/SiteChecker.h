// What the site list needs from a check worker: post a request, post the end. The real worker is
// CInternetThread; tests put a recorder in its place.
#pragma once

#include <QObject>
#include <memory>

#include "workers/SiteCheckRequest.h"

namespace torv {

class ISiteChecker {
public:
    virtual ~ISiteChecker() = default;
    // WM_INET_CHECKSITE: answers go to window as CSiteStateEvent, in posting order, and are
    // dropped once the window is gone. A null request is ignored.
    virtual void PostCheckSite(QObject* window, std::unique_ptr<CSiteCheckRequest> request) = 0;
    // WM_QUIT behind the queued requests; after it the caller must forget the checker.
    virtual void PostQuit() = 0;
};

}  // namespace torv
