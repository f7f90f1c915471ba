#include "ui/Dialog.h"

#include <exception>
#include <new>
#include <string_view>
#include <utility>

#include "firmware/FileException.h"
#include "ui/Resource.h"

namespace {

// The framework's texts: memory ran out; a file error of unknown cause.
const char* const kOutOfMemory = "内存不足。";
const char* const kFileErrorGeneric = "在对 %1 进行访问时发生了一个不明错误。";
const char* const kUnknownError = "Error inesperado.";

std::string CurrentExceptionText()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (const CFileException& error) {
        std::string text = kFileErrorGeneric;
        text.replace(text.find("%1"), 2, error.FileName());
        return text;
    } catch (const std::exception& error) {
        const std::string_view what = error.what();
        return what.empty() ? kUnknownError : std::string(what);
    } catch (...) {
        return kUnknownError;
    }
}

template <class Handler>
auto Guarded(wnd::Handle window, Handler handler, decltype(handler()) onError)
{
    try {
        return handler();
    } catch (...) {
        CDialog::ReportCurrentException(window);
        return onError;
    }
}

std::string& AppNameStore()
{
    static std::string name;
    return name;
}

}  // namespace

void AfxSetAppName(std::string name)
{
    AppNameStore() = std::move(name);
}

std::string AfxGetAppName()
{
    return AppNameStore();
}

int AfxMessageBox(wnd::Handle owner, const std::string& text, unsigned type)
{
    return wnd::ShowMessageBox(owner, text, AfxGetAppName(), type);
}

void DDX_Text(CDataExchange* pDX, int id, std::string& value)
{
    const wnd::Handle control = pDX->m_pDlgWnd->GetDlgItem(id);
    if (pDX->m_bSaveAndValidate)
        value = wnd::GetText(control);
    else
        wnd::SetText(control, value);
}

void DDX_Control(CDataExchange* pDX, int id, CProgressCtrl& control)
{
    if (control.m_hWnd == nullptr)
        control.m_hWnd = pDX->m_pDlgWnd->GetDlgItem(id);
}

CDialog::CDialog(int templateId, CDialog* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent)
{
}

CDialog::~CDialog()
{
    if (m_hWnd != nullptr)
        wnd::DestroyDialogWindow(m_hWnd);
}

std::intptr_t CDialog::DoModal()
{
    return wnd::RunModal(*this, m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr);
}

bool CDialog::Create()
{
    return wnd::CreateModeless(*this, m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr) != nullptr;
}

void CDialog::EndDialog(std::intptr_t result)
{
    wnd::EndModal(m_hWnd, result);
}

bool CDialog::UpdateData(bool saveAndValidate)
{
    CDataExchange dx{this, saveAndValidate};
    DoDataExchange(&dx);
    return true;
}

void CDialog::DoDataExchange(CDataExchange*)
{
}

bool CDialog::OnInitDialog()
{
    UpdateData(false);
    return true;
}

bool CDialog::OnCommand(int id)
{
    switch (id) {
    case IDOK:
        OnOK();
        return true;
    case IDCANCEL:
        OnCancel();
        return true;
    default:
        return false;
    }
}

void CDialog::OnOK()
{
    if (UpdateData(true))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::OnTimer(std::uintptr_t)
{
}

bool CDialog::OnSysCommand(unsigned, std::intptr_t)
{
    return false;
}

bool CDialog::OnPaint()
{
    return false;
}

wnd::Icon CDialog::OnQueryDragIcon() const
{
    return nullptr;
}

void CDialog::ReportCurrentException(wnd::Handle owner)
{
    AfxMessageBox(owner, CurrentExceptionText(), wnd::kMbOk | wnd::kMbIconStop);
}

bool CDialog::HandleInitDialog(wnd::Handle window)
{
    m_hWnd = window;
    return Guarded(
        window, [this] { return OnInitDialog(); }, true);
}

void CDialog::HandleCommand(int id)
{
    Guarded(
        m_hWnd, [this, id] { return OnCommand(id); }, true);
}

void CDialog::HandleTimer(std::uintptr_t id)
{
    Guarded(
        m_hWnd,
        [this, id] {
            OnTimer(id);
            return true;
        },
        true);
}

bool CDialog::HandleSysCommand(unsigned id, std::intptr_t lParam)
{
    return Guarded(
        m_hWnd, [this, id, lParam] { return OnSysCommand(id, lParam); }, true);
}

bool CDialog::HandlePaint()
{
    return Guarded(
        m_hWnd, [this] { return OnPaint(); }, false);
}

wnd::Icon CDialog::HandleQueryDragIcon()
{
    return Guarded(
        m_hWnd, [this] { return OnQueryDragIcon(); }, wnd::Icon{});
}

void CDialog::HandleDestroy()
{
    m_hWnd = nullptr;
}
