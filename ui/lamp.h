// The round status lamp of the "Goto East" frame: red while the mount is on
// its way, green once it has arrived.
#pragma once

#include <QColor>
#include <QWidget>

namespace morvane {

class Lamp : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor fillColor READ fillColor WRITE setFillColor NOTIFY fillColorChanged)
public:
    explicit Lamp(QWidget* parent = nullptr);

    QColor fillColor() const { return m_fillColor; }
    void setFillColor(const QColor& color);

    QSize sizeHint() const override;

signals:
    // Lets a watcher react to arrival without polling the colour.
    void fillColorChanged(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fillColor = Qt::black;
};

}  // namespace morvane
