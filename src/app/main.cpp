#include <cstdio>

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QSystemTrayIcon>

#include "application.h"
#include "applicationtitle.h"
#include "desktopdisplay.h"
#include "executabledirectory.h"
#include "qttranslation.h"
#include "widgetdialogservice.h"

int main(int argc, char *argv[])
{
    velmora::reportMissingDisplay(argc, argv);
    QApplication app(argc, argv);
    velmora::displayOpened();
    velmora::installQtTranslation(
        velmora::qtTranslationFolders(QCoreApplication::applicationDirPath()));
    QApplication::setQuitOnLastWindowClosed(false);
    QIcon appIcon;
    for (const int size : { 16, 22, 32, 48, 256 })
        appIcon.addFile(QStringLiteral(":/velmora-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(appIcon);

    velmora::WidgetDialogService dialogs(
        velmora::applicationTitle(QFileInfo(QApplication::applicationFilePath()).fileName()));
    // Ending the loop directly: quit() would first close the item list window, which would ask
    // about unsaved changes and write its settings, and "終了" does neither. An exit asked for
    // before the loop runs (from a start-up error box's own loop) is kept and honoured.
    bool exitRequested = false;
    velmora::Application velmora(dialogs, velmora::executableDirectory(), appIcon, [&] {
        exitRequested = true;
        QCoreApplication::exit(0);
    });
    if (exitRequested)
        return 0;
    // The icon stays registered: Qt docks it as soon as a tray host starts, with no polling.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        const QString waiting
            = QStringLiteral("%1: 通知領域が見つかりません。現れたらアイコンを表示します。")
                  .arg(QCoreApplication::applicationName());
        std::fprintf(stderr, "%s\n", waiting.toLocal8Bit().constData());
    }
    return app.exec();
}
