// The arrival lamp: what it paints and when it says it changed.
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "ui/lamp.h"

using morvane::Lamp;

class TestLamp : public QObject {
    Q_OBJECT

private slots:
    void paintsItsColour_data();
    void paintsItsColour();
    void reportsOnlyRealChanges();
};

void TestLamp::paintsItsColour_data() {
    QTest::addColumn<QColor>("colour");
    QTest::newRow("arrived green") << QColor(0, 192, 0);
    QTest::newRow("moving red") << QColor(255, 0, 0);
    QTest::newRow("dark blue") << QColor(0, 0, 128);
}

void TestLamp::paintsItsColour() {
    QFETCH(QColor, colour);
    Lamp lamp;
    lamp.resize(17, 17);
    lamp.setFillColor(colour);
    QCOMPARE(lamp.fillColor(), colour);
    QCOMPARE(lamp.property("fillColor").value<QColor>(), colour);

    QImage image(lamp.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    lamp.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);

    // Filled across its whole middle, in the colour asked for...
    for (const QPoint& inside : {QPoint(8, 8), QPoint(4, 8), QPoint(12, 8), QPoint(8, 4)}) {
        QCOMPARE(image.pixelColor(inside), colour);
    }
    // ...and round: the corners stay untouched.
    for (const QPoint& corner : {QPoint(0, 0), QPoint(16, 0), QPoint(0, 16), QPoint(16, 16)}) {
        QCOMPARE(image.pixelColor(corner).alpha(), 0);
    }
}

void TestLamp::reportsOnlyRealChanges() {
    Lamp lamp;
    lamp.setFillColor(QColor(0, 192, 0));
    QSignalSpy changed(&lamp, &Lamp::fillColorChanged);
    lamp.setFillColor(QColor(0, 192, 0));
    QCOMPARE(changed.count(), 0);
    lamp.setFillColor(Qt::red);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<QColor>(), QColor(Qt::red));
}

QTEST_MAIN(TestLamp)
#include "test_lamp.moc"
