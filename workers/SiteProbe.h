// One site check on the calling thread: a GET that skips every cache, follows no redirect and
// reads only the status line and headers.
#pragma once

#include <QString>

#include "workers/SiteCheckRequest.h"

namespace torv {

// The player watches the list while sites are checked one after another, so a silent site may
// hold the queue for these limits only.
struct SiteCheckLimits {
    int connectMs = 10000;  // name lookup and connection, until the request is on the wire
    int dataMs = 10000;     // from then until the status line and headers are in
};

// 200..299 and 403 (a site that forbids listing its folder still serves its files).
bool IsValidSiteStatus(int status);

// Blocks in a local event loop; never throws. Anything that is not an http or https URL, and
// every failure to get a status, is SITESTATE_INVALID.
SiteCheckState ProbeSite(const QString& url, const SiteCheckLimits& limits);

}  // namespace torv
