// The application object: runs the panel dialog and ends when it closes.
#pragma once

#include "platform/ui/afxwin.h"

class CPanelApp : public CWinApp {
public:
    CPanelApp();
    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

extern CPanelApp theApp;
