// The dialog framework: application object, dialogs and message maps.
#pragma once

#include <windows.h>

#include <string>

class CCmdTarget;
class CWnd;

using AFX_PMSG = void (CCmdTarget::*)();

enum AfxSig { AfxSig_vv = 0, AfxSig_vwii = 1 };

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode;
    UINT nID;
    UINT nLastID;
    int nSig;
    AFX_PMSG pfn;
    void (CWnd::*pfn_size)(UINT, int, int);
};

struct AFX_MSGMAP {
    const AFX_MSGMAP *(*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY *lpEntries;
};

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    virtual const AFX_MSGMAP *GetMessageMap() const { return GetThisMessageMap(); }
    // Finds the first entry for a message in this class's map and then its bases'; true when handled.
    bool DispatchToMap(UINT message, WPARAM wparam, LPARAM lparam);

protected:
    static const AFX_MSGMAP *GetThisMessageMap();
};

#define DECLARE_MESSAGE_MAP()                         \
protected:                                            \
    static const AFX_MSGMAP *GetThisMessageMap();     \
    const AFX_MSGMAP *GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                  \
    const AFX_MSGMAP *theClass::GetMessageMap() const { return GetThisMessageMap(); }           \
    const AFX_MSGMAP *theClass::GetThisMessageMap() {                                           \
        using ThisClass [[maybe_unused]] = theClass;                                            \
        using TheBaseClass = baseClass;                                                         \
        static const AFX_MSGMAP_ENTRY entries[] = {
#define END_MESSAGE_MAP()                                                           \
    {0, 0, 0, 0, AfxSig_vv, nullptr, nullptr}};                                              \
    static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, &entries[0]}; \
    return &map;                                                                    \
    }

#define ON_WM_SIZE()                                                                              \
    {WM_SIZE, 0, 0, 0, AfxSig_vwii, nullptr, static_cast<void (CWnd::*)(UINT, int, int)>(&ThisClass::OnSize)},
#define ON_COMMAND(id, memberFxn) \
    {WM_COMMAND, 0, static_cast<UINT>(id), static_cast<UINT>(id), AfxSig_vv, static_cast<AFX_PMSG>(&ThisClass::memberFxn), nullptr},
#define ON_CBN_SELCHANGE(id, memberFxn)                                                               \
    {WM_COMMAND, CBN_SELCHANGE, static_cast<UINT>(id), static_cast<UINT>(id), AfxSig_vv, \
     static_cast<AFX_PMSG>(&ThisClass::memberFxn), nullptr},

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    ~CWnd() override = default;
    CWnd(const CWnd &) = delete;
    CWnd &operator=(const CWnd &) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }
    BOOL SetWindowText(LPCWSTR text) { return ::SetWindowText(m_hWnd, text); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    BOOL SetDlgItemText(int id, LPCWSTR text) { return ::SetDlgItemText(m_hWnd, id, text); }
    LRESULT SendMessage(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
        return ::SendMessage(m_hWnd, message, wparam, lparam);
    }
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
        return ::SendDlgItemMessage(m_hWnd, id, message, wparam, lparam);
    }
    BOOL PostMessage(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
        return ::PostMessage(m_hWnd, message, wparam, lparam);
    }
    HICON SetIcon(HICON icon, BOOL big) {
        return reinterpret_cast<HICON>(SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
    }
    int MessageBox(LPCWSTR text, LPCWSTR caption = nullptr, UINT type = MB_OK) {
        return ::MessageBox(m_hWnd, text, caption, type);
    }
    virtual void OnSize(UINT type, int cx, int cy);

    HWND m_hWnd = nullptr;

    DECLARE_MESSAGE_MAP()
};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT template_id, CWnd *parent = nullptr);
    ~CDialog() override;

    // Makes and shows the dialog from its template without a modal loop; DoModal is Create
    // and the loop.
    BOOL Create(UINT template_id, CWnd *parent = nullptr);
    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(int result);

    UINT m_nIDHelp;
    CWnd *m_pParentWnd;

    // The window procedure of every framework dialog; routes messages to the dialog's map.
    static INT_PTR dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    DECLARE_MESSAGE_MAP()
};

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(LPCWSTR app_name = nullptr);
    ~CWinApp() override;
    CWinApp(const CWinApp &) = delete;
    CWinApp &operator=(const CWinApp &) = delete;

    virtual BOOL InitInstance();
    virtual int ExitInstance();
    virtual int Run();
    void SetRegistryKey(LPCWSTR key);

    CWnd *m_pMainWnd = nullptr;
    HINSTANCE m_hInstance = nullptr;
    std::u16string m_pszAppName;
    std::u16string m_pszRegistryKey;

    DECLARE_MESSAGE_MAP()
};

CWinApp *AfxGetApp();
HINSTANCE AfxGetResourceHandle();
HINSTANCE AfxGetInstanceHandle();

// Off until a dialog turns it on; size handlers read it before re-laying out.
extern bool orientation_layout_enabled;

// The program's entry: runs the one application object.
int AfxWinMain();
