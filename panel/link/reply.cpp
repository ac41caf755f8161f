#include "panel/link/reply.h"

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

UINT Choice(const CString& field, UINT whenOne, UINT otherwise) { return field == "1" ? whenOne : otherwise; }

void ReadPanelSettings(CString& fields, ReplyRecord& r) {
    r.nMediaWeightWord = Choice(NextField(fields, ','), IDS_LIGHT, IDS_HEAVY);
    r.strForce = NextField(fields, ',');
    r.strOffset = FormatReading(ReadDecimal(NextField(fields, ',')) * 0.001) + "mm";
    r.nQualityWord = Choice(NextField(fields, ','), IDS_DRAFT, IDS_FINE);
    r.nSmoothWord = Choice(NextField(fields, ','), IDS_ENABLE, IDS_DISABLE);
    r.nAutoUnrollWord = Choice(NextField(fields, ','), IDS_ENABLE, IDS_DISABLE);
    CString media = NextField(fields, ';');
    static const UINT words[] = {IDS_ROLL, IDS_EDGE, IDS_SINGLE};
    for (int type = 1; type <= 3; ++type) {
        if (media == CString(static_cast<char>('0' + type))) {
            r.nMediaType = type;
            r.nMediaTypeWord = words[type - 1];
        }
    }
}

void ReadMediaSize(CString& fields, ReplyRecord& r) {
    r.strSizeX = FormatReading(ReadDecimal(NextField(fields, ',')) * 0.025) + "  mm";
    r.strSizeY = FormatReading(ReadDecimal(NextField(fields, ';')) * 0.025) + "  mm";
}

void ReadFactors(CString& fields, ReplyRecord& r) {
    // Both end at ',': a reply must carry a third field for the Y factor to count.
    r.strFactorX = NextField(fields, ',');
    r.strFactorY = NextField(fields, ',');
    r.nFactorX = ReadInteger(r.strFactorX);
    r.nFactorY = ReadInteger(r.strFactorY);
    if (r.nFactorX == 0 || r.nFactorY == 0) {
        r.nFactorX = NOMINAL_FACTOR_X;
        r.nFactorY = NOMINAL_FACTOR_Y;
    }
}

void ReadFirmware(CString& fields, ReplyRecord& r) {
    NextField(fields, ',');
    r.strModel = NextField(fields, ',');
    CString version = NextField(fields, ',');
    int blank = version.Find(' ');
    if (blank >= 0) r.strVersion = version.Left(blank);
}

}  // namespace

ReplyRecord ParseReply(const CString& text) {
    ReplyRecord r;
    CString fields = text;
    if (fields.IsEmpty()) return r;
    CString head = CutField(fields, fields.Find(','));
    fields.Delete(0, 1);
    head.TrimLeft();  // a line break left before the reply does not matter
    head.MakeUpper();
    if (head == "OR1") {
        r.kind = REPLY_PANEL;
        ReadPanelSettings(fields, r);
    } else if (head == "OR2") {
        r.kind = REPLY_SIZE;
        ReadMediaSize(fields, r);
    } else if (head == "OR3") {
        r.kind = REPLY_FACTORS;
        ReadFactors(fields, r);
    } else if (head == "OR4") {
        r.kind = REPLY_FIRMWARE;
        ReadFirmware(fields, r);
    }
    return r;
}
