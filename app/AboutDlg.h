#pragma once
// The About box (template IDD_ABOUTBOX): the icon, "v1.0" with our copyright
// line, and a default "OK". OK, Escape and the close box end it.

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int IDD = 100;  // IDD_ABOUTBOX

    // The owner: the main dialog, over which the box is modal and centred.
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    // The control with this template identifier (the first, for IDC_STATIC).
    QWidget* GetDlgItem(int id) const;
};

inline constexpr const char* kAboutCaption = "Sobre el Updater";
inline constexpr const char* kAboutText = "v1.0  © 2026 Tolvanex, S.L.";
