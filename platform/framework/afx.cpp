#include <afxwin.h>

#include <map>

#include "../user/window_core.h"

bool orientation_layout_enabled = false;

namespace orvane_platform {
HINSTANCE module_instance();
}

namespace {

CWinApp *the_app = nullptr;

std::map<HWND, CDialog *> &dialogs_by_window() {
    static std::map<HWND, CDialog *> m;
    return m;
}

}  // namespace

const AFX_MSGMAP *CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, AfxSig_vv, nullptr, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

bool CCmdTarget::DispatchToMap(UINT message, WPARAM wparam, LPARAM lparam) {
    UINT code = message == WM_COMMAND ? HIWORD(wparam) : 0;
    UINT id = message == WM_COMMAND ? LOWORD(wparam) : 0;
    for (const AFX_MSGMAP *map = GetMessageMap(); map != nullptr;
         map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY *e = map->lpEntries; e->pfn != nullptr || e->pfn_size != nullptr; ++e) {
            if (e->nMessage != message) continue;
            if (message == WM_COMMAND && (e->nCode != code || id < e->nID || id > e->nLastID)) continue;
            // The first matching entry wins.
            if (e->nSig == AfxSig_vwii) {
                (static_cast<CWnd *>(this)->*(e->pfn_size))(static_cast<UINT>(wparam), LOWORD(lparam), HIWORD(lparam));
            } else {
                (this->*(e->pfn))();
            }
            return true;
        }
    }
    return false;
}

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

void CWnd::OnSize(UINT, int, int) {}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
END_MESSAGE_MAP()

CDialog::CDialog(UINT template_id, CWnd *parent) : m_nIDHelp(template_id), m_pParentWnd(parent) {}

CDialog::~CDialog() {
    if (m_hWnd != nullptr) {
        dialogs_by_window().erase(m_hWnd);
        DestroyWindow(m_hWnd);
    }
}

INT_PTR CDialog::dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto &by_window = dialogs_by_window();
    if (message == WM_INITDIALOG) {
        auto *d = reinterpret_cast<CDialog *>(lparam);
        if (d == nullptr) return FALSE;
        by_window[window] = d;
        d->m_hWnd = window;
        return d->OnInitDialog();
    }
    auto it = by_window.find(window);
    if (it == by_window.end()) return FALSE;
    CDialog *d = it->second;
    if (message != WM_SIZE && message != WM_COMMAND) return FALSE;
    if (d->DispatchToMap(message, wparam, lparam)) return TRUE;
    if (message == WM_COMMAND && HIWORD(wparam) == 0) {
        if (LOWORD(wparam) == IDOK) {
            d->OnOK();
            return TRUE;
        }
        if (LOWORD(wparam) == IDCANCEL) {
            d->OnCancel();
            return TRUE;
        }
    }
    return FALSE;
}

BOOL CDialog::Create(UINT template_id, CWnd *parent) {
    HINSTANCE inst = AfxGetResourceHandle();
    HRSRC res = FindResource(inst, MAKEINTRESOURCE(template_id), RT_DIALOG);
    m_hWnd = nullptr;
    if (res == nullptr) return FALSE;
    HWND w = orvane_platform::create_dialog_from_bytes(LockResource(LoadResource(inst, res)), SizeofResource(inst, res),
                                                       parent != nullptr ? parent->m_hWnd : nullptr, &CDialog::dialog_proc,
                                                       reinterpret_cast<LPARAM>(this));
    return w != nullptr ? TRUE : FALSE;
}

INT_PTR CDialog::DoModal() {
    if (!Create(m_nIDHelp, m_pParentWnd)) return -1;
    HWND w = m_hWnd;
    INT_PTR result = orvane_platform::run_modal(w);
    dialogs_by_window().erase(w);
    m_hWnd = nullptr;
    return result;
}

BOOL CDialog::OnInitDialog() { return TRUE; }
void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }
void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCWSTR app_name) : m_pszAppName(app_name != nullptr ? app_name : u"orvanecmgr") {
    the_app = this;
    m_hInstance = orvane_platform::module_instance();
}

CWinApp::~CWinApp() {
    if (the_app == this) the_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::ExitInstance() { return 0; }
int CWinApp::Run() { return ExitInstance(); }

// The profile would live under this key; this handheld keeps no registry, so nothing is stored.
void CWinApp::SetRegistryKey(LPCWSTR key) { m_pszRegistryKey = key != nullptr ? key : u""; }

CWinApp *AfxGetApp() { return the_app; }
HINSTANCE AfxGetResourceHandle() { return orvane_platform::module_instance(); }
HINSTANCE AfxGetInstanceHandle() { return orvane_platform::module_instance(); }

int AfxWinMain() {
    CWinApp *app = AfxGetApp();
    if (app == nullptr) return 1;
    if (!app->InitInstance()) return app->ExitInstance();
    return app->Run();
}
