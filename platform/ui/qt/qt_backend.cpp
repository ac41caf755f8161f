#include "platform/ui/qt/qt_backend.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QComboBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QThread>
#include <QTimer>
#include <QTranslator>

#include <algorithm>
#include <climits>
#include <map>

#include "platform/resources/resources.h"
#include "platform/resources/win_styles.h"
#include "platform/ui/box_buttons.h"
#include "platform/ui/qt/group_frame.h"
#include "platform/ui/qt/qt_messages.h"

namespace platform::ui {
namespace {

constexpr int kIconId = 128;

QString Text(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

QIcon ProgramIcon() {
    QIcon icon;
    const res::IconGroup* group = res::FindIcon(kIconId);
    if (!group) return icon;
    for (int i = 0; i < group->imageCount; ++i) {
        const res::IconImage& im = group->images[i];
        QImage image(im.width, im.height, QImage::Format_ARGB32);
        for (int y = 0; y < im.height; ++y)
            for (int x = 0; x < im.width; ++x) {
                int at = y * im.width + x;
                const res::IconColor& c = im.palette[im.pixels[at] & 0x0F];
                image.setPixel(x, y, im.mask[at] ? qRgba(0, 0, 0, 0) : qRgb(c.red, c.green, c.blue));
            }
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

// A font whose dialog base units come close to the System font's 8 x 16 pixels.
QFont DialogFont() {
    QFont best = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    int bestScore = INT_MAX;
    for (int px = 10; px <= 20; ++px) {
        QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        f.setPixelSize(px);
        QFontMetrics fm(f);
        int avg = (fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 + 1) / 2;
        int score = std::abs(fm.height() - 16) * 2 + std::abs(avg - 8) * 3;
        if (score < bestScore) {
            bestScore = score;
            best = f;
        }
    }
    return best;
}

// The title bar's boxes that the template's styles ask for, and no others.
Qt::WindowFlags DialogFlags(DWORD style) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
    if ((style & WS_CAPTION) == WS_CAPTION) flags |= Qt::WindowTitleHint;
    if (style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
    if (style & WS_MAXIMIZEBOX) flags |= Qt::WindowMaximizeButtonHint;
    return flags;
}

int ScrollCode(int action) {
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub: return SB_LINELEFT;
    case QAbstractSlider::SliderSingleStepAdd: return SB_LINERIGHT;
    case QAbstractSlider::SliderPageStepSub: return SB_PAGELEFT;
    case QAbstractSlider::SliderPageStepAdd: return SB_PAGERIGHT;
    case QAbstractSlider::SliderToMinimum: return SB_LEFT;
    case QAbstractSlider::SliderToMaximum: return SB_RIGHT;
    default: return -1;
    }
}

// The toolkit's own texts (a message box's "Show Details..." button) in the
// user-interface language, as the box's other buttons are; "" keeps English.
QString ToolkitTranslation(LANGID lang) {
    switch (res::PRIMARYLANGID(lang)) {
    case res::LANG_GERMAN: return "qtbase_de";
    case res::LANG_ITALIAN: return "qtbase_it";
    case res::LANG_CHINESE: {
        WORD sub = res::SUBLANGID(lang);
        bool simplified = sub == res::SUBLANG_CHINESE_SIMPLIFIED || sub == res::SUBLANG_CHINESE_SINGAPORE;
        return simplified ? "qtbase_zh_CN" : "qtbase_zh_TW";
    }
    default: return "";
    }
}

}  // namespace

struct QtBackend::Impl : public QObject {
    QtMessages messages;  // before the application, whose start it watches
    QApplication app;
    QTranslator toolkitTexts;
    QString toolkitLanguage;  // the translation toolkitTexts holds, "" for none
    QTimer deadline;
    QFont font;
    int baseX = 8, baseY = 16;
    std::map<HWND, QWidget*> widgets;
    std::map<QWidget*, HWND> windows;  // top-level widgets back to their windows
    bool syncing = false;              // while the window system's state is copied into a widget

    Impl(int& argc, char** argv) : messages(argc > 0 ? argv[0] : "kestra"), app(argc, argv) {
        messages.Started();
        deadline.setSingleShot(true);
        font = DialogFont();
        QFontMetrics fm(font);
        baseX = (fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 + 1) / 2;
        baseY = fm.height();
        QApplication::setFont(font);
        QApplication::setWindowIcon(ProgramIcon());
        app.installEventFilter(this);
    }

    void UseToolkitLanguage(LANGID lang) {
        QString translation = ToolkitTranslation(lang);
        if (translation == toolkitLanguage) return;
        toolkitLanguage = translation;
        QApplication::removeTranslator(&toolkitTexts);
        if (!translation.isEmpty() &&
            toolkitTexts.load(translation, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QApplication::installTranslator(&toolkitTexts);
    }

    bool OnGuiThread() const { return QThread::currentThread() == app.thread(); }

    QRect Geometry(const Window& w) const {
        const RECT& r = w.unitsRect;
        int x = r.left * baseX / 4, y = r.top * baseY / 8;
        int cx = (r.right - r.left) * baseX / 4, cy = (r.bottom - r.top) * baseY / 8;
        // A combo box's height includes its dropped list; the closed box is one line.
        if (w.kind == WindowKind::ComboBox) cy = std::min(cy, 14 * baseY / 8);
        return QRect(x, y, cx, cy);
    }

    QWidget* Make(Window& w, QWidget* parent) {
        HWND hwnd = w.handle;
        DWORD type = w.style & BS_TYPEMASK;
        switch (w.kind) {
        case WindowKind::Button:
            if (type == BS_GROUPBOX) return new GroupFrame(Text(w.text), parent);
            if (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON) {
                auto* radio = new QRadioButton(Text(w.text), parent);
                radio->setAutoExclusive(false);
                connect(radio, &QRadioButton::clicked, this, [this, hwnd] { Gesture(hwnd, [hwnd] { ClickControl(hwnd, false); }); });
                return radio;
            } else {
                auto* button = new QPushButton(Text(w.text), parent);
                button->setDefault(type == BS_DEFPUSHBUTTON);
                connect(button, &QPushButton::clicked, this, [this, hwnd] { Gesture(hwnd, [hwnd] { ClickControl(hwnd, false); }); });
                return button;
            }
        case WindowKind::Edit: {
            auto* edit = new QLineEdit(Text(w.text), parent);
            if (w.style & ES_RIGHT) edit->setAlignment(Qt::AlignRight);
            connect(edit, &QLineEdit::textEdited, this, [this, hwnd](const QString& text) {
                std::string utf8 = text.toUtf8().toStdString();
                Gesture(hwnd, [hwnd, utf8] { TypeText(hwnd, utf8); });
            });
            return edit;
        }
        case WindowKind::ComboBox: {
            auto* combo = new QComboBox(parent);
            combo->setEditable((w.style & 0x3) != CBS_DROPDOWNLIST);
            connect(combo, QOverload<int>::of(&QComboBox::activated), this, [this, hwnd, combo](int index) {
                std::string item = combo->itemText(index).toUtf8().toStdString();
                Gesture(hwnd, [hwnd, item] { SelectItem(hwnd, item); });
            });
            if (combo->lineEdit())
                connect(combo->lineEdit(), &QLineEdit::textEdited, this, [this, hwnd](const QString& text) {
                    std::string utf8 = text.toUtf8().toStdString();
                    Gesture(hwnd, [hwnd, utf8] { TypeText(hwnd, utf8); });
                });
            return combo;
        }
        case WindowKind::ListBox: {
            auto* list = new QListWidget(parent);
            connect(list, &QListWidget::currentRowChanged, this, [this, hwnd, list](int row) {
                if (row < 0) return;
                std::string item = list->item(row)->text().toUtf8().toStdString();
                Gesture(hwnd, [hwnd, item] { SelectItem(hwnd, item); });
            });
            connect(list, &QListWidget::itemDoubleClicked, this,
                    [this, hwnd] { Gesture(hwnd, [hwnd] { ClickControl(hwnd, true); }); });
            return list;
        }
        case WindowKind::ScrollBar: {
            auto* bar = new QScrollBar(Qt::Horizontal, parent);
            connect(bar, &QScrollBar::actionTriggered, this, [this, hwnd, bar](int action) {
                int code = ScrollCode(action);
                if (code < 0) return;
                // The program moves the thumb itself, as it answers the notification.
                bar->setSliderPosition(bar->value());
                Gesture(hwnd, [hwnd, code] { ScrollControl(hwnd, static_cast<UINT>(code), 0); });
            });
            connect(bar, &QScrollBar::sliderMoved, this, [this, hwnd](int pos) {
                Gesture(hwnd, [hwnd, pos] { ScrollControl(hwnd, SB_THUMBTRACK, pos); });
            });
            connect(bar, &QScrollBar::sliderReleased, this, [this, hwnd, bar] {
                int pos = bar->sliderPosition();
                Gesture(hwnd, [hwnd, pos] {
                    ScrollControl(hwnd, SB_THUMBPOSITION, pos);
                    ScrollControl(hwnd, SB_ENDSCROLL, 0);
                });
            });
            return bar;
        }
        default: {
            auto* label = new QLabel(Text(w.text), parent);
            label->setWordWrap(true);
            label->setAlignment(((w.style & SS_TYPEMASK) == SS_CENTER ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
            return label;
        }
        }
    }

    // Several translated labels and radio buttons are longer than their
    // templates allow; they grow to the right, into the free space beside
    // them, rather than clip. Where that space ends, a smaller font takes the
    // rest. A radio button's text starts after its indicator.
    void FitText(const Window& w, QWidget* widget) {
        QRect g = Geometry(w);
        auto* label = qobject_cast<QLabel*>(widget);
        auto* radio = qobject_cast<QRadioButton*>(widget);
        QString text = label ? label->text() : radio->text().remove('&');
        int indicator = radio ? IndicatorWidth(radio) : 0;
        QFont font = widget->font();
        font.setPixelSize(this->font.pixelSize());
        bool oneLine = radio || g.height() < 2 * QFontMetrics(font).height();
        if (label) label->setWordWrap(!oneLine);
        int width = g.width();
        if (oneLine) {
            int room = FreeWidth(w, g);
            int needed = indicator + QFontMetrics(font).horizontalAdvance(text) + 1;
            width = std::clamp(needed, g.width(), std::max(g.width(), room));
            while (needed > width && font.pixelSize() > 8) {
                font.setPixelSize(font.pixelSize() - 1);
                needed = indicator + QFontMetrics(font).horizontalAdvance(text) + 1;
            }
        }
        widget->setFont(font);
        widget->setGeometry(g.x(), g.y(), width, g.height());
    }

    static int IndicatorWidth(QRadioButton* radio) {
        QStyleOptionButton option;
        option.initFrom(radio);
        QStyle* style = radio->style();
        return style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, &option, radio) +
               style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, &option, radio);
    }

    // From the control's left edge to the nearest control beside it on the
    // right (frames aside) or the dialog's edge.
    int FreeWidth(const Window& w, const QRect& g) {
        Window* dialog = FindWindow(w.parent);
        if (!dialog) return g.width();
        int limit = Geometry(*dialog).width() - 1;
        for (HWND sibling : dialog->children) {
            Window* o = FindWindow(sibling);
            if (!o || o == &w || !(o->style & WS_VISIBLE)) continue;
            if (o->kind == WindowKind::Button && (o->style & BS_TYPEMASK) == BS_GROUPBOX) continue;
            QRect r = Geometry(*o);
            if (r.left() >= g.right() && r.top() < g.bottom() && r.bottom() > g.top()) limit = std::min(limit, r.left() - 1);
        }
        return limit - g.x();
    }

    // Input from a person, unless it is the echo of the program's own change.
    void Gesture(HWND hwnd, const std::function<void()>& act) {
        if (syncing) return;
        act();
        if (Window* w = FindWindow(hwnd)) Sync(*w);
    }

    void Sync(Window& w) {
        auto it = widgets.find(w.handle);
        if (it == widgets.end()) return;
        QWidget* widget = it->second;
        syncing = true;
        widget->setEnabled(!(w.style & WS_DISABLED));
        QString text = Text(w.text);
        if (w.kind == WindowKind::Dialog) {
            widget->setWindowTitle(text);
        } else if (auto* b = qobject_cast<QAbstractButton*>(widget)) {
            if (b->text() != text) b->setText(text);
            b->setCheckable(qobject_cast<QRadioButton*>(widget) != nullptr);
            if (b->isCheckable()) b->setChecked(w.check == BST_CHECKED);
            if (auto* push = qobject_cast<QPushButton*>(widget)) push->setDefault((w.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
            if (b->isCheckable()) FitText(w, widget);
        } else if (auto* g = dynamic_cast<GroupFrame*>(widget)) {
            g->SetTitle(text);
        } else if (auto* e = qobject_cast<QLineEdit*>(widget)) {
            if (e->text() != text) e->setText(text);
            e->setReadOnly(w.style & ES_READONLY);
        } else if (auto* c = qobject_cast<QComboBox*>(widget)) {
            QStringList items;
            for (const std::string& item : w.items) items << Text(item);
            QStringList shown;
            for (int i = 0; i < c->count(); ++i) shown << c->itemText(i);
            if (shown != items) {
                c->clear();
                c->addItems(items);
            }
            c->setCurrentIndex(w.curSel);
            if (c->isEditable()) c->setEditText(text);
        } else if (auto* l = qobject_cast<QListWidget*>(widget)) {
            QStringList items;
            for (const std::string& item : w.items) items << Text(item);
            QStringList shown;
            for (int i = 0; i < l->count(); ++i) shown << l->item(i)->text();
            if (shown != items) {
                l->clear();
                l->addItems(items);
            }
            l->setCurrentRow(w.curSel);
        } else if (auto* s = qobject_cast<QScrollBar*>(widget)) {
            s->setRange(w.scrollMin, std::max(w.scrollMin, w.scrollMax));
            s->setValue(w.scrollPos);
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            if (label->text() != text) label->setText(text);
            FitText(w, label);
        }
        if (w.kind != WindowKind::Dialog) widget->setVisible(w.style & WS_VISIBLE);
        syncing = false;
    }

    bool eventFilter(QObject* object, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(object);
        if (!widget) return false;
        auto it = windows.find(widget->window());
        if (it == windows.end()) return false;
        HWND hwnd = it->second;
        if (event->type() == QEvent::Close && widget->isWindow()) {
            event->ignore();
            CloseWindowByUser(hwnd);
            return true;
        }
        if (event->type() == QEvent::WindowStateChange && widget->isWindow()) {
            // The program paints its own icon while minimised, as it asks IsIconic.
            if (Window* w = FindWindow(hwnd)) {
                w->minimized = widget->isMinimized();
                SendMessageA(hwnd, WM_PAINT, 0, 0);
            }
            return false;
        }
        if (event->type() == QEvent::KeyPress) {
            int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
                PressKey(hwnd, key == Qt::Key_Escape);
                return true;
            }
        }
        return false;
    }

    void ShowBox(Window& w) {
        LANGID lang = res::UserUILanguage();
        UseToolkitLanguage(lang);
        auto* box = new QMessageBox(widgets.empty() ? nullptr : ActiveTopLevel());
        HWND hwnd = w.handle;
        box->setWindowTitle(Text(w.caption));
        box->setText(Text(w.text));
        if (!w.detail.empty()) box->setDetailedText(Text(w.detail));
        switch (w.boxType & MB_ICONMASK) {
        case MB_ICONWARNING: box->setIcon(QMessageBox::Warning); break;
        case MB_ICONQUESTION: box->setIcon(QMessageBox::Question); break;
        case MB_ICONSTOP: box->setIcon(QMessageBox::Critical); break;
        case MB_ICONINFORMATION: box->setIcon(QMessageBox::Information); break;
        default: break;
        }
        std::vector<std::pair<QMessageBox::ButtonRole, int>> buttons;
        switch (w.boxType & MB_TYPEMASK) {
        case MB_OKCANCEL: buttons = {{QMessageBox::AcceptRole, IDOK}, {QMessageBox::RejectRole, IDCANCEL}}; break;
        case MB_YESNO: buttons = {{QMessageBox::YesRole, IDYES}, {QMessageBox::NoRole, IDNO}}; break;
        default: buttons = {{QMessageBox::AcceptRole, IDOK}}; break;
        }
        for (auto& [role, id] : buttons) {
            QPushButton* b = box->addButton(Text(BoxButtonText(id, lang)), role);
            if (id == buttons.front().second) box->setDefaultButton(b);
            connect(b, &QAbstractButton::clicked, this, [hwnd, id] { AnswerBox(hwnd, id); });
        }
        box->setWindowModality(Qt::ApplicationModal);
        widgets[hwnd] = box;
        windows[box] = hwnd;
        box->show();
    }

    QWidget* ActiveTopLevel() const {
        HWND active = ActiveModal();
        auto it = widgets.find(active);
        return it == widgets.end() ? nullptr : it->second;
    }

    void Forget(HWND hwnd) {
        auto it = widgets.find(hwnd);
        if (it == widgets.end()) return;
        QWidget* widget = it->second;
        windows.erase(widget);
        widgets.erase(it);
        if (widget->isWindow()) {
            widget->hide();
            widget->deleteLater();
        }
    }
};

QtBackend::QtBackend(int& argc, char** argv) : m(std::make_unique<Impl>(argc, argv)) {}
QtBackend::~QtBackend() = default;

void QtBackend::Wait(sched::Millis deadline) {
    if (!m->OnGuiThread()) {
        WaitForQueue(deadline);  // a message box of another thread waits on the platform clock
        return;
    }
    sched::Millis now = sched::Now();
    if (deadline != sched::kForever) {
        if (deadline <= now) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            return;
        }
        m->deadline.start(static_cast<int>(std::min<sched::Millis>(deadline - now, INT_MAX)));
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtBackend::Wake() {
    WakeQueues();
    if (QAbstractEventDispatcher* d = QCoreApplication::eventDispatcher()) d->wakeUp();
}

void QtBackend::WindowCreated(Window& w) {
    if (!m->OnGuiThread() || w.kind == WindowKind::MessageBox) return;
    QWidget* widget;
    if (w.kind == WindowKind::Dialog) {
        auto owner = m->widgets.find(w.parent);
        widget = new QWidget(owner == m->widgets.end() ? nullptr : owner->second, DialogFlags(w.style));
        widget->setFixedSize(m->Geometry(w).size());
        widget->setWindowIcon(ProgramIcon());
        m->windows[widget] = w.handle;
    } else {
        auto parent = m->widgets.find(w.parent);
        if (parent == m->widgets.end()) return;
        widget = m->Make(w, parent->second);
        widget->setGeometry(m->Geometry(w));
        // Frames stand behind the controls they enclose.
        if (dynamic_cast<GroupFrame*>(widget)) widget->lower();
    }
    m->widgets[w.handle] = widget;
    m->Sync(w);
}

void QtBackend::WindowChanged(Window& w) {
    if (m->OnGuiThread()) m->Sync(w);
}

void QtBackend::WindowDestroyed(Window& w) {
    if (m->OnGuiThread()) m->Forget(w.handle);
}

void QtBackend::ModalShown(Window& w) {
    if (!m->OnGuiThread()) {
        HWND hwnd = w.handle;
        QMetaObject::invokeMethod(m.get(), [this, hwnd] {
            if (Window* still = FindWindow(hwnd)) m->ShowBox(*still);
        }, Qt::QueuedConnection);
        return;
    }
    if (w.kind == WindowKind::MessageBox) {
        m->ShowBox(w);
        return;
    }
    QWidget* widget = m->widgets[w.handle];
    if (!widget) return;
    // Every control exists now: labels can measure the space beside them.
    for (HWND child : w.children)
        if (Window* c = FindWindow(child)) m->Sync(*c);
    widget->setWindowModality(Qt::WindowModal);
    if (QWidget* owner = widget->parentWidget()) {
        // Dialogs that open hidden are centred over their owner.
        QRect frame = owner->frameGeometry();
        widget->move(frame.center() - widget->rect().center());
    } else {
        widget->move(0, 0);  // the panel opens at the top-left
    }
    // A window shown for the first time comes up on top: no raise needed.
    widget->show();
    widget->activateWindow();
}

void QtBackend::ModalEnded(Window& w, int) {
    HWND hwnd = w.handle;
    if (!m->OnGuiThread()) {
        QMetaObject::invokeMethod(m.get(), [this, hwnd] { m->Forget(hwnd); }, Qt::QueuedConnection);
        return;
    }
    if (auto it = m->widgets.find(hwnd); it != m->widgets.end()) it->second->hide();
}

QWidget* QtBackend::WidgetOf(HWND hwnd) const {
    auto it = m->widgets.find(hwnd);
    return it == m->widgets.end() ? nullptr : it->second;
}

bool QtBackend::SavePicture(HWND hwnd, const std::string& path) {
    QWidget* widget = WidgetOf(hwnd);
    if (!widget) return false;
    QCoreApplication::processEvents();
    return widget->grab().save(QString::fromStdString(path));
}

int QtBackend::PixelsX(int units) const { return units * m->baseX / 4; }
int QtBackend::PixelsY(int units) const { return units * m->baseY / 8; }

}  // namespace platform::ui
