// The resources a script describes, as the parser collects them for the emitter.
#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "platform/resources/resources.h"

namespace rc {

struct SourcePos {
    std::string strFile;
    int nLine = 0;
};

// A refusal of the input, reported as file:line: message.
struct CCompileError {
    SourcePos pos;
    std::string strMessage;
    std::string Describe() const;
};

struct RcControl {
    std::string strClass;
    DWORD dwStyle = 0;
    DWORD dwExStyle = 0;
    int nId = -1;
    std::string strText;
    short nX = 0, nY = 0, nCx = 0, nCy = 0;
};

struct RcDialog {
    SourcePos pos;
    int nId = 0;
    LANGID lang = 0;
    DWORD dwStyle = 0;
    DWORD dwExStyle = 0;
    short nX = 0, nY = 0, nCx = 0, nCy = 0;
    std::string strCaption;
    std::string strFont;
    WORD nPointSize = 0;
    WORD nWeight = 0;
    bool bItalic = false;
    BYTE nCharset = 1;
    bool bExtended = false;
    std::vector<RcControl> aControls;
};

struct RcString {
    SourcePos pos;
    UINT nId = 0;
    LANGID lang = 0;
    std::string strText;
};

struct RcIconImage {
    int nWidth = 0, nHeight = 0;
    std::array<platform::res::IconColor, 16> aPalette{};
    std::vector<BYTE> aPixels;
    std::vector<BYTE> aMask;
};

struct RcIcon {
    SourcePos pos;
    int nId = 0;
    LANGID lang = 0;
    std::vector<RcIconImage> aImages;
};

struct RcVersion {
    SourcePos pos;
    int nId = 0;
    LANGID lang = 0;
    WORD aFileVersion[4] = {};
    WORD aProductVersion[4] = {};
    DWORD dwFlagsMask = 0, dwFlags = 0, dwOS = 0, dwType = 0, dwSubtype = 0;
    std::string strBlock;
    std::vector<std::pair<std::string, std::string>> aStrings;
    WORD nTranslationLang = 0;
    WORD nTranslationCodePage = 0;
};

struct RcScript {
    std::vector<RcDialog> aDialogs;
    std::vector<RcString> aStrings;
    std::vector<RcIcon> aIcons;
    std::vector<RcVersion> aVersions;
};

}  // namespace rc
