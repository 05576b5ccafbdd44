// Joining a folder and a name with the native separator.
#pragma once

#include <QString>

namespace torv {

// folder + name when the folder already ends in a separator, folder + "/" + name otherwise.
QString JoinPath(const QString& folder, const QString& name);

}  // namespace torv
