// The application icon (icon 128).
#pragma once

#include <QIcon>

namespace torv::res {

QIcon AppIcon();

}  // namespace torv::res
