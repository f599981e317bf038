// The yardstick for the tray clock's usage figures: the least a Qt Widgets tray program can be. One
// static icon, a menu with one entry, and nothing that ticks.
#include <QAction>
#include <QApplication>
#include <QColor>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    // A plain square: drawing it is no part of what is measured, and it is never drawn again.
    QPixmap pixmap(22, 22);
    pixmap.fill(QColor(0x30, 0x60, 0xa0));

    QMenu menu;
    QObject::connect(menu.addAction(QStringLiteral("Quit")), &QAction::triggered, &app, &QApplication::quit);

    const QIcon icon(pixmap);
    QSystemTrayIcon tray(icon);
    tray.setContextMenu(&menu);
    tray.show();
    return QApplication::exec();
}
