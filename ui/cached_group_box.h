// A QGroupBox that draws itself from a picture of its own frame and title,
// made once and made again only when something it shows changes.
//
// Every repaint of a control inside a frame repaints the frame beneath it
// (buttons are not opaque), and the style lays out the frame's bold title
// afresh each time: about a third of a millisecond, cold, per repaint. A
// click on GOTO repaints three times before its command reaches the line
// (press, release, the Real/Stop caption). From the picture, a repaint is a
// copy of the few pixels it needs.
//
// No Q_OBJECT on purpose: the frames stay plain QGroupBox to introspection,
// tests and accessibility tools.
#pragma once

#include <QGroupBox>
#include <QPixmap>
#include <QStyleOptionGroupBox>

namespace morvane {

class CachedGroupBox : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // What the picture was made from; a difference in any of it makes a new one.
    struct Look {
        QString title;
        QStyle::State state;
        QSize size;
        qint64 palette = 0;
        QString font;
        const QStyle* style = nullptr;
        qreal pixelRatio = 0;
        int alignment = 0;
        int features = 0;
        int subControls = 0;
        int activeSubControls = 0;
        QRgb textColor = 0;
        Qt::LayoutDirection direction = Qt::LeftToRight;

        bool operator==(const Look&) const = default;
    };
    Look lookOf(const QStyleOptionGroupBox& option) const;

    QPixmap m_picture;
    Look m_look;
};

}  // namespace morvane
