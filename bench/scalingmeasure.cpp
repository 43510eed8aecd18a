#include "scalingmeasure.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTreeWidget>

#include <unistd.h>
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#endif

#include "dialogservice.h"
#include "entrylistform.h"
#include "mainform.h"

namespace velmora::bench {

namespace {

class SilentDialogs : public DialogService
{
public:
    void showError(QWidget *, const QString &message) override
    {
        throw std::runtime_error(message.toStdString());
    }
    void showHint(QWidget *, const QString &) override { }
    Answer confirm(QWidget *, const QString &, bool) override { return Answer::No; }
    std::optional<QString> chooseFileToOpen(QWidget *, const QString &) override
    {
        return std::nullopt;
    }
};

double threadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

long residentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

// Notes the first paint of a widget.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget *widget)
        : m_widget(widget)
    {
        widget->installEventFilter(this);
    }
    ~PaintWatch() override { m_widget->removeEventFilter(this); }

    // Handles events until the widget has painted; a paint runs within the event that asks
    // for it, so it is over when this returns.
    void wait()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!m_painted) {
            if (std::chrono::steady_clock::now() > deadline)
                throw std::runtime_error("a widget did not paint");
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_painted = true;
        return false;
    }

private:
    QWidget *m_widget;
    bool m_painted = false;
};

void pressIconUntilMenuPainted(TForm1 &tray)
{
    PaintWatch watch(tray.popupMenu());
    emit tray.trayIcon()->activated(QSystemTrayIcon::Trigger);
    watch.wait();
}

void closeMenu(TForm1 &tray)
{
    tray.popupMenu()->hide();
    QCoreApplication::processEvents();
}

void refreshUntilPainted(TForm2 &list)
{
    PaintWatch watch(
        list.findChild<QTreeWidget *>(QString::fromLatin1(TForm2::ListView1))->viewport());
    list.RefreshItemView();
    watch.wait();
}

// Under callgrind, the instructions of the action also go into a dump of their own, named so.
template<typename Action>
double cpuMsOf(const char *name, Action action)
{
#ifdef CALLGRIND_ZERO_STATS
    CALLGRIND_ZERO_STATS;
#endif
    const double start = threadCpuMs();
    action();
    const double spent = threadCpuMs() - start;
#ifdef CALLGRIND_DUMP_STATS_AT
    CALLGRIND_DUMP_STATS_AT(name);
#else
    (void)name;
#endif
    return spent;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

ScalingFigures measureScaling(std::size_t itemCount, IniLayout layout, int repetitions)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform warns about every window it cannot raise or grab for.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg && type != QtWarningMsg)
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    });
    int argc = 1;
    char name[] = "velmora_scaling";
    char *argv[] = { name, nullptr };
    QApplication app(argc, argv);

    const std::filesystem::path folder = std::filesystem::temp_directory_path()
        / ("velmora-scaling-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string directory = folder.string() + "/";
    struct RemoveFolder
    {
        const std::filesystem::path &folder;
        ~RemoveFolder() { std::filesystem::remove_all(folder); }
    } removeFolder { folder };
    writeScalingIniFiles(directory, itemCount, layout);
    writeScalingItemFiles(directory, itemCount, layout, 0);

    SilentDialogs dialogs;
    TForm1 tray(dialogs, directory, QIcon());
    TForm2 list(
        tray.itemList(), dialogs, directory, [](int) { return false; },
        [&tray] { tray.RebuildTrayMenu(); });

    // The program as its user has it: the menu built and opened once, the list window shown.
    ScalingFigures figures;
    figures.firstBuildMs = cpuMsOf("first build", [&tray] { tray.RebuildTrayMenu(); });
    pressIconUntilMenuPainted(tray);
    closeMenu(tray);
    list.ShowItemList();
    refreshUntilPainted(list);
    figures.residentKb = residentKb();

    // Each rebuild finds every caption changed, as a save of renamed items would.
    std::vector<double> rebuilds, presses, refreshes;
    for (int i = 0; i < repetitions; ++i) {
        writeScalingItemFiles(directory, itemCount, layout, i + 1);
        rebuilds.push_back(cpuMsOf("rebuild", [&tray] { tray.RebuildTrayMenu(); }));
        presses.push_back(cpuMsOf("press", [&tray] { pressIconUntilMenuPainted(tray); }));
        closeMenu(tray);
        refreshes.push_back(cpuMsOf("refresh", [&list] { refreshUntilPainted(list); }));
    }
    figures.rebuildMs = median(rebuilds);
    figures.pressMs = median(presses);
    figures.refreshMs = median(refreshes);
    return figures;
}

} // namespace velmora::bench
