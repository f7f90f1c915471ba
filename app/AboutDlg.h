#pragma once
// The About box (template IDD_ABOUTBOX): the icon, "v1.0" with our copyright
// line, and a default "OK". OK, Escape and the close box end it.

#include "ui/Dialog.h"
#include "ui/Resource.h"

class CAboutDlg : public CDialog {
public:
    static constexpr int IDD = IDD_ABOUTBOX;

    // The owner: the main dialog, over which the box is modal and centred.
    explicit CAboutDlg(CDialog* parent = nullptr) : CDialog(IDD, parent) {}
};
