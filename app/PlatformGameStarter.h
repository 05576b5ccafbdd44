// Starts the game through the platform's process start.
#pragma once

#include "app/GameStarter.h"

namespace torv {

class PlatformGameStarter : public GameStarter {
public:
    bool RunAndWait(const QString& folder, const QString& executable, const QStringList& arguments,
                    QString& error) override;
    bool StartDetached(const QString& folder, const QString& executable,
                       const QStringList& arguments, QString& error) override;
    bool ReplaceProcess(const QString& folder, const QString& executable,
                        const QStringList& arguments, QString& error) override;
};

}  // namespace torv
