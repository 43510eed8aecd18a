#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QSystemTrayIcon>
#include <QWidget>

#include "itemdata.h"

class QAction;
class QActionGroup;
class QMenu;
class QTimer;

namespace velmora {

class DialogService;

// The hidden main form: owns the notification icon, the tray menu and the program's ItemList.
// The menu shows every item with its values and the value its key holds now marked; choosing a
// value writes it into the key.
class TForm1 : public QWidget
{
    Q_OBJECT

public:
    static constexpr auto PopupMenu1 = "PopupMenu1";
    static constexpr auto Xsep = "Xsep";
    static constexpr auto XItemList = "XItemList";
    static constexpr auto XOption = "XOption";
    static constexpr auto XVersion = "XVersion";
    static constexpr auto XExit = "XExit";

    // executableDirectory ends in a separator; the item files are read from there.
    TForm1(DialogService &dialogs, std::string executableDirectory, const QIcon &icon,
        QWidget *parent = nullptr);
    ~TForm1() override;

    // Adds the icon and builds the menu; a failure is shown and creation goes on.
    void FormCreate();

    // Reloads ITEM.CSV and VALUE.CSV into a new ItemList and rebuilds the menu's item entries.
    // Throws Error when an item file cannot be read; the menu then holds only its fixed part.
    void RebuildTrayMenu();

    // What a rebuild finds out about an item before it builds its entry.
    struct ItemState
    {
        bool fileExists = false; // the item's INI file exists
        std::string current; // the text the item's key holds now
    };

    // Makes the item entries show ItemList, one state per item.
    void BuildItemEntries(const std::vector<ItemState> &states);

    // The program's items; the item list window edits them in place.
    ItemList &itemList() { return m_itemList; }

    // Called to show the item list window (the tray entry and a double click on the icon).
    void setShowItemList(std::function<void()> showItemList);

    QMenu *popupMenu() const { return m_popupMenu; }
    QSystemTrayIcon *trayIcon() const { return m_trayIcon; }

    // What the icon's mouse events do: a left or right press opens the menu at the cursor, a
    // left double click shows the item list.
    void TrayNotify(QSystemTrayIcon::ActivationReason reason);

    void XItemListClick();
    void XExitClick();

signals:
    // The form was closed through "終了": the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createFixedEntries();
    void removeGeneratedEntries();
    void removeLastItemEntry();
    // Adds item entries up to count, without captions.
    void addItemEntries(std::size_t count);
    // Item entry i, at menu position i, with the caption and no values.
    QAction *AddItemMenu(int i, const QString &caption);
    // Value entry j, the last so far, in the submenu of item entry i.
    QAction *AddValueMenu(int i, int j, const QString &caption);
    void ValueMenuClick(QAction *sender);
    void openPopupAtCursor();
    void removeIcon();

    DialogService &m_dialogs;
    std::string m_executableDirectory;
    ItemList m_itemList;
    // What the menu shows, as of its last rebuild: clicks write from here, so editing ItemList
    // in place before a save can never redirect a click to another item.
    ItemList m_menuItems;
    std::vector<QAction *> m_itemEntries;
    std::vector<QAction *> m_checkedValueEntries; // per item entry, or nullptr
    std::function<void()> m_showItemList;
    QSystemTrayIcon *m_trayIcon;
    QMenu *m_popupMenu;
    QAction *m_separator;
    QTimer *m_timer1;
    QElapsedTimer m_sinceMenuOpened;
};

} // namespace velmora
