#include "res/DialogTemplates.h"

namespace torv::res {
namespace {

using K = ControlKind;

constexpr ControlTemplate kMainControls[] = {
    {IDC_LOG, K::ListBox, "", 0, 0, 441, 94,
     StyleBorder | StyleVScroll | StyleHScroll | StyleTabStop | StyleNotify | StyleNoSelection},
};

constexpr ControlTemplate kAboutControls[] = {
    {IDR_MAINFRAME, K::Icon, "", 11, 17, 20, 20, StyleNone},
    {IDC_STATIC, K::Static, "Torvane", 40, 10, 63, 8, StyleNoPrefix},
    {IDC_VERSION, K::Static, "", 106, 10, 63, 8, StyleNoPrefix},
    {IDC_STATIC, K::Static, "by Quillfen", 47, 20, 119, 8, StyleNone},
    {IDC_STATIC, K::Static, "Free software for Descent 3 players.", 40, 37, 119, 8, StyleNone},
    {IDOK, K::DefaultPushButton, "OK", 184, 7, 50, 14, StyleTabStop},
    {IDC_STATIC, K::GroupBox, "", 7, 48, 227, 67, StyleNone},
    {IDC_STATIC, K::Static, "Usage: torv [-getmission <mission>] [-rund3] [<d3 args>]", 16, 58, 207,
     11, StyleNone},
    {IDC_STATIC, K::Static, "-getmission: Try to download <mission> if you don't already have it.",
     20, 70, 209, 8, StyleNone},
    {IDC_STATIC, K::Static, "-rund3: Launch D3 after grabbing the mission.", 20, 80, 190, 8,
     StyleNone},
    {IDC_STATIC, K::Static, "<d3 args>: Additional command-line arguments passed to D3.", 20, 90,
     193, 8, StyleNone},
    {IDC_STATIC, K::Static, "(pass no parameters to start in configuration mode)", 20, 100, 210, 8,
     StyleNone},
};

constexpr ControlTemplate kConfigControls[] = {
    {IDC_STATIC, K::Static, "Path to D3 Executable", 5, 5, 72, 8, StyleNone},
    {IDC_D3PATH, K::Edit, "", 5, 15, 145, 14, StyleReadOnly | StyleAutoHScroll | StyleBorder},
    {IDC_BROWSE, K::DefaultPushButton, "Browse", 155, 15, 50, 14, StyleTabStop},
    {IDC_STATIC, K::Static, "Mission Download Sites", 5, 35, 76, 8, StyleNone},
    {IDC_SITELIST, K::ListBox, "", 5, 45, 200, 75,
     StyleOwnerDrawFixed | StyleNotify | StyleVScroll | StyleBorder | StyleTabStop},
    {IDC_STATIC, K::Static, "Use TORV with these Applications", 5, 130, 107, 8, StyleNone},
    {IDC_APPLIST, K::ListBox, "", 5, 140, 200, 48,
     StyleOwnerDrawFixed | StyleSorted | StyleNotify | StyleVScroll | StyleBorder | StyleTabStop},
    {IDC_KEEPALIVE, K::CheckBox, "Keep Alive", 5, 195, 80, 10, StyleTabStop},
    {IDOK, K::DefaultPushButton, "OK", 100, 191, 50, 14, StyleTabStop},
    {IDCANCEL, K::PushButton, "Cancel", 155, 191, 50, 14, StyleTabStop},
};

constexpr DialogTemplate kDialogs[] = {
    {IDD_ABOUTBOX, "About Torvane", 241, 122, "MS Sans Serif", 8, kAboutControls},
    {IDD_TORV_DIALOG, "Torvane", 442, 95, "MS Sans Serif", 8, kMainControls},
    {IDD_CONFIG, "Torvane Configuration", 212, 212, "MS Sans Serif", 8, kConfigControls},
};

}  // namespace

const DialogTemplate* Dialog(int id) {
    for (const DialogTemplate& dialog : kDialogs) {
        if (dialog.id == id) {
            return &dialog;
        }
    }
    return nullptr;
}

}  // namespace torv::res
