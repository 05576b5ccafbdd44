// A check worker stand-in for the site list's tests: it keeps the requests and answers them when
// told, as the worker thread would.
#pragma once

#include <QCoreApplication>
#include <memory>
#include <vector>

#include "workers/SiteChecker.h"

namespace torv::test {

class FakeChecker : public ISiteChecker {
public:
    void PostCheckSite(QObject* window, std::unique_ptr<CSiteCheckRequest> request) override {
        m_window = window;
        requests.push_back(std::move(request));
    }
    void PostQuit() override { quit = true; }

    void Answer(size_t request, uint16_t state) {
        QCoreApplication::postEvent(
            m_window, new CSiteStateEvent(MakeWParam(state, requests[request]->m_nId)));
    }

    std::vector<std::unique_ptr<CSiteCheckRequest>> requests;
    bool quit = false;

private:
    QObject* m_window = nullptr;
};

}  // namespace torv::test
