#include "platform/ui/qt/group_frame.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <qdrawutil.h>

namespace platform::ui {

GroupFrame::GroupFrame(const QString& title, QWidget* parent) : QWidget(parent), m_title(title) {
    // Only a frame: clicks go to the controls it encloses.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void GroupFrame::SetTitle(const QString& title) {
    if (title == m_title) return;
    m_title = title;
    update();
}

int GroupFrame::FrameTop() const { return QFontMetrics(font()).height() / 2; }

void GroupFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // An etched line: shadow, then light just inside it.
    QRect frame = rect().adjusted(0, FrameTop(), 0, 0);
    qDrawShadeRect(&painter, frame, palette(), true, 1, 0);
    if (m_title.isEmpty()) return;
    QFontMetrics fm(font());
    int indent = fm.averageCharWidth();
    int gap = fm.averageCharWidth() / 4 + 1;
    QRect text(indent + gap, 0, std::max(0, width() - 2 * (indent + gap)), fm.height());
    QRect used = style()->itemTextRect(fm, text, Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic, isEnabled(), m_title);
    used &= text;
    painter.fillRect(used.adjusted(-gap, 0, gap, 0), palette().window());
    painter.setClipRect(text);
    style()->drawItemText(&painter, text, Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic, palette(), isEnabled(),
                          m_title, QPalette::WindowText);
}

}  // namespace platform::ui
