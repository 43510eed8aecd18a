#include <cstdio>

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QSystemTrayIcon>

#include "application.h"
#include "applicationtitle.h"
#include "executabledirectory.h"
#include "mainform.h"
#include "widgetdialogservice.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QIcon appIcon;
    for (const int size : { 16, 22, 32, 48, 256 })
        appIcon.addFile(QStringLiteral(":/velmora-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(appIcon);

    velmora::WidgetDialogService dialogs(
        velmora::applicationTitle(QFileInfo(QApplication::applicationFilePath()).fileName()));
    velmora::Application velmora(dialogs, velmora::executableDirectory(), appIcon);
    // The icon stays registered: Qt docks it as soon as a tray host starts, with no polling.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        const QString waiting
            = QStringLiteral("%1: 通知領域が見つかりません。現れたらアイコンを表示します。")
                  .arg(QCoreApplication::applicationName());
        std::fprintf(stderr, "%s\n", waiting.toLocal8Bit().constData());
    }
    // Ending the loop directly: quit() would first close the item list window, which would ask
    // about unsaved changes and write its settings, and "終了" does neither.
    QObject::connect(
        &velmora.mainForm(), &velmora::TForm1::closed, &app, [] { QCoreApplication::exit(0); });
    return app.exec();
}
