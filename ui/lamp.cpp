#include "ui/lamp.h"

#include <QPainter>

namespace morvane {

Lamp::Lamp(QWidget* parent) : QWidget(parent) {}

void Lamp::setFillColor(const QColor& color) {
    if (color == m_fillColor) {
        return;
    }
    m_fillColor = color;
    update();
    emit fillColorChanged(m_fillColor);
}

QSize Lamp::sizeHint() const {
    return {17, 17};
}

void Lamp::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // A darker rim keeps the lamp visible whatever its colour against the grey
    // frame; the half-pixel inset keeps the rim inside the widget.
    QPen rim(m_fillColor.darker(160));
    rim.setWidthF(1.0);
    painter.setPen(rim);
    painter.setBrush(m_fillColor);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

}  // namespace morvane
