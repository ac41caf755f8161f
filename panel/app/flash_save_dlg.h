// The confirmation before the cutter saves its settings to flash memory.
#pragma once

#include "panel/resources/resource.h"
#include "platform/ui/afxwin.h"

class CFlashSaveDlg : public CDialog {
public:
    CFlashSaveDlg() : CDialog(IDD_FLASH_SAVE) {}
    ~CFlashSaveDlg() override = default;
    void DoDataExchange(CDataExchange*) override {}

    DECLARE_MESSAGE_MAP()
};
