#include "ui/UpdaterDlg.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimerEvent>

#include <algorithm>
#include <array>
#include <utility>

#include "firmware/FileException.h"
#include "ui/DialogUnits.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"
#include "ui/Resource.h"

namespace {

// IDD_UPDATER_DIALOG: 395 x 99 dialog units, ten controls in tab order.
constexpr QSize kDialogSize(395, 99);
constexpr std::array<ControlTemplate, 10> kControls{{
    {IDOK, ControlKind::DefPushButton, "ACTUALIZAR", 236, 35, 66, 19},
    {IDCANCEL, ControlKind::PushButton, "Salir", 311, 35, 69, 19},
    {IDC_STATIC, ControlKind::Static, "Archivo:", 7, 16, 42, 8},
    {IDC_FILE_PATH, ControlKind::Edit, "", 50, 13, 253, 13},
    {IDC_OPEN_HEX, ControlKind::PushButton, "Abrir HEX", 311, 12, 68, 14},
    {IDC_STATIC, ControlKind::Static, "Checksum:", 7, 38, 38, 8},
    {IDC_CHECKSUM, ControlKind::SunkenStatic, "Static", 51, 38, 91, 12},
    {IDC_STATIC, ControlKind::Static, "Progreso:", 9, 70, 38, 8},
    {IDC_PROGRESS, ControlKind::Progress, "Progress1", 50, 68, 253, 14},
    {IDC_PERCENT, ControlKind::Static, "0%", 309, 68, 66, 12},
}};

const char* const kCaption = "Tolvanex Updater para SWITCH Controllers v1.0";
const char* const kHexFilter = "Archivo HEX Actualización (*.hex)  |*.hex|Todo tipo (*.*)|*.*||";
const char* const kCannotOpen = "No se puede abrir el archivo";
// The framework's text for a file error of unknown cause.
const char* const kFileErrorGeneric = "在对 %1 进行访问时发生了一个不明错误。";

CUpdaterDlg::SysCommandHandler g_sysCommandHandler = nullptr;

void SetControlText(QWidget* control, const QString& text)
{
    if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->setText(text);
}

QString ControlText(const QWidget* control)
{
    if (auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(control))
        return edit->text();
    return QString();
}

}  // namespace

CUpdaterDlg::CUpdaterDlg(QWidget* parent)
    : QDialog(parent), m_progress(nullptr), m_hIcon(QGuiApplication::windowIcon())
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
}

CUpdaterDlg::~CUpdaterDlg() = default;

CUpdaterDlg::SysCommandHandler CUpdaterDlg::SetSysCommandHandler(SysCommandHandler handler)
{
    return std::exchange(g_sysCommandHandler, handler);
}

void CUpdaterDlg::CreateFromTemplate()
{
    const QFont font = DialogFont();
    setFont(font);
    const QSize base = DialogBaseUnits(font);
    setWindowTitle(QString::fromUtf8(kCaption));
    setFixedSize(DialogUnitsToPixels(kDialogSize, base));
    CreateControls(this, kControls, base);
    m_sysMenu = new QMenu(this);

    connect(static_cast<QPushButton*>(GetDlgItem(IDOK)), &QPushButton::clicked, this, [this] { OnOK(); });
    connect(static_cast<QPushButton*>(GetDlgItem(IDCANCEL)), &QPushButton::clicked, this, [this] { OnCancel(); });
    connect(static_cast<QPushButton*>(GetDlgItem(IDC_OPEN_HEX)), &QPushButton::clicked, this,
            [this] { RunHandler([this] { OnOpenHex(); }); });
}

QWidget* CUpdaterDlg::GetDlgItem(int id) const
{
    return FindDlgItem(this, id);
}

void CUpdaterDlg::setVisible(bool visible)
{
    // The window is built and initialised when it is first shown, the way a
    // modal run creates it, and then centred.
    const bool first = visible && !m_created;
    if (first) {
        m_created = true;
        CreateFromTemplate();
        if (OnInitDialog()) {
            // TRUE: the focus goes to the first tab stop.
            for (QObject* child : children()) {
                auto* control = qobject_cast<QWidget*>(child);
                if (control && !control->isWindow() && (control->focusPolicy() & Qt::TabFocus)) {
                    control->setFocus();
                    break;
                }
            }
        }
        CenterOnScreen();
    }
    QDialog::setVisible(visible);
    if (first)
        CenterOnScreen();  // again, now that the frame is known
}

void CUpdaterDlg::CenterOnScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // The whole window, frame included, in the middle of the work area.
    const QRect area = screen->availableGeometry();
    const QSize outer = frameGeometry().size();
    move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
}

void CUpdaterDlg::DoDataExchange(bool saveAndValidate)
{
    if (!m_progress)
        m_progress = qobject_cast<QProgressBar*>(GetDlgItem(IDC_PROGRESS));
    const std::pair<int, QString*> texts[] = {
        {IDC_PERCENT, &m_strPercent},
        {IDC_FILE_PATH, &m_strFilePath},
        {IDC_CHECKSUM, &m_strChecksum},
    };
    for (const auto& [id, member] : texts) {
        if (saveAndValidate)
            *member = ControlText(GetDlgItem(id));
        else
            SetControlText(GetDlgItem(id), *member);
    }
}

bool CUpdaterDlg::UpdateData(bool saveAndValidate)
{
    DoDataExchange(saveAndValidate);
    return true;
}

bool CUpdaterDlg::OnInitDialog()
{
    UpdateData(false);

    if (QMenu* sysMenu = GetSystemMenu()) {
        const QString aboutText = LoadStringResource(IDS_ABOUTBOX);
        if (!aboutText.isEmpty()) {
            sysMenu->addSeparator();
            QAction* about = sysMenu->addAction(aboutText);
            about->setData(IDM_ABOUTBOX);
        }
    }

    // One icon serves as both the big and the small one.
    setWindowIcon(m_hIcon);
    return true;
}

void CUpdaterDlg::OnSysCommand(quint32 nID, qintptr lParam)
{
    if (g_sysCommandHandler)
        g_sysCommandHandler(*this, nID, lParam);
}

void CUpdaterDlg::contextMenuEvent(QContextMenuEvent* event)
{
    if (!m_sysMenu || m_sysMenu->isEmpty())
        return;
    if (QAction* chosen = m_sysMenu->exec(event->globalPos()); chosen && chosen->data().isValid())
        OnSysCommand(chosen->data().toUInt(), 0);
}

void CUpdaterDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::AltModifier && m_sysMenu &&
        !m_sysMenu->isEmpty()) {
        if (QAction* chosen = m_sysMenu->exec(mapToGlobal(QPoint(0, 0))); chosen && chosen->data().isValid())
            OnSysCommand(chosen->data().toUInt(), 0);
        return;
    }
    QDialog::keyPressEvent(event);
}

QPoint CUpdaterDlg::IconOrigin(QSize client, QSize icon)
{
    return QPoint((client.width() - icon.width() + 1) / 2, (client.height() - icon.height() + 1) / 2);
}

void CUpdaterDlg::paintEvent(QPaintEvent* event)
{
    if (isMinimized()) {
        QPainter painter(this);
        const int side = style()->pixelMetric(QStyle::PM_LargeIconSize);
        const QPoint origin = IconOrigin(rect().size(), QSize(side, side));
        m_hIcon.paint(&painter, QRect(origin, QSize(side, side)));
        return;
    }
    QDialog::paintEvent(event);
}

template <class Handler>
void CUpdaterDlg::RunHandler(Handler handler)
{
    try {
        handler();
    } catch (const CFileException& error) {
        ShowStopBox(this, QString::fromUtf8(kFileErrorGeneric).arg(QFile::decodeName(error.FileName().c_str())));
    }
}

void CUpdaterDlg::OnOpenHex()
{
    // The lock-out starts only once the controller is open; until then the
    // button still works, and a file chosen then would be loaded while the
    // download reads the image.
    if (m_updateRunning)
        return;

    CFileDialog fileDialog(true, QStringLiteral("*.hex"), m_strFilePath, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                           QString::fromUtf8(kHexFilter), this);
    if (fileDialog.DoModal() != IDOK)
        return;

    // A file that does not open or cannot be read leaves everything as it was,
    // so the screen never shows a path beside another file's checksum.
    const QString previousPath = m_strFilePath;
    m_strFilePath = fileDialog.GetPathName();
    int opened = 0;
    try {
        opened = m_updater.LoadHexFile(QFile::encodeName(m_strFilePath).constData());
    } catch (...) {
        m_strFilePath = previousPath;
        throw;
    }
    if (!opened) {
        m_strFilePath = previousPath;
        ShowMessageBox(this, QString::fromUtf8(kCannotOpen));
        return;
    }
    m_strChecksum = QString::asprintf("%.4X", static_cast<unsigned>(m_updater.ComputeChecksum()));
    UpdateData(false);
}

void CUpdaterDlg::SetTimer(quintptr nIDEvent, int elapseMs)
{
    KillTimer(nIDEvent);
    m_timers[nIDEvent] = startTimer(elapseMs, Qt::PreciseTimer);
}

void CUpdaterDlg::KillTimer(quintptr nIDEvent)
{
    if (auto found = m_timers.find(nIDEvent); found != m_timers.end()) {
        killTimer(found->second);
        m_timers.erase(found);
    }
}

void CUpdaterDlg::timerEvent(QTimerEvent* event)
{
    for (const auto& [id, qtId] : m_timers) {
        if (qtId == event->timerId()) {
            OnTimer(id);
            return;
        }
    }
    QDialog::timerEvent(event);
}

void CUpdaterDlg::OnTimer(quintptr nIDEvent)
{
    if (nIDEvent == 0 && m_progress) {
        // The Windows bar clamps a position to its range; Qt's would ignore it.
        m_progress->setValue(std::clamp(static_cast<int>(m_updater.GetProgress()), m_progress->minimum(),
                                        m_progress->maximum()));
    }
}
