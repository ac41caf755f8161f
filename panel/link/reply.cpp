// The cutter's replies OR1 to OR4, turned into the panel's texts and the
// shared protocol values.
#include "panel/app/panel_dlg.h"
#include "panel/link/protocol.h"
#include "panel/resources/resource.h"

namespace {

// The field up to the next sep, then the separator itself; without sep, an
// empty field and the first character dropped.
CString NextField(CString& rest, char sep) {
    CString field = CutField(rest, rest.Find(sep));
    rest.Delete(0, 1);
    return field;
}

CString Word(UINT id) {
    CString text;
    text.LoadString(id);
    return text;
}

CString Choice(const CString& field, UINT whenOne, UINT otherwise) { return Word(field == "1" ? whenOne : otherwise); }

}  // namespace

void CPanelDlg::InterpretReply() {
    CString reply = TakeReply();
    if (reply.IsEmpty()) return;
    CString head = CutField(reply, reply.Find(','));
    reply.Delete(0, 1);
    head.TrimLeft();
    head.MakeUpper();
    if (head == "OR1")
        ApplyPanelSettings(reply);
    else if (head == "OR2")
        ApplyMediaSize(reply);
    else if (head == "OR3")
        ApplyFactors(reply);
    else if (head == "OR4")
        ApplyFirmware(reply);
}

void CPanelDlg::ApplyPanelSettings(CString& fields) {
    m_strMediaWeight = Choice(NextField(fields, ','), IDS_LIGHT, IDS_HEAVY);
    m_strForce = NextField(fields, ',');
    m_strOffset = FormatReading(ReadDecimal(NextField(fields, ',')) * 0.001) + "mm";
    m_strQuality = Choice(NextField(fields, ','), IDS_DRAFT, IDS_FINE);
    m_strSmooth = Choice(NextField(fields, ','), IDS_ENABLE, IDS_DISABLE);
    m_strAutoUnroll = Choice(NextField(fields, ','), IDS_ENABLE, IDS_DISABLE);
    CString media = NextField(fields, ';');
    static const UINT words[] = {IDS_ROLL, IDS_EDGE, IDS_SINGLE};
    for (int type = 1; type <= 3; ++type) {
        if (media == CString(static_cast<char>('0' + type))) {
            m_strMediaType = Word(words[type - 1]);
            g_nMediaType = type;
        }
    }
}

void CPanelDlg::ApplyMediaSize(CString& fields) {
    m_strSizeX = FormatReading(ReadDecimal(NextField(fields, ',')) * 0.025) + "  mm";
    m_strSizeY = FormatReading(ReadDecimal(NextField(fields, ';')) * 0.025) + "  mm";
    g_bSizeReceived = 1;
}

void CPanelDlg::ApplyFactors(CString& fields) {
    m_strFactorX = NextField(fields, ',');
    m_strFactorY = NextField(fields, ',');
    g_nFactorX = ReadInteger(m_strFactorX);
    g_nFactorY = ReadInteger(m_strFactorY);
    if (g_nFactorX == 0 || g_nFactorY == 0) {
        g_nFactorX = NOMINAL_FACTOR_X;
        g_nFactorY = NOMINAL_FACTOR_Y;
    }
    g_bFactorsRead.store(1);
}

void CPanelDlg::ApplyFirmware(CString& fields) {
    NextField(fields, ',');
    m_strModel = NextField(fields, ',');
    CString version = NextField(fields, ',');
    NextField(fields, ',');
    NextField(fields, ';');
    int blank = version.Find(' ');
    m_strVersion = blank >= 0 ? version.Left(blank) : CString();
    ShowAboutBox();
}
