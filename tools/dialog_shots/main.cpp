// dialog-shots OUTDIR: renders every dialog template in every language variant
// with the desktop backend (Qt's offscreen platform works) to OUTDIR/T-LANG.png,
// and the program's message boxes with more than one button, and a failed
// open's box with its details, to OUTDIR/boxT-LANG.png (T: the MB_ button
// type). It checks each control's pixel rectangle against its dialog units,
// that no control's or box button's text (with a radio button's indicator) is
// wider than the control, that a box's details button is in the user-interface
// language, that no control inside a frame touches the frame's top edge, and
// that the title bar offers no box the template does not ask for. Exits 1
// listing what failed.
#include <QApplication>
#include <QFontMetrics>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/base/diagnosis.h"
#include "platform/resources/resources.h"
#include "platform/resources/win_styles.h"
#include "platform/ui/afxwin.h"
#include "platform/ui/qt/group_frame.h"
#include "platform/ui/qt/qt_backend.h"
#include "platform/ui/window_core.h"

namespace ui = platform::ui;

namespace {

const int kTemplates[] = {102, 134, 137, 139, 140, 141, 142, 143};
const LANGID kLanguages[] = {1028, 1031, 1033, 1040, 2052};

class ShotBackend : public ui::QtBackend {
public:
    ShotBackend(int& argc, char** argv, std::string dir) : QtBackend(argc, argv), m_dir(std::move(dir)) {}
    std::vector<std::string> failures;
    LANGID lang = 0;

    void ModalShown(ui::Window& w) override {
        QtBackend::ModalShown(w);
        bool box = w.kind == ui::WindowKind::MessageBox;
        std::string what = box ? "box" + std::to_string(w.boxType & MB_TYPEMASK) : std::to_string(w.templateId);
        std::string name = m_dir + "/" + what + "-" + std::to_string(lang) + ".png";
        if (!SavePicture(w.handle, name)) failures.push_back("cannot write " + name);
        if (box) {
            CheckBoxButtons(w, what);
        } else {
            Check(w);
            CheckFrameTops(w);
            CheckTitleBar(w);
        }
        ui::EndModal(w.handle, IDCANCEL);
    }

private:
    void Check(ui::Window& dialog) {
        for (HWND child : dialog.children) {
            ui::Window* c = ui::FindWindow(child);
            QWidget* widget = WidgetOf(child);
            std::string where = Where(dialog, *c);
            if (!widget) {
                failures.push_back(where + ": no widget");
                continue;
            }
            const RECT& r = c->unitsRect;
            QRect expected(PixelsX(r.left), PixelsY(r.top), PixelsX(r.right - r.left), PixelsY(r.bottom - r.top));
            QRect got = widget->geometry();
            bool label = c->kind == ui::WindowKind::Static;
            bool combo = c->kind == ui::WindowKind::ComboBox;
            auto* radio = qobject_cast<QRadioButton*>(widget);
            bool grew = (label || radio) && got.width() > expected.width();
            if (got.topLeft() != expected.topLeft() || (got.width() != expected.width() && !grew) ||
                (!combo && got.height() != expected.height()))
                failures.push_back(where + ": geometry differs from its dialog units");
            if (grew) CheckFreeSpace(dialog, *c, got, where);
            QString text = QString::fromStdString(c->text).remove('&');
            bool checkText = label || c->kind == ui::WindowKind::Button;
            if (checkText && !text.isEmpty() && (c->style & WS_VISIBLE)) {
                int width = QFontMetrics(widget->font()).horizontalAdvance(text) + (radio ? IndicatorWidth(radio) : 0);
                int room = got.width();
                bool multiLine = label && expected.height() >= 2 * QFontMetrics(widget->font()).height();
                if (width > room && !multiLine)
                    failures.push_back(where + ": text " + std::to_string(width) + " px in " + std::to_string(room) + " px");
            }
        }
    }
    // The circle and the gap before a radio button's text.
    static int IndicatorWidth(QRadioButton* radio) {
        QStyleOptionButton option;
        option.initFrom(radio);
        return radio->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, &option, radio) +
               radio->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, &option, radio);
    }

    // A control that starts inside a frame stays below the frame's top edge.
    void CheckFrameTops(ui::Window& dialog) {
        for (HWND frameHandle : dialog.children) {
            auto* frame = dynamic_cast<ui::GroupFrame*>(WidgetOf(frameHandle));
            if (!frame) continue;
            QRect area = frame->geometry();
            int edge = area.top() + frame->FrameTop();
            for (HWND other : dialog.children) {
                QWidget* widget = WidgetOf(other);
                if (!widget || widget == frame || !(ui::FindWindow(other)->style & WS_VISIBLE)) continue;
                QRect r = widget->geometry();
                bool inside = area.contains(r.center()) && r.top() > area.top();
                if (inside && r.top() <= edge + 1)
                    failures.push_back(Where(dialog, *ui::FindWindow(other)) + ": touches the top edge of frame \"" +
                                       ui::FindWindow(frameHandle)->text + "\"");
            }
        }
    }

    // A message box's buttons, in the user-interface language, show their whole text.
    void CheckBoxButtons(ui::Window& box, const std::string& what) {
        for (QPushButton* button : WidgetOf(box.handle)->findChildren<QPushButton*>()) {
            int width = QFontMetrics(button->font()).horizontalAdvance(button->text().remove('&'));
            if (lang != 1033 && button->text() == "Show Details...")
                failures.push_back(what + "/" + std::to_string(lang) + ": the details button is in English");
            if (width > button->width())
                failures.push_back(what + "/" + std::to_string(lang) + " button \"" + button->text().toStdString() +
                                   "\": text " + std::to_string(width) + " px in " + std::to_string(button->width()) + " px");
        }
    }

    // Minimise and maximise boxes only where the template asks for them.
    void CheckTitleBar(ui::Window& dialog) {
        Qt::WindowFlags flags = WidgetOf(dialog.handle)->windowFlags();
        bool minimize = dialog.style & WS_MINIMIZEBOX, maximize = dialog.style & WS_MAXIMIZEBOX;
        if (bool(flags & Qt::WindowMinimizeButtonHint) != minimize || bool(flags & Qt::WindowMaximizeButtonHint) != maximize)
            failures.push_back(std::to_string(dialog.templateId) + "/" + std::to_string(lang) +
                               ": minimise and maximise boxes differ from the template's styles");
    }

    std::string Where(ui::Window& dialog, ui::Window& c) const {
        return std::to_string(dialog.templateId) + "/" + std::to_string(lang) + " control " + std::to_string(c.id) +
               " \"" + c.text + "\"";
    }

    // A label that grew past its template must not run into another control
    // (the frames around it aside).
    void CheckFreeSpace(ui::Window& dialog, ui::Window& label, QRect grown, const std::string& where) {
        for (HWND other : dialog.children) {
            ui::Window* o = ui::FindWindow(other);
            QWidget* widget = WidgetOf(other);
            if (o == &label || !widget || !(o->style & WS_VISIBLE)) continue;
            if (o->kind == ui::WindowKind::Button && (o->style & BS_TYPEMASK) == BS_GROUPBOX) continue;
            if (widget->geometry().intersects(grown) && !widget->geometry().intersects(QRect(
                    PixelsX(label.unitsRect.left), PixelsY(label.unitsRect.top),
                    PixelsX(label.unitsRect.right - label.unitsRect.left), PixelsY(label.unitsRect.bottom - label.unitsRect.top))))
                failures.push_back(where + ": grown text runs into control " + std::to_string(o->id));
        }
        if (grown.right() >= WidgetOf(dialog.handle)->width()) failures.push_back(where + ": grown text leaves the dialog");
    }

    std::string m_dir;
};

CWinApp g_app("Dashel");

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dialog-shots OUTDIR\n");
        return 2;
    }
    std::filesystem::create_directories(argv[1]);
    ShotBackend backend(argc, argv, argv[1]);
    ui::SetBackend(&backend);
    for (LANGID lang : kLanguages) {
        backend.lang = lang;
        platform::res::SetUserUILanguage(lang);
        for (int id : kTemplates) {
            CDialog dialog(static_cast<UINT>(id));
            dialog.DoModal();
        }
        // The program's two boxes with more than one button.
        for (UINT type : {MB_OKCANCEL, MB_YESNO}) {
            char text[512];
            LoadStringA(nullptr, type == MB_OKCANCEL ? 3 : 4, text, sizeof text);
            MessageBoxA(nullptr, text, "Dashel", type | MB_ICONQUESTION);
        }
        // A failed open's box, whose details the toolkit shows behind a button of its own.
        platform::diagnosis::Set("COM1: no such port");
        MessageBoxA(nullptr, "error", "Dashel", MB_OK);
    }
    ui::SetBackend(nullptr);
    for (const std::string& f : backend.failures) std::printf("%s\n", f.c_str());
    std::printf("%zu problems in %zu dialogs; pictures in %s\n", backend.failures.size(),
                std::size(kTemplates) * std::size(kLanguages), argv[1]);
    return backend.failures.empty() ? 0 : 1;
}
