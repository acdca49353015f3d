// The application object.
#pragma once

#include <afxwin.h>

class CConnectionManagerApp : public CWinApp {
public:
    CConnectionManagerApp() = default;
    ~CConnectionManagerApp() override = default;
    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};
