// A group box as the dialogs' own window system draws one: the frame's top
// edge runs through the middle of the title's line and the title interrupts
// it. Templates place the first control inside a frame a little below its top
// edge, counting on that: a title above the frame would push the edge down
// onto the control.
#pragma once

#include <QWidget>

namespace platform::ui {

class GroupFrame : public QWidget {
public:
    GroupFrame(const QString& title, QWidget* parent);

    QString Title() const { return m_title; }
    void SetTitle(const QString& title);
    // The frame's top edge, in pixels from the widget's top.
    int FrameTop() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
};

}  // namespace platform::ui
