#pragma once
// The dialog that asks whether an existing file is to be replaced by a copy.
#include <qcore/platform/win32/types.h>

enum fo_dlg_btn {
    FO_BTN_YES = 0,     // replace this file
    FO_BTN_YES_ALL = 1, // replace this and all further files
    FO_BTN_NO = 2,      // keep this file
    FO_BTN_NO_ALL = 3,  // keep this and all further files
};

// Shows the dialog for copying `source` over `destination`; a null title gives the standard one. When the
// dialog cannot be shown the answer is FO_BTN_YES_ALL.
fo_dlg_btn pop_file_overwrite_dlg(const char* source, const char* destination, const char* title);
