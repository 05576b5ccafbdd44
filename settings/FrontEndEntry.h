// One front-end launch setting (Kquery 4, or one Descent 3 entry of Kali 95) as it was read from
// the current user's registry, and the check states of its row.
#pragma once

#include <QString>

#include "platform/RegistryFile.h"

namespace torv {

enum FrontEndKind { FRONTEND_KQUERY4 = 0, FRONTEND_KALI95 = 1 };

// The three states of a row: the front end starts the game, this tool, or something else.
enum EntryCheck { CHECK_UNCHECKED = 0, CHECK_CHECKED = 1, CHECK_INDETERMINATE = 2 };

// A front end's value as found. Only a string the tool can read whole counts as text; a value
// that is there but is no string, or is longer than a front end's value may be, is kept exactly
// as it was.
struct FrontEndValue {
    enum class Status { Absent, Text, Kept };
    Status status = Status::Absent;
    platform::RegistryValue raw;  // as read, for Text and Kept
};

struct FrontEndEntry {
    int kind = FRONTEND_KQUERY4;
    int prefix = 0;      // 0: the Wine prefix; from 1: a Steam library's Proton prefix
    QString executable;  // the executable as read, in lower case; empty when it is no text
    QString parameters;  // the parameters as read; empty when they are no text
    QString keySuffix;   // empty for Kquery 4; "\" + subkey name for Kali 95
    QString rowText;
    FrontEndValue executableValue;
    FrontEndValue parametersValue;
};

}  // namespace torv
