// The least a tray program can be: an application, an icon in the notification area and a menu
// of two entries, nothing else. Velmora's start-up and memory are measured against it.

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMenu menu;
    menu.addAction(QStringLiteral("アイテムリスト..."));
    menu.addAction(QStringLiteral("終了"), &app, &QCoreApplication::quit);
    QSystemTrayIcon icon(QIcon(QStringLiteral(":/velmora-22.png")));
    icon.setContextMenu(&menu);
    icon.show();
    return app.exec();
}
