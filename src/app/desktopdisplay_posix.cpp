#include "desktopdisplay.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

namespace velmora {

namespace {

struct HeldMessage
{
    QtMsgType type;
    QByteArray category;
    QString text;
};

std::string g_program; // as it was started, for the advice
std::string g_missingReason; // why no display could be opened; empty while none failed
std::vector<HeldMessage> g_held; // the plugin loader's words, until it is clear whose they are
QtMessageHandler g_qtHandler = nullptr;

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

void passOn(QtMsgType type, const QByteArray &category, const QString &text)
{
    const QMessageLogContext context(nullptr, 0, nullptr, category.constData());
    g_qtHandler(type, context, text);
}

void passOnHeldMessages()
{
    for (const HeldMessage &message : g_held)
        passOn(message.type, message.category, message.text);
    g_held.clear();
}

void noteMissingDisplay(const QString &name, const char *variable)
{
    if (!g_missingReason.empty())
        return;
    g_missingReason = name.isEmpty() ? std::string(variable) + " が設定されていません"
                                     : "ディスプレイ " + name.toStdString() + " に接続できません";
}

// Notes a display that Qt's X11 or Wayland plugin could not open, and turns the fatal message
// that follows ("no Qt platform plugin could be initialized") into our own line.
void watchPlatformMessages(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const QByteArray category(context.category ? context.category : "");
    const QString x11Failure = QStringLiteral("could not connect to display");
    if (category == "qt.qpa.xcb" && text.startsWith(x11Failure)) {
        noteMissingDisplay(
            text.mid(x11Failure.size()).remove(QLatin1Char('"')).trimmed(), "DISPLAY");
        return;
    }
    if (category == "qt.qpa.wayland"
        && text.startsWith(QStringLiteral("Failed to create wl_display"))) {
        noteMissingDisplay(qEnvironmentVariable("WAYLAND_DISPLAY"), "WAYLAND_DISPLAY");
        return;
    }
    if (type != QtFatalMsg && category == "qt.qpa.plugin") {
        g_held.push_back({ type, category, text });
        return;
    }
    if (type == QtFatalMsg) {
        if (!g_missingReason.empty())
            exitNoDesktop(g_missingReason);
        passOnHeldMessages();
    }
    g_qtHandler(type, context, text);
}

// The platform Qt will try: the -platform argument, else QT_QPA_PLATFORM.
QByteArray requestedPlatform(int argc, char **argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return argv[i + 1];
    }
    return qgetenv("QT_QPA_PLATFORM");
}

// Whether that platform draws on an X11 or Wayland display; offscreen, vnc and the like need none.
bool platformNeedsDisplay(const QByteArray &platform)
{
    if (platform.isEmpty())
        return true;
    for (const QByteArray &candidate : platform.split(';')) {
        if (candidate.startsWith("xcb") || candidate.startsWith("wayland"))
            return true;
    }
    return false;
}

} // namespace

void reportMissingDisplay(int argc, char **argv)
{
    g_program = argc > 0 && argv[0] ? argv[0] : "velmora";
    if (!platformNeedsDisplay(requestedPlatform(argc, argv)))
        return;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        exitNoDesktop("DISPLAY も WAYLAND_DISPLAY も設定されていません");
    g_qtHandler = qInstallMessageHandler(watchPlatformMessages);
}

void displayOpened()
{
    if (!g_qtHandler)
        return;
    qInstallMessageHandler(g_qtHandler);
    passOnHeldMessages();
    g_qtHandler = nullptr;
}

} // namespace velmora
