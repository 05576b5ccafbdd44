// Searching dropped files for site URLs and merging what they name into the site list, without a
// window: the list's part is reached through IDropSearchTarget.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace torv {

// What a search needs from the site list.
class IDropSearchTarget {
public:
    virtual ~IDropSearchTarget() = default;

    // The first row, searching from index 1 to the end and then index 0, whose text begins with
    // prefix without regard to case; LB_ERR when none.
    virtual int FindString(const QString& prefix) const = 0;
    // Adds a site (the bare "http://" is ignored), checks and places it.
    virtual void AppendSite(const QString& url) = 0;
    virtual void ShowSearchProgress(const QString& path, qint64 length) = 0;
    virtual void SetSearchProgress(int position) = 0;
    virtual void HideSearchProgress() = 0;
    // Lets the windows run, nested drops included. False when the target was destroyed meanwhile:
    // the search then ends without touching it again.
    virtual bool PumpMessages() = 0;
};

// Searches one file with the scanner its extension names (nothing for other extensions, folders
// and anything else that is not a plain file), showing the bar while it reads and appending every
// URL that no row begins with yet. False when the target went away during the search.
bool SearchDroppedFile(const QString& path, IDropSearchTarget& target);

// Each file in order; stops when the target went away (false).
bool SearchDroppedFiles(const QStringList& paths, IDropSearchTarget& target);

}  // namespace torv
