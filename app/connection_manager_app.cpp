#include "connection_manager_app.h"

#include <aygshell.h>

#include "connection_dialog.h"

BEGIN_MESSAGE_MAP(CConnectionManagerApp, CWinApp)
END_MESSAGE_MAP()

BOOL CConnectionManagerApp::InitInstance() {
    SHInitExtraControls();
    SetRegistryKey(u"Orvane Connection Manager");
    CConnectionDialog dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

CConnectionManagerApp theApp;
