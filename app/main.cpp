#include "ui/form1.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Message boxes carry this as their title. (A display name would also be
    // appended to the window's own caption on X11, which must stay as it is.)
    QApplication::setApplicationName(QStringLiteral("Morvane Control"));
    QApplication::setApplicationVersion(QStringLiteral("1.10"));
    QApplication::setStyle(QStringLiteral("Fusion"));

    morvane::Form1 window;
    window.show();
    return QApplication::exec();
}
