// File lookups that behave the same whether or not the file system folds case.
#pragma once

#include <QString>

namespace torv::platform {

// True when path is a regular file (or a link to one) that opens for reading; a folder, a FIFO
// or a device is not, and asking never blocks.
bool isReadableFile(const QString& path);

// The full path of the entry of folder whose name equals name without regard to case, the exact
// spelling preferred; empty when there is none.
QString findFileNoCase(const QString& folder, const QString& name);

// The same for folders (or links to one) only: a file that merely shares the name is passed over.
QString findFolderNoCase(const QString& folder, const QString& name);

// The bare name of a file given as a name or a Windows or Unix path: drive ("X:"), folders ("\"
// and "/" both separate) and the extension (from the last "." of the name) removed.
QString fileNamePart(const QString& text);

}  // namespace torv::platform
