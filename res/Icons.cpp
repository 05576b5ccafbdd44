#include "res/Icons.h"

// Resources compiled into a static library must be registered by name from code that is linked.
static void initAppResources() {
    Q_INIT_RESOURCE(app);
}

namespace torv::res {

QIcon AppIcon() {
    initAppResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/torv/torv-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/torv/torv-48.png"), QSize(48, 48));
    return icon;
}

}  // namespace torv::res
