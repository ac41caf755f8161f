// The method, measurement, media-type and scaling dialogs on their own.
#include <memory>

#include "panel/calibration/adjust_method_dlg.h"
#include "panel/calibration/measure_dlg.h"
#include "panel/calibration/media_type_dlg.h"
#include "panel/calibration/scaling_dlg.h"
#include "panel/tests/calibration_fixture.h"

namespace {

TEST_F(CalibrationTest, RangeChecksKeepTheDialogOpenWithTheFrameworksPrompt) {
    struct Case {
        int dialog;
        int edit;
        const char* typed;
        int radio;        // clicked after typing; 0 for none
        const char* box;  // nullptr: accepted
    } cases[] = {
        {IDD_ADJUST_METHOD, IDC_EDIT_X, "6000", 0, nullptr},
        {IDD_ADJUST_METHOD, IDC_EDIT_Y, "600", 0, nullptr},
        {IDD_ADJUST_METHOD, IDC_EDIT_Y, "-1", IDC_LOAD_DATA, "Please enter an integer between 0 and 600."},
        {IDD_ADJUST_METHOD, IDC_EDIT_X, "6001", IDC_LOAD_DATA, "Please enter an integer between 0 and 6000."},
        // A calibration divides by the test size; the other methods never use it.
        // Whatever is refused for a calibration names the same range.
        {IDD_ADJUST_METHOD, IDC_EDIT_X, "-1", 0, "Please enter an integer between 1 and 6000."},
        {IDD_ADJUST_METHOD, IDC_EDIT_X, "0", 0, "Please enter an integer between 1 and 6000."},
        {IDD_ADJUST_METHOD, IDC_EDIT_X, "6001", 0, "Please enter an integer between 1 and 6000."},
        {IDD_ADJUST_METHOD, IDC_EDIT_Y, "-1", 0, "Please enter an integer between 1 and 600."},
        {IDD_ADJUST_METHOD, IDC_EDIT_Y, "0", 0, "Please enter an integer between 1 and 600."},
        {IDD_ADJUST_METHOD, IDC_EDIT_Y, "601", 0, "Please enter an integer between 1 and 600."},
        {IDD_ADJUST_METHOD, IDC_EDIT_X, "0", IDC_LOAD_DATA, nullptr},
        {IDD_ADJUST_METHOD, IDC_EDIT_Y, "0", IDC_CHANGE_MEDIA, nullptr},
        // Checked although the edit is disabled by then.
        {IDD_ADJUST_METHOD, IDC_EDIT_X, "12x", IDC_LOAD_DATA, "Please enter an integer."},
        {IDD_MEASURE, IDC_EDIT_X, "1", 0, nullptr},
        {IDD_MEASURE, IDC_MEASURE_Y, "1000", 0, nullptr},
        {IDD_MEASURE, IDC_EDIT_X, "0.99", 0, "Please enter a number between 1 and 1000."},
        {IDD_MEASURE, IDC_MEASURE_Y, "1000.5", 0, "Please enter a number between 1 and 1000."},
        {IDD_MEASURE, IDC_EDIT_X, "abc", 0, "Please enter a number."},
    };
    for (const Case& c : cases) {
        std::unique_ptr<CDialog> dialog;
        if (c.dialog == IDD_ADJUST_METHOD)
            dialog = std::make_unique<CAdjustMethodDlg>();
        else
            dialog = std::make_unique<CMeasureDlg>();
        Seen();
        Type(c.edit, c.typed);
        if (c.radio) Click(c.radio);
        Click(IDOK);
        if (c.box) {
            Answer(IDOK);
            Escape();
        }
        INT_PTR result = dialog->DoModal();
        std::vector<std::string> expected{"dialog " + std::to_string(c.dialog)};
        if (c.box) expected.insert(expected.end(), {std::string("box 48 ") + c.box, "end 1"});
        expected.push_back(c.box ? "end 2" : "end 1");
        EXPECT_EQ(Seen(), expected) << c.typed;
        EXPECT_EQ(result, c.box ? IDCANCEL : IDOK) << c.typed;
    }
}

TEST_F(CalibrationTest, TheMethodDialogSetsAllThreeRadioButtonsAndTheTestSizeControls) {
    const int sizeControls[] = {IDC_TEST_SIZE_FRAME, IDC_MM_Y, IDC_MM_X, IDC_FRAME_X, IDC_FRAME_Y, IDC_EDIT_Y, IDC_EDIT_X};
    struct Case {
        int clicked;  // 0: as opened
        int method;
    } cases[] = {{0, 0}, {IDC_CHANGE_MEDIA, 2}, {IDC_LOAD_DATA, 1}, {IDC_CALIBRATION, 0}};
    CAdjustMethodDlg dialog;
    for (const Case& c : cases) {
        if (c.clicked) Click(c.clicked);
        Then([&, c] {
            EXPECT_EQ(dialog.m_nMethod, c.method);
            int checked = c.clicked ? c.clicked : IDC_CALIBRATION;
            for (int radio : {IDC_CALIBRATION, IDC_LOAD_DATA, IDC_CHANGE_MEDIA})
                EXPECT_EQ(SendMessageA(Item(radio), BM_GETCHECK, 0, 0), radio == checked) << radio;
            for (int id : sizeControls) EXPECT_EQ(IsWindowEnabled(Item(id)), c.method == 0) << id;
            EXPECT_EQ(Text(IDC_EDIT_X), "300");
            EXPECT_EQ(Text(IDC_EDIT_Y), "250");
        });
    }
    Click(IDOK);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.m_nMethod, 0);
    EXPECT_EQ(dialog.m_nTestX, 300);
    EXPECT_EQ(dialog.m_nTestY, 250);
}

TEST_F(CalibrationTest, TheMediaTypeDialogChecksWhatItWasGivenAndReturnsWhatWasClicked) {
    struct Case {
        int start;
        int clicked;  // 0: none
        bool rollChecked;
        int result;
    } cases[] = {{1, 0, true, 1}, {2, 0, false, 2}, {3, 0, false, 3}, {1, IDC_EDGE, false, 2}, {2, IDC_ROLL, true, 1}};
    for (const Case& c : cases) {
        CMediaTypeDlg dialog;
        dialog.m_nMediaType = c.start;
        if (c.clicked) Click(c.clicked);
        Then([c] {
            EXPECT_EQ(SendMessageA(Item(IDC_ROLL), BM_GETCHECK, 0, 0), c.rollChecked) << c.start;
            EXPECT_EQ(SendMessageA(Item(IDC_EDGE), BM_GETCHECK, 0, 0), !c.rollChecked) << c.start;
        });
        Click(IDOK);
        EXPECT_EQ(dialog.DoModal(), IDOK);
        EXPECT_EQ(dialog.m_nMediaType, c.result) << c.start;
    }
}

TEST_F(CalibrationTest, ScrollCodesMoveThePercentageAndClampAtTheEnds) {
    struct Case {
        int bar;
        std::vector<std::pair<UINT, int>> scrolls;  // code, thumb position
        int position;
        const char* shown;
        int factor;
    } cases[] = {
        {IDC_SCROLL_X, {}, 1000, "100", 12390},
        {IDC_SCROLL_X, {{SB_THUMBPOSITION, 500}}, 500, "50", 24780},
        {IDC_SCROLL_Y, {{SB_THUMBPOSITION, 500}}, 500, "50", 26224},
        {IDC_SCROLL_X, {{SB_THUMBPOSITION, 1500}}, 1500, "150", 8260},
        {IDC_SCROLL_Y, {{SB_THUMBPOSITION, 1500}}, 1500, "150", 8741},
        {IDC_SCROLL_X, {{SB_THUMBPOSITION, 1100}}, 1100, "110", 11263},
        {IDC_SCROLL_Y, {{SB_THUMBPOSITION, 1100}}, 1100, "110", 11920},
        {IDC_SCROLL_X, {{SB_LINELEFT, 0}}, 999, "99.9", 12402},
        {IDC_SCROLL_X, {{SB_LINERIGHT, 0}, {SB_RIGHT, 0}}, 1002, "100.2", 12365},
        {IDC_SCROLL_X, {{SB_LEFT, 0}, {SB_PAGELEFT, 0}}, 989, "98.9", 12527},
        {IDC_SCROLL_Y, {{SB_PAGERIGHT, 0}}, 1010, "101", 12982},
        {IDC_SCROLL_X, {{SB_THUMBTRACK, 700}, {SB_ENDSCROLL, 0}}, 1000, "100", 12390},
        {IDC_SCROLL_X, {{SB_THUMBPOSITION, 500}, {SB_LINELEFT, 0}, {SB_PAGELEFT, 0}}, 500, "50", 24780},
        {IDC_SCROLL_Y, {{SB_THUMBPOSITION, 1500}, {SB_PAGERIGHT, 0}}, 1500, "150", 8741},
    };
    for (const Case& c : cases) {
        CScalingDlg dialog;
        for (auto [code, pos] : c.scrolls) Scroll(c.bar, code, pos);
        Then([c] {
            EXPECT_EQ(GetScrollPos(Item(c.bar), SB_CTL), c.position) << c.bar << " " << c.shown;
            EXPECT_EQ(Text(c.bar == IDC_SCROLL_X ? IDC_EDIT_X : IDC_EDIT_Y), c.shown);
        });
        Click(IDOK);
        EXPECT_EQ(dialog.DoModal(), IDOK);
        EXPECT_EQ(c.bar == IDC_SCROLL_X ? dialog.m_nFactorX : dialog.m_nFactorY, c.factor) << c.shown;
        EXPECT_EQ(c.bar == IDC_SCROLL_X ? dialog.m_nFactorY : dialog.m_nFactorX,
                  c.bar == IDC_SCROLL_X ? NOMINAL_FACTOR_Y : NOMINAL_FACTOR_X);
        EXPECT_EQ(dialog.m_nMode, CScalingDlg::MODE_PERCENTAGE);
    }
}

TEST_F(CalibrationTest, ModeChangesKeepEachAxisAndTheLastChosenEntry) {
    PutSavedSizes("[KESTRA]\nTotal=2\nA1=12451\nB1=13059\nC1=vinyl 60\nA2=12000\nB2=13000\nC2=paper\n");
    CScalingDlg dialog;
    std::vector<std::pair<int, int>> factors;
    auto record = [&] { Then([&] { factors.emplace_back(dialog.m_nFactorX, dialog.m_nFactorY); }); };
    Then([&] {
        EXPECT_FALSE(IsWindowEnabled(Item(IDC_SAVED_SIZES)));
        EXPECT_EQ(Text(IDC_SAVED_SIZES), "vinyl 60");
    });
    Scroll(IDC_SCROLL_X, SB_THUMBPOSITION, 503);
    Scroll(IDC_SCROLL_Y, SB_THUMBPOSITION, 1100);
    record();  // the scroll handler divides by the exact position
    Click(IDC_LOAD_DATA);
    record();
    Select(IDC_SAVED_SIZES, "paper");
    record();
    // 50.3 in single precision, times 10, truncates to 502.
    Click(IDC_USE_PERCENTAGE);
    record();
    Click(IDC_LOAD_DATA);
    record();
    Then([&] {
        EXPECT_TRUE(IsWindowEnabled(Item(IDC_SAVED_SIZES)));
        EXPECT_FALSE(IsWindowEnabled(Item(IDC_SCROLL_X)));
        EXPECT_EQ(SendMessageA(Item(IDC_USE_PERCENTAGE), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    });
    Click(IDOK);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(factors, (std::vector<std::pair<int, int>>{{24632, 11920},
                                                         {12451, 13059},
                                                         {12000, 13000},
                                                         {12390000 / 502, 11920},
                                                         {12000, 13000}}));
    EXPECT_EQ(dialog.m_nMode, CScalingDlg::MODE_LOAD_DATA);
}

TEST_F(CalibrationTest, LoadDataWithoutSavedEntriesDeliversTheNominalFactors) {
    CScalingDlg dialog;
    Click(IDC_LOAD_DATA);
    Click(IDOK);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.m_nFactorX, NOMINAL_FACTOR_X);
    EXPECT_EQ(dialog.m_nFactorY, NOMINAL_FACTOR_Y);
    EXPECT_EQ(dialog.m_nMode, CScalingDlg::MODE_LOAD_DATA);
}

}  // namespace
