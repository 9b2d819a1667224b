#include "ui/cached_group_box.h"

#include <QPaintEvent>
#include <QPainter>

namespace morvane {

CachedGroupBox::Look CachedGroupBox::lookOf(const QStyleOptionGroupBox& option) const {
    return {option.text,
            option.state,
            size(),
            palette().cacheKey(),
            font().key(),
            style(),
            devicePixelRatioF(),
            static_cast<int>(option.textAlignment),
            static_cast<int>(option.features),
            static_cast<int>(option.subControls),
            static_cast<int>(option.activeSubControls),
            option.textColor.rgba(),
            option.direction};
}

void CachedGroupBox::paintEvent(QPaintEvent* event) {
    // What QGroupBox::paintEvent draws, drawn into the picture.
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const Look look = lookOf(option);
    if (m_picture.isNull() || !(look == m_look)) {
        m_picture = QPixmap((QSizeF(size()) * look.pixelRatio).toSize());
        m_picture.setDevicePixelRatio(look.pixelRatio);
        m_picture.fill(Qt::transparent);
        QPainter painter(&m_picture);
        // As a painter on the widget itself would start.
        painter.setFont(font());
        painter.setPen(palette().color(foregroundRole()));
        painter.setLayoutDirection(layoutDirection());
        style()->drawComplexControl(QStyle::CC_GroupBox, &option, &painter, this);
        m_look = look;
    }
    QPainter painter(this);
    const QRect area = event->rect();
    painter.drawPixmap(
        area, m_picture,
        QRectF(QPointF(area.topLeft()) * look.pixelRatio, QSizeF(area.size()) * look.pixelRatio));
}

}  // namespace morvane
