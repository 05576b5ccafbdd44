// The site-check worker: its own thread takes check requests one at a time, in posting order, and
// answers each with SITESTATE_CHECKING and then the outcome.
#pragma once

#include <QPointer>
#include <QThread>
#include <memory>

#include "workers/SiteChecker.h"
#include "workers/SiteProbe.h"

namespace torv {

class CInternetThread final : public QThread, public ISiteChecker {
    Q_OBJECT
public:
    // Starts at once, owned by the application object until it deletes itself once its loop has
    // ended after PostQuit.
    static CInternetThread* Begin(const SiteCheckLimits& limits = {});

    void PostCheckSite(QObject* window, std::unique_ptr<CSiteCheckRequest> request) override;
    void PostQuit() override;

    // Drops the queued requests of every running worker, cuts the running checks short and
    // waits up to waitMs for the threads to end. Runs by itself when the application object goes,
    // so that no check outlives it; call it on the thread that started the workers.
    static void AbandonAll(int waitMs);

private:
    class Worker;

    static QList<CInternetThread*> Running();
    static void AtExit();

    CInternetThread(const SiteCheckLimits& limits, QObject* owner);

    Worker* m_worker;  // lives on the thread and is deleted there when the loop ends
};

}  // namespace torv
