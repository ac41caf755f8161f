// The grammar of the cutter's replies OR1 to OR4: one reply's text in, what it
// says out, with no panel and no shared state, so that a table can pin it.
#pragma once

#include "platform/base/win_types.h"
#include "platform/mfc/cstring.h"

enum ReplyKind {
    REPLY_NONE = 0,      // empty, or a head the program does not know
    REPLY_PANEL = 1,     // OR1, the panel settings
    REPLY_SIZE = 2,      // OR2, the media size
    REPLY_FACTORS = 3,   // OR3, the scale factors
    REPLY_FIRMWARE = 4,  // OR4, the firmware identity
};

// What one reply says; only the members of its kind are filled. Words are
// string-table ids, so that they follow the language of the resources.
struct ReplyRecord {
    ReplyKind kind = REPLY_NONE;

    UINT nMediaWeightWord = 0;
    CString strForce;  // as received
    CString strOffset;  // in mm, such as "0.25mm"
    UINT nQualityWord = 0;
    UINT nSmoothWord = 0;
    UINT nAutoUnrollWord = 0;
    int nMediaType = 0;  // 1 roll, 2 edge, 3 single; 0 when the reply names none
    UINT nMediaTypeWord = 0;

    CString strSizeX;  // in mm, such as "609.6  mm"
    CString strSizeY;

    CString strFactorX;  // as received
    CString strFactorY;
    LONG nFactorX = 0;  // the nominal pair when either reads as 0
    LONG nFactorY = 0;

    CString strModel;
    CString strVersion;  // field 3 before its first blank; empty without one
};

ReplyRecord ParseReply(const CString& reply);
