#include "mainform.h"

#include <algorithm>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

#include "dialogservice.h"
#include "displaytext.h"
#include "errordisplay.h"
#include "fileexists.h"
#include "formfont.h"
#include "inivalue.h"
#include "itemfiles.h"
#include "popupplacement.h"
#include "snapshotprofile.h"
#include "traymenuexport.h"

namespace velmora {

namespace {

// Menu captions show item texts as they are: "&" is no accelerator.
QString menuCaption(const std::string &bytes)
{
    return toDisplay(bytes).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// An entry captioned exactly "-" is a plain separator line: no text, no submenu, no action.
bool isSeparatorCaption(const QString &caption)
{
    return caption == u"-";
}

// The item and value indexes in a value entry's name "I<i>V<j>".
bool parseValueEntryName(const QString &name, int &i, int &j)
{
    const qsizetype v = name.indexOf(QLatin1Char('V'));
    if (!name.startsWith(QLatin1Char('I')) || v < 0)
        return false;
    bool itemOk = false, valueOk = false;
    i = name.mid(1, v - 1).toInt(&itemOk);
    j = name.mid(v + 1).toInt(&valueOk);
    return itemOk && valueOk;
}

} // namespace

TForm1::TForm1(
    DialogService &dialogs, std::string executableDirectory, const QIcon &icon, QWidget *parent)
    : QWidget(parent)
    , m_dialogs(dialogs)
    , m_executableDirectory(std::move(executableDirectory))
    , m_trayIcon(new QSystemTrayIcon(icon, this))
    , m_popupMenu(new QMenu(this))
    , m_separator(nullptr)
    , m_timer1(new QTimer(this))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Main"));
    setFont(formFont());
    setGeometry(258, 108, 138, 126);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_trayIcon->setObjectName(QStringLiteral("TrayIcon"));
    m_trayIcon->setToolTip(QStringLiteral("Velmora"));
    m_popupMenu->setObjectName(QString::fromLatin1(PopupMenu1));
    // Every "-" entry shows its line, also first in a menu or next to another line.
    m_popupMenu->setSeparatorsCollapsible(false);
    m_popupMenu->installEventFilter(this);
    createFixedEntries();
    exportTrayMenu(*m_trayIcon, *m_popupMenu);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &TForm1::TrayNotify);
}

TForm1::~TForm1()
{
    removeIcon();
}

void TForm1::createFixedEntries()
{
    const auto add = [this](const char *name, const QString &caption, bool visible) {
        QAction *action = m_popupMenu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        action->setVisible(visible);
        return action;
    };
    m_separator = m_popupMenu->addSeparator();
    m_separator->setObjectName(QString::fromLatin1(Xsep));
    m_separator->setVisible(false);
    connect(add(XItemList, QStringLiteral("アイテムリスト..."), true), &QAction::triggered, this,
        [this] { runGuarded(m_dialogs, nullptr, [this] { XItemListClick(); }); });
    add(XOption, QStringLiteral("オプション..."), false);
    add(XVersion, QStringLiteral("バージョン情報..."), false);
    connect(add(XExit, QStringLiteral("終了"), true), &QAction::triggered, this,
        [this] { runGuarded(m_dialogs, nullptr, [this] { XExitClick(); }); });
}

void TForm1::setShowItemList(std::function<void()> showItemList)
{
    m_showItemList = std::move(showItemList);
}

void TForm1::FormCreate()
{
    m_trayIcon->show();
    runGuarded(m_dialogs, nullptr, [this] { RebuildTrayMenu(); });
}

void TForm1::removeGeneratedEntries()
{
    while (!m_itemEntries.empty())
        removeLastItemEntry();
    m_checkedValueEntries.clear();
    m_menuItems.clear();
    m_separator->setVisible(false);
}

void TForm1::removeLastItemEntry()
{
    // The last entry first: the menu finds an entry to remove by searching from its front, and
    // closes the gap behind it.
    QAction *entry = m_itemEntries.back();
    m_itemEntries.pop_back();
    delete entry->menu();
    delete entry;
}

void TForm1::RebuildTrayMenu()
{
    std::vector<ItemState> states;
    try {
        {
            const ItemFilesReadLock pair(m_executableDirectory);
            LoadItemFiles(m_itemList, m_executableDirectory);
        }

        // Items often share a file: each file is read once for the whole rebuild.
        const auto reads = makeSnapshotProfile();
        states.reserve(m_itemList.size());
        for (const TItemData &item : m_itemList)
            states.push_back({ fileExists(item.FileName),
                ReadIniValue(item.FileName, item.Section, item.Key, *reads) });
    } catch (...) {
        removeGeneratedEntries();
        throw;
    }
    BuildItemEntries(states);
}

void TForm1::BuildItemEntries(const std::vector<ItemState> &states)
{
    // The entries of the last build are filled anew and only the surplus is removed: adding or
    // removing an entry makes the menu search all its entries, so replacing every entry would
    // cost the square of the number of items.
    const std::size_t count = std::min(m_itemList.size(), states.size());
    while (m_itemEntries.size() > count)
        removeLastItemEntry();
    addItemEntries(count);
    m_checkedValueEntries.assign(count, nullptr);
    for (std::size_t i = 0; i < count; ++i) {
        const TItemData &item = m_itemList[i];
        QAction *itemEntry = AddItemMenu(int(i), menuCaption(item.Name));
        if (!states[i].fileExists)
            itemEntry->setEnabled(false);
        if (!itemEntry->isSeparator()) {
            const std::string &current = states[i].current;
            for (std::size_t j = 0; j < item.Values.size(); ++j) {
                const TValueData &value = item.Values[j];
                QAction *valueEntry = AddValueMenu(int(i), int(j), menuCaption(value.Name));
                if (current.empty() || current != value.Value)
                    continue;
                // The last value holding the key's text takes the mark; a separator line takes
                // it from the values before it without showing one.
                QAction *&checked = m_checkedValueEntries[i];
                if (checked)
                    checked->setChecked(false);
                checked = valueEntry->isSeparator() ? nullptr : valueEntry;
                if (checked)
                    checked->setChecked(true);
            }
        }
        // An item without values has no submenu.
        if (QMenu *submenu = itemEntry->menu(); submenu && submenu->isEmpty()) {
            itemEntry->setMenu(nullptr);
            delete submenu;
        }
    }
    m_menuItems = m_itemList;
    m_separator->setVisible(count > 0);
}

void TForm1::addItemEntries(std::size_t count)
{
    // The last one first, and each new one in front of the one after it: the menu searches its
    // entries from the front for the entry to insert before.
    const std::size_t kept = m_itemEntries.size();
    if (count <= kept)
        return;
    m_itemEntries.resize(count);
    QAction *before = m_separator;
    for (std::size_t i = count; i-- > kept;) {
        auto *entry = new QAction(m_popupMenu);
        entry->setObjectName(QStringLiteral("I%1").arg(i));
        m_popupMenu->insertAction(before, entry);
        m_itemEntries[i] = entry;
        before = entry;
    }
}

QAction *TForm1::AddItemMenu(int i, const QString &caption)
{
    // The entry of the last build starts afresh, with its submenu emptied.
    QAction *entry = m_itemEntries[std::size_t(i)];
    if (QMenu *submenu = entry->menu())
        qDeleteAll(submenu->actions());
    entry->setEnabled(true);
    entry->setSeparator(isSeparatorCaption(caption));
    entry->setText(entry->isSeparator() ? QString() : caption);
    return entry;
}

QAction *TForm1::AddValueMenu(int i, int j, const QString &caption)
{
    QAction *itemEntry = m_itemEntries[std::size_t(i)];
    QMenu *submenu = itemEntry->menu();
    if (!submenu) {
        submenu = new QMenu(m_popupMenu);
        submenu->setSeparatorsCollapsible(false);
        submenu->setObjectName(itemEntry->objectName());
        auto *group = new QActionGroup(submenu);
        group->setObjectName(itemEntry->objectName() + QStringLiteral("Group"));
        group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
        itemEntry->setMenu(submenu);
    }
    auto *entry = new QAction(submenu);
    entry->setObjectName(QStringLiteral("I%1V%2").arg(i).arg(j));
    submenu->addAction(entry);
    if (isSeparatorCaption(caption)) {
        entry->setSeparator(true);
        return entry;
    }
    entry->setText(caption);
    entry->setCheckable(true);
    submenu->findChild<QActionGroup *>()->addAction(entry);
    connect(entry, &QAction::triggered, this, [this, entry] {
        runGuarded(m_dialogs, nullptr, [this, entry] { ValueMenuClick(entry); });
    });
    return entry;
}

void TForm1::ValueMenuClick(QAction *sender)
{
    int i = -1, j = -1;
    if (!parseValueEntryName(sender->objectName(), i, j) || i < 0 || j < 0
        || std::size_t(i) >= m_menuItems.size()
        || std::size_t(j) >= m_menuItems[std::size_t(i)].Values.size())
        return;
    // The toolkit has already moved the mark to the clicked entry; it stays there only when the
    // write succeeds.
    QAction *&checked = m_checkedValueEntries[std::size_t(i)];
    QAction *const previous = checked;
    if (previous)
        previous->setChecked(true);
    else
        sender->setChecked(false);

    const TItemData &item = m_menuItems[std::size_t(i)];
    WriteIniValue(item.FileName, item.Section, item.Key, item.Values[std::size_t(j)].Value);
    sender->setChecked(true);
    checked = sender;
}

void TForm1::TrayNotify(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::Context:
        openPopupAtCursor();
        break;
    case QSystemTrayIcon::DoubleClick:
        m_popupMenu->hide();
        runGuarded(m_dialogs, nullptr, [this] { XItemListClick(); });
        break;
    default:
        break;
    }
}

void TForm1::openPopupAtCursor()
{
    const QPoint cursor = QCursor::pos();
    QScreen *screen = QGuiApplication::screenAt(cursor);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->geometry() : QRect(cursor, QSize(1, 1));
    m_popupMenu->popup(popupPosition(cursor, m_popupMenu->sizeHint(), available));
    m_sinceMenuOpened.start();
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    // While the menu is open it takes every press, so the second press of a double click on the
    // icon arrives here instead of at the icon.
    if (watched == m_popupMenu
        && (event->type() == QEvent::MouseButtonPress
            || event->type() == QEvent::MouseButtonDblClick)) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && m_sinceMenuOpened.isValid()
            && m_sinceMenuOpened.elapsed() <= QApplication::doubleClickInterval()
            && m_trayIcon->geometry().contains(mouse->globalPosition().toPoint())) {
            m_sinceMenuOpened.invalidate();
            m_popupMenu->hide();
            runGuarded(m_dialogs, nullptr, [this] { XItemListClick(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::XItemListClick()
{
    if (m_showItemList)
        m_showItemList();
}

void TForm1::XExitClick()
{
    close();
}

void TForm1::removeIcon()
{
    m_trayIcon->hide();
}

void TForm1::closeEvent(QCloseEvent *event)
{
    removeIcon();
    event->accept();
    emit closed();
}

} // namespace velmora
