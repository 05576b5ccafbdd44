#include "common/PumpMessages.h"

#include <QCoreApplication>

namespace torv {

void PumpMessages() {
    if (QCoreApplication::instance() == nullptr) {
        return;
    }
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace torv
