#include "entrylistform.h"

#include <algorithm>
#include <iterator>

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>

#include "blanks.h"
#include "dialogservice.h"
#include "displaytext.h"
#include "errordisplay.h"
#include "fileexists.h"
#include "formfont.h"
#include "inivalue.h"
#include "itemfiles.h"
#include "settingtext.h"
#include "snapshotprofile.h"

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// The window as designed; KVT.INI replaces the geometry every time the window opens.
constexpr QRect DesignedGeometry(458, 94, 262, 252);

QString name(const char *objectName)
{
    return QString::fromLatin1(objectName);
}

} // namespace

TForm2::TForm2(ItemList &items, DialogService &dialogs, std::string executableDirectory,
    std::function<bool(int)> editItem, std::function<void()> rebuildTrayMenu, QWidget *parent,
    ComponentCreation creation)
    : QMainWindow(parent)
    , m_items(items)
    , m_dialogs(dialogs)
    , m_executableDirectory(std::move(executableDirectory))
    , m_editItem(std::move(editItem))
    , m_rebuildTrayMenu(std::move(rebuildTrayMenu))
{
    setObjectName(name(Form2));
    setWindowTitle(u"アイテムリスト"_s);
    setFont(formFont());
    // The bars are switched only through N5 and N6, never by QMainWindow's own bar menu.
    setContextMenuPolicy(Qt::PreventContextMenu);
    if (creation == ComponentCreation::AtConstruction)
        createComponents();
}

void TForm2::createComponents()
{
    if (m_listView1)
        return;
    createActions();
    createMenus();
    createToolBar();
    createListView();
    createStatusBar();

    // Where the platform can tell the frame of a window not shown yet, it can once the window
    // exists.
    create();
    windowHandle()->installEventFilter(this);
    setOuterGeometry(DesignedGeometry);
}

QAction *TForm2::createAction(
    const char *objectName, const QString &caption, void (TForm2::*handler)())
{
    auto *action = new QAction(caption, this);
    action->setObjectName(name(objectName));
    if (handler)
        connect(action, &QAction::triggered, this, [this, handler] { runHandler(handler); });
    return action;
}

void TForm2::createActions()
{
    m_save1 = createAction(Save1, u"保存"_s, &TForm2::Save1Click);
    m_close1 = createAction(Close1, u"閉じる"_s, &TForm2::Close1Click);

    m_xAdd = createAction(XAdd, u"追加"_s, &TForm2::PAddClick);
    m_xMod = createAction(XMod, u"変更"_s, &TForm2::PModClick);
    m_xDel = createAction(XDel, u"削除"_s, &TForm2::PDelClick);
    m_xUMove = createAction(XUMove, u"上に移動"_s, &TForm2::PUMoveClick);
    m_xDMove = createAction(XDMove, u"下に移動"_s, &TForm2::PDMoveClick);

    m_n15 = createAction(N15, u"リスト項目..."_s);
    m_n1 = createAction(N1, u"常に手前に表示"_s);
    m_n5 = createAction(N5, u"ツールバー"_s);
    m_n6 = createAction(N6, u"ステータスバー"_s);
    m_n7 = createAction(N7, u"オプション..."_s);
    m_n5->setCheckable(true);
    m_n6->setCheckable(true);
    // QAction has already turned its check mark when triggered is emitted; N5Click and N6Click
    // turn it themselves.
    connect(m_n5, &QAction::triggered, this, [this] {
        m_n5->setChecked(!m_n5->isChecked());
        runHandler(&TForm2::N5Click);
    });
    connect(m_n6, &QAction::triggered, this, [this] {
        m_n6->setChecked(!m_n6->isChecked());
        runHandler(&TForm2::N6Click);
    });

    m_pAdd = createAction(PAdd, u"追加"_s, &TForm2::PAddClick);
    m_pMod = createAction(PMod, u"変更"_s, &TForm2::PModClick);
    m_pDel = createAction(PDel, u"削除"_s, &TForm2::PDelClick);
    m_pUMove = createAction(PUMove, u"上に移動"_s, &TForm2::PUMoveClick);
    m_pDMove = createAction(PDMove, u"下に移動"_s, &TForm2::PDMoveClick);
}

void TForm2::createMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(name(MainMenu1));

    QMenu *file1 = bar->addMenu(u"ファイル"_s);
    file1->setObjectName(name(File1));
    file1->addAction(m_save1);
    file1->addSeparator()->setObjectName(name(N8));
    file1->addAction(m_close1);

    QMenu *edit1 = bar->addMenu(u"編集"_s);
    edit1->setObjectName(name(Edit1));
    edit1->addActions({ m_xAdd, m_xMod, m_xDel });
    edit1->addSeparator()->setObjectName(name(N9));
    edit1->addActions({ m_xUMove, m_xDMove });

    QMenu *show1 = bar->addMenu(u"表示"_s);
    show1->setObjectName(name(Show1));
    show1->addAction(m_n15);
    show1->addSeparator()->setObjectName(name(N16));
    show1->addActions({ m_n1, m_n5, m_n6 });
    show1->menuAction()->setVisible(false);

    QMenu *tool1 = bar->addMenu(u"ツール"_s);
    tool1->setObjectName(name(ool1));
    tool1->addAction(m_n7);
    tool1->menuAction()->setVisible(false);

    m_popupMenu1 = new QMenu(this);
    m_popupMenu1->setObjectName(name(PopupMenu1));
    m_popupMenu1->addActions({ m_pAdd, m_pMod, m_pDel });
    m_popupMenu1->addSeparator()->setObjectName(name(N12));
    m_popupMenu1->addActions({ m_pUMove, m_pDMove });
}

void TForm2::createToolBar()
{
    m_toolBar1 = new QToolBar(this);
    m_toolBar1->setObjectName(name(ToolBar1));
    m_toolBar1->setMovable(false);
    m_toolBar1->setFloatable(false);
    m_toolBar1->setFixedHeight(27);
    addToolBar(Qt::TopToolBarArea, m_toolBar1);

    const auto addSeparator = [this](const char *objectName) {
        m_toolBar1->addSeparator()->setObjectName(name(objectName));
    };
    // Buttons without image, caption or action, as designed.
    const auto addButton = [this](const char *objectName) {
        auto *button = new QToolButton(m_toolBar1);
        button->setObjectName(name(objectName));
        button->setFixedSize(23, 22);
        button->setAutoRaise(true);
        m_toolBar1->addWidget(button);
    };
    addSeparator(ToolButton5);
    addButton(ToolButton7);
    addButton(ToolButton6);
    addSeparator(ToolButton2);
    addButton(ToolButton1);
    addButton(ToolButton3);
    addButton(ToolButton4);
    addSeparator(ToolButton8);
    addButton(ToolButton9);
    addButton(ToolButton10);
}

void TForm2::createListView()
{
    m_listView1 = new QTreeWidget(this);
    m_listView1->setObjectName(name(ListView1));
    m_listView1->setRootIsDecorated(false);
    m_listView1->setItemsExpandable(false);
    m_listView1->setUniformRowHeights(true);
    m_listView1->setAllColumnsShowFocus(true);
    m_listView1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listView1->setHeaderLabels(
        { u"アイテム名"_s, u"設定値"_s, u"ファイル"_s, u"セクション"_s, u"キー"_s, u"コード"_s });
    QHeaderView *header = m_listView1->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setMinimumSectionSize(0);
    const int widths[] = { 150, 100, 0, 0, 0, 0 };
    for (int column = 0; column < int(std::size(widths)); ++column)
        m_listView1->setColumnWidth(column, widths[column]);
    setCentralWidget(m_listView1);
    setFocusProxy(m_listView1);

    m_listView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_listView1, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        m_popupMenu1->popup(m_listView1->viewport()->mapToGlobal(at));
    });
    connect(m_listView1, &QTreeWidget::itemDoubleClicked, this,
        [this] { runHandler(&TForm2::ListView1DblClick); });
    connect(m_listView1, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem *> selected = m_listView1->selectedItems();
        runGuarded(m_dialogs, this, [this, &selected] {
            ListView1SelectItem(
                selected.isEmpty() ? nullptr : selected.front(), !selected.isEmpty());
        });
    });
}

void TForm2::createStatusBar()
{
    auto *bar = new QStatusBar(this);
    bar->setObjectName(name(StatusBar1));
    bar->setFixedHeight(19);
    setStatusBar(bar);
}

void TForm2::runHandler(void (TForm2::*handler)())
{
    runGuarded(m_dialogs, this, [this, handler] { (this->*handler)(); });
}

void TForm2::ShowItemList()
{
    createComponents();
    if (isVisible()) {
        // Opening the window again must not drop the rows' order or the pending save question.
        setWindowState(windowState() & ~Qt::WindowMinimized);
        raise();
        activateWindow();
        return;
    }
    m_modified = false;
    if (!fileExists(settingsPath()))
        writeDesignedSettings();
    FormInit();
    RefreshItemView();
    ListView1SelectItem(nullptr, false);
    show();
    raise();
    activateWindow();
    m_listView1->setFocus();
}

void TForm2::FormInit()
{
    // The geometry read below is the normal one, which a maximised state would hide.
    setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));

    const auto applyOuter = [this](const char *key, void (QRect::*change)(int)) {
        const int value = settingInteger(readSetting(key));
        QRect outer = outerGeometry();
        (outer.*change)(value);
        setOuterGeometry(outer);
    };
    applyOuter("FormTop", &QRect::moveTop);
    applyOuter("FormLeft", &QRect::moveLeft);
    applyOuter("FormWidth", &QRect::setWidth);
    applyOuter("FormHeight", &QRect::setHeight);
    keepOnScreen();

    if (settingBoolean(readSetting("FormMaxmize")))
        setWindowState(windowState() | Qt::WindowMaximized);

    m_n5->setChecked(!settingBoolean(readSetting("ToolBar")));
    N5Click();
    m_n6->setChecked(!settingBoolean(readSetting("StatusBar")));
    N6Click();
}

void TForm2::RefreshItemView()
{
    // Rebuilding clears the selection without the user choosing so; the entries that need a
    // selection stay as they are and their handlers check for one.
    const QSignalBlocker blocker(m_listView1);
    m_listView1->clear();
    QList<QTreeWidgetItem *> rows;
    rows.reserve(qsizetype(m_items.size()));
    const auto reads = makeSnapshotProfile(); // each file read once per refresh
    for (const TItemData &item : m_items) {
        const std::string current = ReadIniValue(item.FileName, item.Section, item.Key, *reads);
        std::string shown;
        if (!trimBlanks(current).empty()) {
            for (const TValueData &value : item.Values) {
                if (current == value.Value)
                    shown = value.Name;
            }
        }
        rows.append(new QTreeWidgetItem(
            QStringList { toDisplay(item.Name), toDisplay(shown), toDisplay(item.FileName),
                toDisplay(item.Section), toDisplay(item.Key), toDisplay(item.Code) }));
    }
    m_listView1->addTopLevelItems(rows);
}

void TForm2::SaveItemFiles()
{
    WriteItemFiles(m_executableDirectory, m_items);
    m_rebuildTrayMenu();
}

void TForm2::MoveItem(QTreeWidget *listView, int distance)
{
    const std::optional<std::size_t> selected = selectedIndex(listView);
    if (distance == 0 || !selected)
        return;
    const long long from = static_cast<long long>(*selected);
    const long long target = from + distance;
    const long long rows = std::min<long long>(
        listView->topLevelItemCount(), static_cast<long long>(m_items.size()));
    if (target < 0 || target >= rows)
        return;
    const auto first = m_items.begin();
    if (target < from)
        std::rotate(first + target, first + from, first + from + 1);
    else
        std::rotate(first + from, first + from + 1, first + target + 1);
}

void TForm2::PAddClick()
{
    m_items.emplace_back();
    bool accepted = false;
    try {
        accepted = m_editItem(int(m_items.size() - 1));
    } catch (...) {
        // An empty record left behind would be saved as an item without a name.
        m_items.pop_back();
        throw;
    }
    if (!accepted) {
        m_items.pop_back();
        return;
    }
    RefreshItemView();
    m_modified = true;
}

void TForm2::PModClick()
{
    const std::optional<std::size_t> selected = selectedIndex(m_listView1);
    if (!selected || !m_editItem(int(*selected)))
        return;
    RefreshItemView();
    m_modified = true;
}

void TForm2::PDelClick()
{
    const std::optional<std::size_t> selected = selectedIndex(m_listView1);
    if (!selected)
        return;
    const QString caption = m_listView1->topLevelItem(int(*selected))->text(0);
    if (m_dialogs.confirm(this, u"「"_s + caption + u"」を削除しますか？"_s, false)
        != DialogService::Answer::Yes)
        return;
    m_items.erase(m_items.begin() + std::ptrdiff_t(*selected));
    RefreshItemView();
    m_modified = true;
}

void TForm2::PUMoveClick()
{
    MoveItem(m_listView1, -1);
    RefreshItemView();
}

void TForm2::PDMoveClick()
{
    MoveItem(m_listView1, +1);
    RefreshItemView();
}

void TForm2::Save1Click()
{
    SaveItemFiles();
    m_modified = false;
}

void TForm2::Close1Click()
{
    close();
}

void TForm2::N5Click()
{
    m_n5->setChecked(!m_n5->isChecked());
    m_toolBar1->setVisible(m_n5->isChecked());
}

void TForm2::N6Click()
{
    m_n6->setChecked(!m_n6->isChecked());
    statusBar()->setVisible(m_n6->isChecked());
}

void TForm2::ListView1DblClick()
{
    PModClick();
}

void TForm2::ListView1SelectItem(QTreeWidgetItem *, bool selected)
{
    for (QAction *entry :
        { m_xMod, m_xDel, m_xUMove, m_xDMove, m_pMod, m_pDel, m_pUMove, m_pDMove })
        entry->setEnabled(selected);
}

void TForm2::FormClose(CloseAction &action)
{
    if (m_modified) {
        switch (
            m_dialogs.confirm(this, u"アイテムリストは変更されています。保存しますか？"_s, true)) {
        case DialogService::Answer::Yes:
            SaveItemFiles();
            break;
        case DialogService::Answer::No:
            break;
        case DialogService::Answer::Cancel:
            action = CloseAction::None;
            break;
        }
    }
    if (m_programEnding) {
        action = CloseAction::None;
        return;
    }
    writeWindowSettings();
}

void TForm2::closeEvent(QCloseEvent *event)
{
    CloseAction action = CloseAction::Hide;
    const bool done = runGuarded(m_dialogs, this, [this, &action] { FormClose(action); });
    if (done && action == CloseAction::Hide)
        event->accept();
    else
        event->ignore();
}

void TForm2::writeDesignedSettings()
{
    writeSetting("FormTop", std::to_string(DesignedGeometry.top()));
    writeSetting("FormLeft", std::to_string(DesignedGeometry.left()));
    writeSetting("FormWidth", std::to_string(DesignedGeometry.width()));
    writeSetting("FormHeight", std::to_string(DesignedGeometry.height()));
    writeSetting("FormMaxmize", settingBooleanText(false));
    writeSetting("ToolBar", settingBooleanText(true));
    writeSetting("StatusBar", settingBooleanText(true));
}

void TForm2::writeWindowSettings()
{
    if (isMaximized()) {
        writeSetting("FormMaxmize", settingBooleanText(true));
    } else {
        // A minimised window is stored as it will be restored.
        const QRect outer
            = isMinimized() ? normalGeometry().marginsAdded(m_frameMargins) : outerGeometry();
        writeSetting("FormTop", std::to_string(outer.top()));
        writeSetting("FormLeft", std::to_string(outer.left()));
        writeSetting("FormWidth", std::to_string(outer.width()));
        writeSetting("FormHeight", std::to_string(outer.height()));
        writeSetting("FormMaxmize", settingBooleanText(false));
    }
    writeSetting("ToolBar", settingBooleanText(m_n5->isChecked()));
    writeSetting("StatusBar", settingBooleanText(m_n6->isChecked()));
}

std::string TForm2::settingsPath() const
{
    return m_executableDirectory + SettingsFileName;
}

std::string TForm2::readSetting(const char *key) const
{
    return ReadIniValue(settingsPath(), SettingsSection, key);
}

void TForm2::writeSetting(const char *key, const std::string &value) const
{
    WriteIniValue(settingsPath(), SettingsSection, key, value);
}

std::optional<std::size_t> TForm2::selectedIndex(const QTreeWidget *listView) const
{
    const QList<QTreeWidgetItem *> selected = listView->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    const int row = listView->indexOfTopLevelItem(selected.front());
    // Rows and items always match; a row without its item is never acted on.
    if (row < 0 || std::size_t(row) >= m_items.size())
        return std::nullopt;
    return std::size_t(row);
}

QMargins TForm2::currentFrameMargins() const
{
    const QRect frame = frameGeometry();
    const QRect client = geometry();
    return { client.left() - frame.left(), client.top() - frame.top(),
        frame.right() - client.right(), frame.bottom() - client.bottom() };
}

QMargins TForm2::knownFrameMargins() const
{
    const QMargins margins = currentFrameMargins();
    return margins.isNull() ? m_frameMargins : margins;
}

QRect TForm2::outerGeometry() const
{
    return geometry().marginsAdded(knownFrameMargins());
}

void TForm2::setOuterGeometry(const QRect &outer)
{
    const QMargins margins = knownFrameMargins();
    if (margins.isNull())
        m_outerWithoutFrame = outer;
    else
        m_outerWithoutFrame.reset();
    setGeometry(outer.marginsRemoved(margins));
}

void TForm2::keepOnScreen()
{
    const QRect outer = outerGeometry();
    const QList<QScreen *> screens = QGuiApplication::screens();
    const bool seen = std::any_of(screens.begin(), screens.end(),
        [&outer](const QScreen *screen) { return screen->geometry().intersects(outer); });
    QScreen *primary = QGuiApplication::primaryScreen();
    if (seen || !primary)
        return;
    const QRect area = primary->availableGeometry();
    QRect moved = outer;
    moved.moveLeft(std::max(area.left(), std::min(outer.left(), area.right() - outer.width() + 1)));
    moved.moveTop(std::max(area.top(), std::min(outer.top(), area.bottom() - outer.height() + 1)));
    setOuterGeometry(moved);
}

void TForm2::learnFrameMargins()
{
    if (isMaximized() || isMinimized())
        return;
    const QMargins margins = currentFrameMargins();
    if (margins.isNull())
        return;
    m_frameMargins = margins;
    // The frame appears only after the window manager has taken the window; the outer size
    // from KVT.INI is met now.
    if (const std::optional<QRect> outer = std::exchange(m_outerWithoutFrame, std::nullopt))
        setGeometry(outer->marginsRemoved(margins));
}

bool TForm2::eventFilter(QObject *watched, QEvent *event)
{
    // A window manager frames the window before it is exposed, without moving it.
    if (watched == windowHandle() && event->type() == QEvent::Expose)
        QMetaObject::invokeMethod(this, &TForm2::learnFrameMargins, Qt::QueuedConnection);
    return QMainWindow::eventFilter(watched, event);
}

void TForm2::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    learnFrameMargins();
}

void TForm2::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    learnFrameMargins();
}

} // namespace velmora
