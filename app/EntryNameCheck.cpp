#include "app/EntryNameCheck.h"

namespace torv {

namespace {

bool hasDrivePrefix(const std::string& name) {
    if (name.size() < 2 || name[1] != ':') {
        return false;
    }
    const char c = name[0];
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool hasParentPart(const std::string& name) {
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) {
            end = name.size();
        }
        if (name.compare(start, end - start, "..") == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace

EntryName CheckEntryName(std::string_view stored) {
    std::string name(stored);
    for (char& c : name) {
        if (c == '\\') {
            c = '/';
        }
    }
    // A leading "/" covers absolute names and, after the conversion, UNC names ("\\server").
    if (name.empty() || name.front() == '/' || hasDrivePrefix(name) || hasParentPart(name)) {
        return {EntryNameKind::Unsafe, {}};
    }
    if (name.back() == '/') {
        return {EntryNameKind::Folder, std::move(name)};
    }
    return {EntryNameKind::File, std::move(name)};
}

}  // namespace torv
