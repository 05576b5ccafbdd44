// Starts the game through the platform's process start.
#pragma once

#include "app/GameStarter.h"

namespace torv {

class PlatformGameStarter : public GameStarter {
public:
    bool runAndWait(const QString& folder, const QString& executable, const QStringList& arguments,
                    QString& error) override;
    bool startDetached(const QString& folder, const QString& executable,
                       const QStringList& arguments, QString& error) override;
    bool replaceProcess(const QString& folder, const QString& executable,
                        const QStringList& arguments, QString& error) override;
};

}  // namespace torv
