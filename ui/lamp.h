// The round status lamp of the "Goto East" frame: red while the mount is on
// its way, green once it has arrived.
#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>
#include <utility>

namespace morvane {

// The Goto East lamp's colours and what they mean.
inline const QColor kLampAtRest(0, 192, 0);
inline const QColor kLampOnTheWay(255, 0, 0);
inline const QColor kLampArrived(0, 255, 0);
inline const QColor kLampGaveUp(255, 191, 0);

class Lamp : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor fillColor READ fillColor WRITE setFillColor NOTIFY fillColorChanged)
public:
    explicit Lamp(QWidget* parent = nullptr);

    QColor fillColor() const { return m_fillColor; }
    void setFillColor(const QColor& color);

    QSize sizeHint() const override;

    // For screen readers, which cannot see the colour: while the lamp shows
    // `color` its accessible description is `meaning`. A colour without a
    // meaning leaves the description empty.
    void setColorMeaning(const QColor& color, const QString& meaning);

signals:
    // Lets a watcher react to arrival without polling the colour.
    void fillColorChanged(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void describeColor();

    QColor m_fillColor = Qt::black;
    QList<std::pair<QColor, QString>> m_meanings;
};

}  // namespace morvane
