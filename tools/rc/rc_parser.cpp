// Recursive-descent parser for LANGUAGE, DIALOG(EX), STRINGTABLE, ICON and VERSIONINFO.
#include "tools/rc/rc_parser.h"

#include <algorithm>

#include "platform/resources/win_styles.h"
#include "tools/rc/rc_lexer.h"

namespace rc {
namespace {

// A control statement: its class, the style it starts from, and the bits of that
// style that name the control's type (replaced when the script names another type).
struct ControlKind {
    const char* keyword;
    const char* className;
    bool bHasText;
    DWORD dwDefault;
    DWORD dwTypeMask;
};

const ControlKind CONTROL_KINDS[] = {
    {"DEFPUSHBUTTON", "Button", true, BS_DEFPUSHBUTTON | WS_TABSTOP, BS_TYPEMASK},
    {"PUSHBUTTON", "Button", true, BS_PUSHBUTTON | WS_TABSTOP, BS_TYPEMASK},
    {"AUTORADIOBUTTON", "Button", true, BS_AUTORADIOBUTTON | WS_TABSTOP, BS_TYPEMASK},
    {"GROUPBOX", "Button", true, BS_GROUPBOX, BS_TYPEMASK},
    {"LTEXT", "Static", true, SS_LEFT | WS_GROUP, SS_TYPEMASK},
    {"CTEXT", "Static", true, SS_CENTER | WS_GROUP, SS_TYPEMASK},
    {"RTEXT", "Static", true, SS_RIGHT | WS_GROUP, SS_TYPEMASK},
    {"EDITTEXT", "Edit", false, ES_LEFT | WS_BORDER | WS_TABSTOP, ES_LEFT | ES_CENTER | ES_RIGHT},
    {"LISTBOX", "ListBox", false, LBS_NOTIFY | WS_BORDER, 0},
    {"COMBOBOX", "ComboBox", false, CBS_SIMPLE | WS_TABSTOP, CBS_DROPDOWNLIST},
    {"SCROLLBAR", "ScrollBar", false, SBS_HORZ, SBS_VERT},
};

const char* const CONTROL_CLASSES[] = {"Button", "Static", "Edit", "ListBox", "ComboBox", "ScrollBar"};

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

class CParser {
public:
    explicit CParser(const std::string& path) : m_lexer(path) { m_next = m_lexer.Next(); }

    RcScript Parse() {
        while (m_next.kind != TokenKind::End) Statement();
        return std::move(m_script);
    }

private:
    Token Take() {
        m_lastPos = m_next.pos;
        Token t = std::move(m_next);
        m_next = m_lexer.Next();
        return t;
    }
    bool IsName(const char* name) const { return m_next.kind == TokenKind::Name && m_next.strText == name; }
    [[noreturn]] void Fail(const std::string& message) const { throw CCompileError{m_next.pos, message}; }
    static std::string Describe(const Token& t) {
        switch (t.kind) {
            case TokenKind::Name:
                return "'" + t.strText + "'";
            case TokenKind::Number:
                return "number " + std::to_string(t.nValue);
            case TokenKind::String:
                return "a string";
            case TokenKind::Comma:
                return "','";
            case TokenKind::Pipe:
                return "'|'";
            case TokenKind::End:
                return "the end of the file";
        }
        return "?";
    }
    void ExpectName(const char* name) {
        if (!IsName(name)) Fail(std::string("expected ") + name + ", found " + Describe(m_next));
        Take();
    }
    // A missing comma is reported on the line of what precedes it, where it is missing.
    void Comma(const char* before) {
        if (m_next.kind != TokenKind::Comma)
            throw CCompileError{m_lastPos,
                                std::string("expected ',' before ") + before + ", found " + Describe(m_next)};
        Take();
    }
    bool OptionalComma() {
        if (m_next.kind != TokenKind::Comma) return false;
        Take();
        return true;
    }

    // A number, or a name from a #define or the built-in names.
    long long Value(const std::string& what) {
        if (m_next.kind == TokenKind::Number) return Take().nValue;
        if (m_next.kind == TokenKind::Name) {
            long long v = 0;
            if (auto d = m_lexer.Define(m_next.strText)) {
                v = *d;
            } else if (!BuiltinSymbol(m_next.strText, v)) {
                Fail("unknown name '" + m_next.strText + "' where " + what + " was expected");
            }
            Take();
            return v;
        }
        Fail("expected " + what + ", found " + Describe(m_next));
    }
    long long Ranged(const std::string& what, long long lo, long long hi) {
        SourcePos at = m_next.pos;
        long long v = Value(what);
        if (v < lo || v > hi)
            throw CCompileError{
                at, what + " " + std::to_string(v) + " out of range " + std::to_string(lo) + ".." + std::to_string(hi)};
        return v;
    }
    short Coordinate(const char* what) { return static_cast<short>(Ranged(what, -32768, 32767)); }
    std::string Text(const char* what) {
        if (m_next.kind != TokenKind::String)
            Fail(std::string("expected ") + what + " in quotes, found " + Describe(m_next));
        return Take().strText;
    }

    // term { '|' term }, term = [NOT] value; NOT clears bits from what is accumulated so far.
    DWORD Style(DWORD start, DWORD typeMask) {
        struct Term {
            bool bClear;
            DWORD dwBits;
        };
        std::vector<Term> terms;
        do {
            bool clear = false;
            if (IsName("NOT")) {
                Take();
                clear = true;
            }
            terms.push_back({clear, static_cast<DWORD>(Value("a style"))});
        } while (m_next.kind == TokenKind::Pipe && (Take(), true));
        DWORD style = start;
        for (const Term& t : terms)
            if (!t.bClear && (t.dwBits & typeMask)) style &= ~typeMask;
        for (const Term& t : terms) style = t.bClear ? style & ~t.dwBits : style | t.dwBits;
        return style;
    }

    LANGID CurrentLanguage(const SourcePos& at) const {
        if (!m_bHaveLanguage) throw CCompileError{at, "resource before any LANGUAGE statement"};
        return m_lang;
    }

    void Statement() {
        if (IsName("LANGUAGE")) {
            Take();
            WORD primary = static_cast<WORD>(Ranged("a primary language", 0, 0x3FF));
            Comma("the sublanguage");
            WORD sub = static_cast<WORD>(Ranged("a sublanguage", 0, 0x3F));
            m_lang = platform::res::MAKELANGID(primary, sub);
            m_bHaveLanguage = true;
            return;
        }
        if (IsName("STRINGTABLE")) return StringTable();
        SourcePos at = m_next.pos;
        int id = static_cast<int>(Ranged("a resource id", 1, 65535));
        if (m_next.kind != TokenKind::Name) Fail("expected a resource type after the id, found " + Describe(m_next));
        std::string type = m_next.strText;
        if (type == "DIALOG" || type == "DIALOGEX") return Dialog(at, id);
        if (type == "ICON") return Icon(at, id);
        if (type == "VERSIONINFO") return Version(at, id);
        Fail("unsupported resource type '" + type + "'");
    }

    template <typename Entry, typename Key>
    void RefuseDuplicate(const std::vector<Entry>& entries, const Entry& e, Key key, const std::string& what) {
        for (const Entry& other : entries)
            if (key(other) == key(e) && other.lang == e.lang)
                throw CCompileError{e.pos, what + " for language " + std::to_string(e.lang) +
                                               " defined twice (first at " + other.pos.strFile + ":" +
                                               std::to_string(other.pos.nLine) + ")"};
    }

    void StringTable() {
        SourcePos at = m_next.pos;
        Take();
        LANGID lang = CurrentLanguage(at);
        ExpectName("BEGIN");
        while (!IsName("END")) {
            if (m_next.kind == TokenKind::End) Fail("STRINGTABLE not closed with END");
            RcString s;
            s.pos = m_next.pos;
            s.lang = lang;
            s.nId = static_cast<UINT>(Ranged("a string id", 0, 65535));
            OptionalComma();
            s.strText = Text("the text");
            RefuseDuplicate(
                m_script.aStrings, s, [](const RcString& x) { return x.nId; }, "string " + std::to_string(s.nId));
            m_script.aStrings.push_back(std::move(s));
        }
        Take();
    }

    void Dialog(const SourcePos& at, int id) {
        RcDialog d;
        d.pos = at;
        d.nId = id;
        d.lang = CurrentLanguage(at);
        d.bExtended = Take().strText == "DIALOGEX";
        d.nX = Coordinate("x");
        Comma("y");
        d.nY = Coordinate("y");
        Comma("the width");
        d.nCx = Coordinate("the width");
        Comma("the height");
        d.nCy = Coordinate("the height");
        if (d.bExtended && OptionalComma()) Value("a help id");
        bool haveStyle = false, haveFont = false;
        while (!IsName("BEGIN")) {
            if (m_next.kind != TokenKind::Name) Fail("expected a dialog statement or BEGIN, found " + Describe(m_next));
            std::string option = Take().strText;
            if (option == "STYLE") {
                d.dwStyle = Style(0, 0);
                haveStyle = true;
            } else if (option == "EXSTYLE") {
                d.dwExStyle = Style(0, 0);
            } else if (option == "CAPTION") {
                d.strCaption = Text("the caption");
            } else if (option == "FONT") {
                Font(d);
                haveFont = true;
            } else {
                throw CCompileError{at, "dialog " + std::to_string(id) + ": unsupported statement '" + option + "'"};
            }
        }
        Take();
        if (!haveStyle) d.dwStyle = WS_POPUP | WS_BORDER | WS_SYSMENU | (d.strCaption.empty() ? 0 : WS_CAPTION);
        if (haveFont) d.dwStyle |= DS_SETFONT;
        while (!IsName("END")) {
            if (m_next.kind == TokenKind::End)
                throw CCompileError{at, "dialog " + std::to_string(id) + " not closed with END"};
            d.aControls.push_back(Control());
        }
        Take();
        RefuseDuplicate(
            m_script.aDialogs, d, [](const RcDialog& x) { return x.nId; }, "dialog " + std::to_string(id));
        m_script.aDialogs.push_back(std::move(d));
    }

    // FONT size, "name" [, weight, italic, charset]; the last three only in a DIALOGEX.
    void Font(RcDialog& d) {
        d.nPointSize = static_cast<WORD>(Ranged("a point size", 1, 255));
        Comma("the font name");
        d.strFont = Text("the font name");
        if (m_next.kind != TokenKind::Comma) return;
        if (!d.bExtended)
            Fail("FONT of a DIALOG takes a size and a name only; weight, italic and charset need DIALOGEX");
        Take();
        d.nWeight = static_cast<WORD>(Ranged("a font weight", 0, 1000));
        Comma("the italic flag");
        d.bItalic = Ranged("an italic flag", 0, 1) != 0;
        Comma("the character set");
        d.nCharset = static_cast<BYTE>(Ranged("a character set", 0, 255));
    }

    RcControl Control() {
        if (m_next.kind != TokenKind::Name) Fail("expected a control statement or END, found " + Describe(m_next));
        std::string keyword = m_next.strText;
        if (keyword == "CONTROL") return GenericControl();
        const ControlKind* kind = nullptr;
        for (const ControlKind& k : CONTROL_KINDS)
            if (keyword == k.keyword) kind = &k;
        if (!kind) Fail("unsupported control statement '" + keyword + "'");
        Take();
        RcControl c;
        c.strClass = kind->className;
        if (kind->bHasText) {
            c.strText = Text("the control's text");
            Comma("the control id");
        }
        c.nId = static_cast<int>(Ranged("a control id", -1, 65535));
        Comma("x");
        Placement(c);
        c.dwStyle = WS_CHILD | WS_VISIBLE | kind->dwDefault;
        if (OptionalComma()) c.dwStyle = Style(c.dwStyle, kind->dwTypeMask);
        if (OptionalComma()) c.dwExStyle = Style(0, 0);
        return c;
    }

    // CONTROL "text", id, class, style, x, y, cx, cy [, exstyle]
    RcControl GenericControl() {
        Take();
        RcControl c;
        c.strText = Text("the control's text");
        Comma("the control id");
        c.nId = static_cast<int>(Ranged("a control id", -1, 65535));
        Comma("the class");
        SourcePos at = m_next.pos;
        std::string name;
        if (m_next.kind == TokenKind::String || m_next.kind == TokenKind::Name)
            name = Take().strText;
        else
            Fail("expected a control class, found " + Describe(m_next));
        for (const char* known : CONTROL_CLASSES)
            if (Upper(name) == Upper(known)) c.strClass = known;
        if (c.strClass.empty()) throw CCompileError{at, "unknown control class '" + name + "'"};
        Comma("the style");
        c.dwStyle = Style(WS_CHILD | WS_VISIBLE, 0);
        Comma("x");
        Placement(c);
        if (OptionalComma()) c.dwExStyle = Style(0, 0);
        return c;
    }

    void Placement(RcControl& c) {
        c.nX = Coordinate("x");
        Comma("y");
        c.nY = Coordinate("y");
        Comma("the width");
        c.nCx = Coordinate("the width");
        Comma("the height");
        c.nCy = Coordinate("the height");
    }

    void Icon(const SourcePos& at, int id) {
        Take();
        RcIcon icon;
        icon.pos = at;
        icon.nId = id;
        icon.lang = CurrentLanguage(at);
        SourcePos fileAt = m_next.pos;
        std::string name = Text("the icon file name");
        std::string path = !name.empty() && name.front() == '/' ? name : DirectoryOf(fileAt.strFile) + name;
        icon.aImages = ReadIconMap(path, fileAt);
        RefuseDuplicate(
            m_script.aIcons, icon, [](const RcIcon& x) { return x.nId; }, "icon " + std::to_string(id));
        m_script.aIcons.push_back(std::move(icon));
    }

    void FourParts(WORD (&parts)[4], const char* what) {
        for (int i = 0; i < 4; ++i) {
            if (i > 0) Comma(what);
            parts[i] = static_cast<WORD>(Ranged(what, 0, 65535));
        }
    }

    void Version(const SourcePos& at, int id) {
        Take();
        RcVersion v;
        v.pos = at;
        v.nId = id;
        v.lang = CurrentLanguage(at);
        while (!IsName("BEGIN")) {
            if (m_next.kind != TokenKind::Name)
                Fail("expected a version statement or BEGIN, found " + Describe(m_next));
            std::string item = Take().strText;
            if (item == "FILEVERSION")
                FourParts(v.aFileVersion, "a file version part");
            else if (item == "PRODUCTVERSION")
                FourParts(v.aProductVersion, "a product version part");
            else if (item == "FILEFLAGSMASK")
                v.dwFlagsMask = static_cast<DWORD>(Value("a flag mask"));
            else if (item == "FILEFLAGS")
                v.dwFlags = static_cast<DWORD>(Value("flags"));
            else if (item == "FILEOS")
                v.dwOS = static_cast<DWORD>(Value("an operating system"));
            else if (item == "FILETYPE")
                v.dwType = static_cast<DWORD>(Value("a file type"));
            else if (item == "FILESUBTYPE")
                v.dwSubtype = static_cast<DWORD>(Value("a file subtype"));
            else
                throw CCompileError{at, "version block: unsupported statement '" + item + "'"};
        }
        Take();
        while (!IsName("END")) {
            if (m_next.kind == TokenKind::End) throw CCompileError{at, "version block not closed with END"};
            ExpectName("BLOCK");
            SourcePos blockAt = m_next.pos;
            std::string block = Text("the block name");
            if (block == "StringFileInfo")
                StringFileInfo(v);
            else if (block == "VarFileInfo")
                VarFileInfo(v);
            else
                throw CCompileError{blockAt, "unsupported version block '" + block + "'"};
        }
        Take();
        RefuseDuplicate(
            m_script.aVersions, v, [](const RcVersion& x) { return x.nId; }, "version block " + std::to_string(id));
        m_script.aVersions.push_back(std::move(v));
    }

    void StringFileInfo(RcVersion& v) {
        ExpectName("BEGIN");
        while (!IsName("END")) {
            if (m_next.kind == TokenKind::End) Fail("StringFileInfo not closed with END");
            ExpectName("BLOCK");
            if (!v.strBlock.empty()) Fail("only one string block per version block is supported");
            v.strBlock = Text("the string block's language and code page");
            if (v.strBlock.empty()) Fail("the string block needs a name such as \"040904b0\"");
            ExpectName("BEGIN");
            while (!IsName("END")) {
                if (m_next.kind == TokenKind::End) Fail("string block not closed with END");
                ExpectName("VALUE");
                std::string key = Text("the value's name");
                Comma("the value's text");
                std::string text = Text("the value's text");
                v.aStrings.emplace_back(std::move(key), std::move(text));
            }
            Take();
        }
        Take();
    }

    void VarFileInfo(RcVersion& v) {
        ExpectName("BEGIN");
        while (!IsName("END")) {
            if (m_next.kind == TokenKind::End) Fail("VarFileInfo not closed with END");
            ExpectName("VALUE");
            SourcePos at = m_next.pos;
            if (Text("the value's name") != "Translation")
                throw CCompileError{at, "VarFileInfo supports only \"Translation\""};
            Comma("the translation language");
            v.nTranslationLang = static_cast<WORD>(Ranged("a translation language", 0, 65535));
            Comma("the code page");
            v.nTranslationCodePage = static_cast<WORD>(Ranged("a code page", 0, 65535));
        }
        Take();
    }

    CLexer m_lexer;
    Token m_next;
    SourcePos m_lastPos;
    RcScript m_script;
    LANGID m_lang = 0;
    bool m_bHaveLanguage = false;
};

}  // namespace

RcScript ParseScript(const std::string& path) { return CParser(path).Parse(); }

}  // namespace rc
