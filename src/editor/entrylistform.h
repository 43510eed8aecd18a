#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include <QMainWindow>
#include <QMargins>
#include <QRect>

#include "componentcreation.h"
#include "itemdata.h"

class QAction;
class QMenu;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace velmora {

class DialogService;

// The item list window: lists, adds, changes, deletes, moves and saves the items. Its position,
// size and bars are kept in KVT.INI beside the executable.
class TForm2 : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr auto Form2 = "Form2";
    static constexpr auto ToolBar1 = "ToolBar1";
    static constexpr auto ToolButton1 = "ToolButton1";
    static constexpr auto ToolButton2 = "ToolButton2";
    static constexpr auto ToolButton3 = "ToolButton3";
    static constexpr auto ToolButton4 = "ToolButton4";
    static constexpr auto ToolButton5 = "ToolButton5";
    static constexpr auto ToolButton6 = "ToolButton6";
    static constexpr auto ToolButton7 = "ToolButton7";
    static constexpr auto ToolButton8 = "ToolButton8";
    static constexpr auto ToolButton9 = "ToolButton9";
    static constexpr auto ToolButton10 = "ToolButton10";
    static constexpr auto ListView1 = "ListView1";
    static constexpr auto StatusBar1 = "StatusBar1";
    static constexpr auto MainMenu1 = "MainMenu1";
    static constexpr auto File1 = "File1";
    static constexpr auto Save1 = "Save1";
    static constexpr auto N8 = "N8";
    static constexpr auto Close1 = "Close1";
    static constexpr auto Edit1 = "Edit1";
    static constexpr auto XAdd = "XAdd";
    static constexpr auto XMod = "XMod";
    static constexpr auto XDel = "XDel";
    static constexpr auto N9 = "N9";
    static constexpr auto XUMove = "XUMove";
    static constexpr auto XDMove = "XDMove";
    static constexpr auto Show1 = "Show1";
    static constexpr auto N15 = "N15";
    static constexpr auto N16 = "N16";
    static constexpr auto N1 = "N1";
    static constexpr auto N5 = "N5";
    static constexpr auto N6 = "N6";
    static constexpr auto ool1 = "ool1";
    static constexpr auto N7 = "N7";
    static constexpr auto PopupMenu1 = "PopupMenu1";
    static constexpr auto PAdd = "PAdd";
    static constexpr auto PMod = "PMod";
    static constexpr auto PDel = "PDel";
    static constexpr auto N12 = "N12";
    static constexpr auto PUMove = "PUMove";
    static constexpr auto PDMove = "PDMove";

    // The window-settings file in the executable directory, and its one section.
    static constexpr auto SettingsFileName = "KVT.INI";
    static constexpr auto SettingsSection = "Window";

    // editItem shows the registration dialog for ItemList[index] and tells whether it was left
    // with OK; rebuildTrayMenu reloads the saved item files into the tray menu.
    TForm2(ItemList &items, DialogService &dialogs, std::string executableDirectory,
        std::function<bool(int)> editItem, std::function<void()> rebuildTrayMenu,
        QWidget *parent = nullptr, ComponentCreation creation = ComponentCreation::AtConstruction);

    // Reads the window settings, lists the items and shows the window; a window already shown is
    // only brought to the front. Writes the designed settings first when KVT.INI doesn't exist.
    // Throws Error when a setting doesn't read; the window then isn't shown.
    void ShowItemList();

    // Reads KVT.INI and applies each setting as soon as it is read. Throws Error at the first
    // setting that doesn't read.
    void FormInit();

    // Rebuilds the rows from ItemList, each with the name of the value its key holds now.
    void RefreshItemView();

    // Writes ITEM.CSV and VALUE.CSV from ItemList, then rebuilds the tray menu.
    void SaveItemFiles();

    // Moves the item of the selected row of listView by distance places within ItemList; nothing
    // happens without a selection or when the target lies outside the list.
    void MoveItem(QTreeWidget *listView, int distance);

    // ItemList was changed by an add, change or delete since the window was opened or saved.
    bool isModified() const { return m_modified; }

    // The program is ending through "終了", which writes nothing: a close of this window that
    // was waiting for the save question gives up without writing its settings.
    void programEnding() { m_programEnding = true; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    enum class CloseAction { Hide, None };

    void createComponents();
    void createActions();
    void createMenus();
    void createToolBar();
    void createListView();
    void createStatusBar();
    QAction *createAction(
        const char *name, const QString &caption, void (TForm2::*handler)() = nullptr);
    void runHandler(void (TForm2::*handler)());

    void PAddClick();
    void PModClick();
    void PDelClick();
    void PUMoveClick();
    void PDMoveClick();
    void Save1Click();
    void Close1Click();
    void N5Click();
    void N6Click();
    void ListView1DblClick();
    void ListView1SelectItem(QTreeWidgetItem *item, bool selected);
    void FormClose(CloseAction &action);

    void writeDesignedSettings();
    void writeWindowSettings();
    std::string settingsPath() const;
    std::string readSetting(const char *key) const;
    void writeSetting(const char *key, const std::string &value) const;

    std::optional<std::size_t> selectedIndex(const QTreeWidget *listView) const;

    QMargins currentFrameMargins() const;
    QMargins knownFrameMargins() const;
    QRect outerGeometry() const;
    void setOuterGeometry(const QRect &outer);
    void keepOnScreen();
    void learnFrameMargins();

    ItemList &m_items;
    DialogService &m_dialogs;
    std::string m_executableDirectory;
    std::function<bool(int)> m_editItem;
    std::function<void()> m_rebuildTrayMenu;
    bool m_modified = false;
    bool m_programEnding = false;

    // The window frame as the platform last reported it: a hidden window has no frame to measure.
    QMargins m_frameMargins;
    // The outer geometry last set while the frame was unknown, to be set again once it is known.
    std::optional<QRect> m_outerWithoutFrame;

    QToolBar *m_toolBar1 = nullptr;
    QTreeWidget *m_listView1 = nullptr;
    QMenu *m_popupMenu1 = nullptr;
    QAction *m_save1 = nullptr;
    QAction *m_close1 = nullptr;
    QAction *m_xAdd = nullptr;
    QAction *m_xMod = nullptr;
    QAction *m_xDel = nullptr;
    QAction *m_xUMove = nullptr;
    QAction *m_xDMove = nullptr;
    QAction *m_n15 = nullptr;
    QAction *m_n1 = nullptr;
    QAction *m_n5 = nullptr;
    QAction *m_n6 = nullptr;
    QAction *m_n7 = nullptr;
    QAction *m_pAdd = nullptr;
    QAction *m_pMod = nullptr;
    QAction *m_pDel = nullptr;
    QAction *m_pUMove = nullptr;
    QAction *m_pDMove = nullptr;
};

} // namespace velmora
