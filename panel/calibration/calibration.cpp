// The Scaling button: calibration, stored or percentage factors, media type.
#include "panel/app/panel_dlg.h"
#include "panel/calibration/adjust_method_dlg.h"
#include "panel/calibration/correction.h"
#include "panel/calibration/measure_dlg.h"
#include "panel/calibration/media_type_dlg.h"
#include "panel/calibration/save_name_dlg.h"
#include "panel/calibration/scaling_dlg.h"
#include "panel/link/port.h"
#include "panel/link/protocol.h"
#include "panel/resources/resource.h"
#include "platform/serial/win_comm.h"

namespace {

constexpr int FACTOR_WAIT_PAUSES = 51;
constexpr DWORD FACTOR_WAIT_PAUSE_MS = 500;
constexpr LONG FIRST_TEST_ORIGIN = 100;
// Each new rectangle starts 5 mm further along both axes.
constexpr LONG TEST_ORIGIN_STEP = 200;
constexpr int MEDIA_SINGLE = 3;

// A plain sleep loop that serves no messages: a reply the reader hands over
// meanwhile waits until the next dialog or message box.
BOOL WaitForFactors() {
    for (int pause = 0; !g_bFactorsRead.load() && pause < FACTOR_WAIT_PAUSES; ++pause) Sleep(FACTOR_WAIT_PAUSE_MS);
    return g_bFactorsRead.load();
}

// FALSE when the user gives up with Cancel.
BOOL WaitUntilOnline(PortInfo* port) {
    for (;;) {
        DWORD lines = 0;
        GetCommModemStatus(port->hPort, &lines);
        if (lines & ANY_MODEM_LINE) return TRUE;
        if (AfxMessageBox(IDS_CHECK_ONLINE, MB_OKCANCEL | MB_ICONQUESTION) != IDOK) return FALSE;
    }
}

// The test size as the measurement dialog's starting values; FALSE unless accepted.
BOOL Measure(LONG testX, LONG testY, float* measuredX, float* measuredY) {
    CMeasureDlg measure;
    measure.m_fMeasuredX = static_cast<float>(testX);
    measure.m_fMeasuredY = static_cast<float>(testY);
    if (measure.DoModal() != IDOK) return FALSE;
    *measuredX = measure.m_fMeasuredX;
    *measuredY = measure.m_fMeasuredY;
    return TRUE;
}

}  // namespace

void CPanelDlg::OnScaling() {
    if (!m_pPort) return;
    g_nRequestType = REQ_READ_FACTORS;
    g_bFactorsRead.store(0);
    if (!ReconnectPort()) {
        AfxMessageBox(IDS_CONNECTING_ERROR, MB_ICONWARNING);
        return;
    }
    SendRequest(m_pPort);

    CAdjustMethodDlg method;
    INT_PTR chosen = method.DoModal();
    g_nTestOrigin = FIRST_TEST_ORIGIN;
    if (chosen != IDOK) return;
    if (!WaitForFactors()) {
        AfxMessageBox(IDS_CONNECTING_ERROR, MB_ICONWARNING);
        return;
    }
    g_bSizeReceived = 0;
    g_nRequestType = REQ_TEST_CUT;
    switch (method.m_nMethod) {
    case CAdjustMethodDlg::METHOD_MEDIA_TYPE: ChangeMediaType(); break;
    case CAdjustMethodDlg::METHOD_LOAD_DATA: LoadScaling(); break;
    case CAdjustMethodDlg::METHOD_CALIBRATION: Calibrate(method.m_nTestX, method.m_nTestY); break;
    default: break;
    }
}

void CPanelDlg::ChangeMediaType() {
    if (g_nMediaType == MEDIA_SINGLE) {
        AfxMessageBox(IDS_SINGLE_TYPE, MB_OK);
        return;
    }
    CMediaTypeDlg media;
    media.m_nMediaType = g_nMediaType;
    if (media.DoModal() == IDCANCEL || media.m_nMediaType == g_nMediaType) return;
    g_nMediaType = media.m_nMediaType;
    g_nRequestType = REQ_SET_MEDIA;
    SendRequest(m_pPort);
    // Ask for the settings again, so the panel shows the new media type.
    g_nRequestType = REQ_PANEL;
    SendRequest(m_pPort);
}

void CPanelDlg::LoadScaling() {
    CScalingDlg scaling;
    if (scaling.DoModal() != IDOK) return;
    g_nFactorX = scaling.m_nFactorX;
    g_nFactorY = scaling.m_nFactorY;
    g_nRequestType = REQ_SET_FACTORS;
    if (!ReconnectPort()) {
        AfxMessageBox(IDS_CONNECTING_ERROR, MB_ICONWARNING);
        return;
    }
    SendRequest(m_pPort);
}

void CPanelDlg::Calibrate(int testX, int testY) {
    m_nTestX = m_pPort->nTestWidthMm = testX;
    m_nTestY = m_pPort->nTestHeightMm = testY;
    if (!ReconnectPort()) {
        AfxMessageBox(IDS_CONNECTING_ERROR, MB_ICONWARNING);
        return;
    }
    SendRequest(m_pPort);

    float measuredX = 0, measuredY = 0;
    if (!Measure(m_nTestX, m_nTestY, &measuredX, &measuredY)) return;
    for (;;) {
        if (measuredX == static_cast<float>(m_nTestX) && measuredY == static_cast<float>(m_nTestY)) {
            AfxMessageBox(IDS_MODIFY_OK, MB_OK);
            return;
        }
        LONG factorX = 0, factorY = 0;
        if (!CorrectFactor(g_nFactorX, m_nTestX, measuredX, &factorX) ||
            !CorrectFactor(g_nFactorY, m_nTestY, measuredY, &factorY)) {
            // Nothing is changed or sent; the user may correct the measurement.
            AfxMessageBox(IDS_FACTOR_OUT_OF_RANGE, MB_ICONWARNING);
        } else {
            g_nFactorX = factorX;
            g_nFactorY = factorY;
            g_nTestOrigin += TEST_ORIGIN_STEP;
            if (!WaitUntilOnline(m_pPort)) return;
            SendRequest(m_pPort);
            if (AfxMessageBox(IDS_MEASURE_AGAIN, MB_YESNO | MB_ICONQUESTION) == IDYES) {
                CSaveNameDlg save;
                save.m_nFactorX = g_nFactorX;
                save.m_nFactorY = g_nFactorY;
                save.DoModal();
                return;
            }
        }
        if (!Measure(m_nTestX, m_nTestY, &measuredX, &measuredY)) return;
    }
}
