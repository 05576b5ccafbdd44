#include "sitelist/ListBoxItems.h"

namespace torv {

int IListBoxItems::FindString(const QString& prefix) const {
    const int count = GetCount();
    for (int step = 1; step <= count; ++step) {
        const int index = step % count;
        if (GetText(index).startsWith(prefix, Qt::CaseInsensitive)) {
            return index;
        }
    }
    return LB_ERR;
}

}  // namespace torv
