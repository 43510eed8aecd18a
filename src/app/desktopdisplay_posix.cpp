#include "desktopdisplay.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace velmora {

namespace {

std::string g_program;
std::string g_unreachableDisplay; // the display a platform plugin failed to open
QtMessageHandler g_qtHandler = nullptr;
bool g_watching = false;

[[noreturn]] void exitNoDesktop(const std::string &reason)
{
    std::fprintf(stderr,
        "%s: アイコンを表示するデスクトップがありません "
        "(%s)。デスクトップのセッションで起動するか、"
        "表示先を指定してください (例: DISPLAY=:0 %s)。\n",
        g_program.c_str(), reason.c_str(), g_program.c_str());
    std::fflush(stderr);
    // Qt is half set up: end here, without running its destructors or dumping core.
    std::_Exit(1);
}

// Notes a display that Qt's X11 or Wayland plugin could not open, and turns the fatal message
// that follows ("no Qt platform plugin could be initialized") into our own line.
void watchPlatformMessages(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const QByteArray category(context.category ? context.category : "");
    if (type == QtWarningMsg && category == "qt.qpa.xcb"
        && text.startsWith(QStringLiteral("could not connect to display"))) {
        g_unreachableDisplay
            = text.mid(28).remove(QLatin1Char('"')).trimmed().toLocal8Bit().toStdString();
        if (g_unreachableDisplay.empty())
            g_unreachableDisplay = qgetenv("DISPLAY").toStdString();
        return;
    }
    if (type == QtWarningMsg && category == "qt.qpa.wayland"
        && text.startsWith(QStringLiteral("Failed to create wl_display"))) {
        g_unreachableDisplay = qgetenv("WAYLAND_DISPLAY").toStdString();
        return;
    }
    // Once the display is known to be out of reach, Qt's further words on the plugin it could
    // not load would only mislead.
    if (!g_unreachableDisplay.empty() && type != QtFatalMsg && category == "qt.qpa.plugin")
        return;
    if (type == QtFatalMsg && !g_unreachableDisplay.empty())
        exitNoDesktop("ディスプレイ " + g_unreachableDisplay + " に接続できません");
    if (g_qtHandler)
        g_qtHandler(type, context, text);
    else
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// Whether the platform Qt will load draws on an X11 or Wayland display; offscreen, vnc and the
// like need none.
bool platformNeedsDisplay()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    return platform.isEmpty() || platform.startsWith("xcb") || platform.startsWith("wayland");
}

} // namespace

void exitWithoutDisplay(const char *programPath)
{
    g_program = programPath ? programPath : "velmora";
    if (const std::size_t slash = g_program.rfind('/'); slash != std::string::npos)
        g_program.erase(0, slash + 1);
    if (!platformNeedsDisplay())
        return;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        exitNoDesktop("DISPLAY も WAYLAND_DISPLAY も設定されていません");
    g_qtHandler = qInstallMessageHandler(watchPlatformMessages);
    g_watching = true;
}

void displayReached()
{
    if (g_watching)
        qInstallMessageHandler(g_qtHandler);
    g_watching = false;
}

} // namespace velmora
