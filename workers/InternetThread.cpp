#include "workers/InternetThread.h"

#include <QCoreApplication>
#include <deque>

namespace torv {

// Owns the queue. A check runs a local event loop, which also delivers the next queued calls;
// they join the queue instead of starting a second check, so checks never overlap.
class CInternetThread::Worker : public QObject {
public:
    Worker(const SiteCheckLimits& limits, QObject* mailbox)
        : m_limits(limits), m_mailbox(mailbox) {}

    void EnqueueCheck(const QPointer<QObject>& window, std::unique_ptr<CSiteCheckRequest> request) {
        m_jobs.push_back(Job{false, window, std::move(request)});
        Drain();
    }

    void EnqueueQuit() {
        m_jobs.push_back(Job{true, {}, nullptr});
        Drain();
    }

private:
    struct Job {
        bool quit;
        QPointer<QObject> window;
        std::unique_ptr<CSiteCheckRequest> request;
    };

    void Drain() {
        if (m_draining) {
            return;
        }
        m_draining = true;
        while (!m_jobs.empty()) {
            if (thread()->isInterruptionRequested()) {
                m_jobs.clear();
                break;
            }
            Job job = std::move(m_jobs.front());
            m_jobs.pop_front();
            if (job.quit) {
                m_jobs.clear();
                thread()->quit();
                break;
            }
            OnCheckSite(job.window, std::move(job.request));
        }
        m_draining = false;
    }

    void OnCheckSite(const QPointer<QObject>& window, std::unique_ptr<CSiteCheckRequest> request) {
        if (!request) {
            return;
        }
        PostSiteState(SITESTATE_CHECKING, request->m_nId, window);
        PostSiteState(ProbeSite(request->m_strUrl, m_limits), request->m_nId, window);
    }

    void PostSiteState(uint16_t state, uint16_t id, const QPointer<QObject>& window) {
        if (window.isNull()) {
            return;
        }
        // Checked again on the window's own thread, where it cannot vanish under our feet.
        const uint32_t wParam = MakeWParam(state, id);
        QMetaObject::invokeMethod(
            m_mailbox,
            [window, wParam] {
                if (QObject* target = window.data()) {
                    CSiteStateEvent event(wParam);
                    QCoreApplication::sendEvent(target, &event);
                }
            },
            Qt::QueuedConnection);
    }

    SiteCheckLimits m_limits;
    QObject* m_mailbox;
    std::deque<Job> m_jobs;
    bool m_draining = false;
};

CInternetThread* CInternetThread::Begin(const SiteCheckLimits& limits) {
    static const bool hooked = [] {
        qAddPostRoutine(AtExit);
        return true;
    }();
    (void)hooked;

    // The application object owns the thread until it deletes itself after PostQuit, so every
    // running check can be found and ended before the application goes.
    auto* thread = new CInternetThread(limits, QCoreApplication::instance());
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    return thread;
}

CInternetThread::CInternetThread(const SiteCheckLimits& limits, QObject* owner)
    : QThread(owner), m_worker(new Worker(limits, this)) {
    setObjectName("CInternetThread");
    m_worker->moveToThread(this);
    connect(this, &QThread::finished, m_worker, &QObject::deleteLater);
}

QList<CInternetThread*> CInternetThread::Running() {
    QCoreApplication* app = QCoreApplication::instance();
    return app ? app->findChildren<CInternetThread*>(Qt::FindDirectChildrenOnly)
               : QList<CInternetThread*>{};
}

void CInternetThread::AtExit() {
    AbandonAll(3000);
    // The application object deletes the ended threads with its children. One whose check would
    // not end in time is let go instead: destroying a running thread would abort the process.
    for (CInternetThread* thread : Running()) {
        if (!thread->isFinished()) {
            thread->setParent(nullptr);
        }
    }
}

void CInternetThread::PostCheckSite(QObject* window, std::unique_ptr<CSiteCheckRequest> request) {
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker, target = QPointer<QObject>(window),
         request = std::move(request)]() mutable {
            worker->EnqueueCheck(target, std::move(request));
        },
        Qt::QueuedConnection);
}

void CInternetThread::PostQuit() {
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker] { worker->EnqueueQuit(); }, Qt::QueuedConnection);
}

void CInternetThread::AbandonAll(int waitMs) {
    const QList<CInternetThread*> threads = Running();
    // Ending the thread's loops also ends a running check's local loop; the jobs left are dropped.
    for (CInternetThread* thread : threads) {
        thread->requestInterruption();
        thread->quit();
    }
    for (CInternetThread* thread : threads) {
        thread->wait(waitMs);
    }
}

}  // namespace torv
