// The saved-sizes file: reading it by keys, and the save-name dialog's list
// and its writing of the file.
#include "panel/calibration/save_name_dlg.h"
#include "panel/tests/calibration_fixture.h"
#include "platform/files/win_files.h"

namespace {

struct Entry {
    std::string name;
    int x, y;
    bool operator==(const Entry&) const = default;
};

std::vector<Entry> ReadBack() {
    std::vector<std::string> names;
    int x[SAVED_SIZE_SLOTS], y[SAVED_SIZE_SLOTS];
    int n = ReadSavedSizes([&](const char* name) { names.emplace_back(name); }, x, y);
    EXPECT_EQ(static_cast<size_t>(n), names.size());
    std::vector<Entry> entries;
    for (int i = 0; i < n; ++i) entries.push_back({names[i], x[i], y[i]});
    return entries;
}

std::string FileOf(const std::vector<Entry>& entries) {
    std::string text = "[KESTRA]\nTotal=" + std::to_string(entries.size()) + "\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string k = std::to_string(i + 1);
        text += "A" + k + "=" + std::to_string(entries[i].x) + "\nB" + k + "=" + std::to_string(entries[i].y) + "\nC" +
                k + "=" + entries[i].name + "\n";
    }
    return text;
}

std::vector<Entry> Numbered(int n) {
    std::vector<Entry> entries;
    for (int i = 1; i <= n; ++i) entries.push_back({"size " + std::to_string(i), 12000 + i, 13000 + i});
    return entries;
}

TEST_F(CalibrationTest, EachSavingAddsOnTopAndTheFileReadsBackTheSame) {
    const std::string name39(39, 'n');
    const std::pair<std::string, int> additions[] = {
        {"paper", 12390}, {"vinyl 60", 12451}, {name39, 1}, {name39 + "cut", 2}, {"two\nTotal=0", 3}};
    for (auto& [name, x] : additions) {
        CSaveNameDlg dialog;
        dialog.m_nFactorX = x;
        dialog.m_nFactorY = x == 12390 ? 13112 : x == 12451 ? 13059 : x;
        Type(IDC_EDIT_X, name);
        Click(IDC_ADD);
        Click(IDOK);
        EXPECT_EQ(dialog.DoModal(), IDOK);
        if (x == 12451) {
            EXPECT_EQ(SavedSizes(),
                      "[KESTRA]\nTotal=2\nA1=12451\nB1=13059\nC1=vinyl 60\nA2=12390\nB2=13112\nC2=paper\n");
        }
        // Written in full, read back (and so written next time) as 39 characters.
        if (x == 2) {
            EXPECT_NE(SavedSizes().find("C1=" + name39 + "cut\n"), std::string::npos);
        }
    }
    EXPECT_EQ(ReadBack(), (std::vector<Entry>{{"two", 3, 3},
                                              {name39, 2, 2},
                                              {name39, 1, 1},
                                              {"vinyl 60", 12451, 13059},
                                              {"paper", 12390, 13112}}));
}

TEST_F(CalibrationTest, OkWithoutChangesRewritesTheFileAndCancelLeavesIt) {
    CSaveNameDlg first;
    Click(IDOK);
    EXPECT_EQ(first.DoModal(), IDOK);
    EXPECT_EQ(SavedSizes(), "[KESTRA]\nTotal=0\n");
    PutSavedSizes("[KESTRA]\r\nTotal=1\r\nC1=crlf\r\n");
    CSaveNameDlg second;
    Type(IDC_EDIT_X, "unsaved");
    Click(IDC_ADD);
    Escape();
    EXPECT_EQ(second.DoModal(), IDCANCEL);
    EXPECT_EQ(SavedSizes(), "[KESTRA]\r\nTotal=1\r\nC1=crlf\r\n");
    CSaveNameDlg third;
    Click(IDOK);
    third.DoModal();
    EXPECT_EQ(SavedSizes(), FileOf({{"crlf", NOMINAL_FACTOR_X, NOMINAL_FACTOR_Y}}));
}

TEST_F(CalibrationTest, DeletingKeepsEachRemainingNameWithItsOwnFactors) {
    const std::vector<Entry> three = Numbered(3);
    struct Case {
        const char* deleted;
        std::vector<Entry> left;
    } cases[] = {
        {"size 1", {three[1], three[2]}},
        {"size 2", {three[0], three[2]}},
        {"size 3", {three[0], three[1]}},
    };
    for (const Case& c : cases) {
        PutSavedSizes(FileOf(three));
        CSaveNameDlg dialog;
        Click(IDC_NAME_LIST);
        Select(IDC_NAME_LIST, c.deleted);
        Click(IDC_DELETE);
        Click(IDOK);
        dialog.DoModal();
        EXPECT_EQ(SavedSizes(), FileOf(c.left)) << c.deleted;
    }
}

TEST_F(CalibrationTest, AddAndDeleteFollowTheEditAndTheListFocus) {
    PutSavedSizes(FileOf(Numbered(2)));
    CSaveNameDlg dialog;
    dialog.m_nFactorX = 1;
    dialog.m_nFactorY = 2;
    auto enabled = [&](bool add, bool remove, bool edit, const char* when) {
        Then([=] {
            EXPECT_EQ(IsWindowEnabled(Item(IDC_ADD)), add) << when;
            EXPECT_EQ(IsWindowEnabled(Item(IDC_DELETE)), remove) << when;
            EXPECT_EQ(IsWindowEnabled(Item(IDC_EDIT_X)), edit) << when;
        });
    };
    enabled(false, false, true, "opened");
    Type(IDC_EDIT_X, "x");
    enabled(true, false, true, "typed");
    Type(IDC_EDIT_X, "");
    enabled(false, false, true, "emptied");
    Click(IDC_NAME_LIST);
    Select(IDC_NAME_LIST, "size 2");
    enabled(false, true, true, "list focused");
    Type(IDC_EDIT_X, "new");
    Then([] { EXPECT_EQ(SendMessageA(Item(IDC_NAME_LIST), LB_GETCURSEL, 0, 0), LB_ERR); });
    enabled(true, false, true, "edit focused");
    Click(IDC_ADD);
    Then([] { EXPECT_EQ(Text(IDC_EDIT_X), ""); });
    enabled(false, false, false, "added");
    Click(IDC_NAME_LIST);
    Select(IDC_NAME_LIST, "size 2");
    Click(IDC_DELETE);
    enabled(false, true, false, "other entry deleted");
    Select(IDC_NAME_LIST, "new");
    Click(IDC_DELETE);
    enabled(false, true, true, "top entry deleted");
    Click(IDOK);
    dialog.DoModal();
    EXPECT_EQ(SavedSizes(), FileOf({Numbered(1)}));
}

TEST_F(CalibrationTest, TheTwentiethEntryIsTheLast) {
    for (int n : {19, 20}) {
        PutSavedSizes(FileOf(Numbered(n)));
        Seen();
        CSaveNameDlg dialog;
        Type(IDC_EDIT_X, "one more");
        Click(IDC_ADD);
        if (n == 20) Answer(IDOK);
        Click(IDOK);
        dialog.DoModal();
        std::vector<std::string> seen{"dialog 140", "end 1"};
        if (n == 20)
            seen.insert(seen.begin() + 1, {"box 0 \"The saving file already has 20 items.\nYou must delete one item.\n"
                                           "Then you can add a new saving item.\"",
                                           "end 1"});
        EXPECT_EQ(Seen(), seen) << n;
        EXPECT_EQ(ReadBack().size(), 20u) << n;
    }
}

TEST_F(CalibrationTest, KeysAreReadByNameAndNeverPastTheSlots) {
    struct Case {
        const char* content;  // nullptr: no file
        std::vector<Entry> read;
    } cases[] = {
        {"[Other]\nTotal=1\n[KESTRA]\nC2=b\nB1=11\nTotal=2\nExtra=1\nA2=20\nC1=a\nA1=10\nC3=above total\n",
         {{"a", 10, 11}, {"b", 20, NOMINAL_FACTOR_Y}}},
        {"[kestra]\ntotal=1\n", {{"", NOMINAL_FACTOR_X, NOMINAL_FACTOR_Y}}},
        {"[KESTRA]\nTotal=-3\nC1=x\n", {}},
        {"[KESTRA]\nTotal=many\nC1=x\n", {}},
        {nullptr, {}},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(m_root / "drive_c/WINDOWS/Kestra.$$$");
        if (c.content) PutSavedSizes(c.content);
        EXPECT_EQ(ReadBack(), c.read) << (c.content ? c.content : "no file");
    }
    // A hand-edited Total beyond the slots reads what fits; OK keeps all of that.
    std::string thirty = FileOf(Numbered(30));
    PutSavedSizes(thirty);
    EXPECT_EQ(ReadBack(), Numbered(SAVED_SIZE_SLOTS));
    CSaveNameDlg dialog;
    Type(IDC_EDIT_X, "refused");
    Click(IDC_ADD);
    Answer(IDOK);
    Click(IDOK);
    dialog.DoModal();
    EXPECT_EQ(SavedSizes(), FileOf(Numbered(SAVED_SIZE_SLOTS)));
}

TEST_F(CalibrationTest, AFileThatCannotBeWrittenIsReportedAndTheListStaysForAnotherTry) {
    EXPECT_EQ(std::string(SavedSizesPath()), "C:\\WINDOWS\\Kestra.$$$");
    struct Case {
        int writeToFail;  // 0: the open fails
        DWORD error;
        const char* box;
    };
    // The open, then each write of the three entries' file in turn.
    std::vector<Case> cases{{0, ERROR_ACCESS_DENIED, "box 16 Access to C:\\WINDOWS\\Kestra.$$$ was denied."}};
    const int writes = 2 + 3 * 4;
    for (int nth = 1; nth <= writes; ++nth)
        cases.push_back({nth, ERROR_DISK_FULL, "box 16 The disk is full; C:\\WINDOWS\\Kestra.$$$ could not be written."});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.writeToFail);
        PutSavedSizes(FileOf(Numbered(2)));
        Seen();
        CSaveNameDlg dialog;
        dialog.m_nFactorX = 7;
        dialog.m_nFactorY = 8;
        Type(IDC_EDIT_X, "new");
        Click(IDC_ADD);
        Then([c] {
            if (c.writeToFail == 0)
                platform::files::test::FailOpen("C:\\WINDOWS\\Kestra.$$$", 1, c.error);
            else
                platform::files::test::FailWrite("C:\\WINDOWS\\Kestra.$$$", c.writeToFail, c.error);
        });
        Click(IDOK);
        Answer(IDOK);
        Then([] { EXPECT_EQ(SendMessageA(Item(IDC_NAME_LIST), LB_GETCOUNT, 0, 0), 3); });
        Click(IDOK);
        EXPECT_EQ(dialog.DoModal(), IDOK);
        EXPECT_EQ(Seen(), (std::vector<std::string>{"dialog 140", c.box, "end 1", "end 1"}));
        std::vector<Entry> expected{{"new", 7, 8}};
        for (const Entry& e : Numbered(2)) expected.push_back(e);
        EXPECT_EQ(SavedSizes(), FileOf(expected));
    }
}

}  // namespace
