// Dialog templates as data: sizes and places in dialog units, texts and styles. The widgets are
// made from them by BuildDialog (res/DialogBuilder.h).
#pragma once

#include <span>

namespace torv::res {

enum DialogId { IDD_ABOUTBOX = 100, IDD_TORV_DIALOG = 102, IDD_CONFIG = 129 };
enum IconId { IDR_MAINFRAME = 128 };
enum ControlId {
    IDC_STATIC = -1,
    IDOK = 1,
    IDCANCEL = 2,
    IDC_BROWSE = 3,
    IDC_LOG = 1000,
    IDC_D3PATH = 1001,
    IDC_SITELIST = 1002,
    IDC_APPLIST = 1009,
    IDC_KEEPALIVE = 1010,
    IDC_VERSION = 1011,
};

enum class ControlKind {
    Static,
    Icon,
    Edit,
    PushButton,
    DefaultPushButton,
    CheckBox,
    ListBox,
    GroupBox
};

enum ControlStyle : unsigned {
    StyleNone = 0,
    StyleNoPrefix = 1u << 0,
    StyleReadOnly = 1u << 1,
    StyleAutoHScroll = 1u << 2,
    StyleVScroll = 1u << 3,
    StyleHScroll = 1u << 4,
    StyleNoSelection = 1u << 5,
    StyleSorted = 1u << 6,
    StyleOwnerDrawFixed = 1u << 7,
    StyleNotify = 1u << 8,
    StyleBorder = 1u << 9,
    StyleTabStop = 1u << 10,
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, width, height;
    unsigned style;
};

struct DialogTemplate {
    int id;
    const char* caption;
    int width, height;
    const char* fontFamily;
    int fontPointSize;
    std::span<const ControlTemplate> controls;
};

// The template of a dialog id, or null for an id that has none.
const DialogTemplate* Dialog(int id);

}  // namespace torv::res
