#include "ui/lamp.h"

#include <QPainter>
#include <algorithm>

namespace morvane {

Lamp::Lamp(QWidget* parent) : QWidget(parent) {}

void Lamp::setFillColor(const QColor& color) {
    if (color == m_fillColor) {
        return;
    }
    m_fillColor = color;
    update();
    describeColor();
    emit fillColorChanged(m_fillColor);
}

void Lamp::setColorMeaning(const QColor& color, const QString& meaning) {
    const auto known = std::find_if(m_meanings.begin(), m_meanings.end(),
                                    [&color](const auto& entry) { return entry.first == color; });
    if (known != m_meanings.end()) {
        known->second = meaning;
    } else {
        m_meanings.append({color, meaning});
    }
    describeColor();
}

void Lamp::describeColor() {
    const auto known =
        std::find_if(m_meanings.cbegin(), m_meanings.cend(),
                     [this](const auto& entry) { return entry.first == m_fillColor; });
    setAccessibleDescription(known != m_meanings.cend() ? known->second : QString());
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
