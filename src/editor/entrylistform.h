#pragma once

#include <functional>
#include <string>

#include <QMainWindow>

#include "itemdata.h"

namespace velmora {

class DialogService;

// The item list window: lists, adds, changes, deletes, moves and saves the items.
class TForm2 : public QMainWindow
{
    Q_OBJECT

public:
    // editItem shows the registration dialog for ItemList[index] and tells whether it was left
    // with OK; rebuildTrayMenu reloads the saved item files into the tray menu.
    TForm2(ItemList &items, DialogService &dialogs, std::string executableDirectory,
           std::function<bool(int)> editItem, std::function<void()> rebuildTrayMenu,
           QWidget *parent = nullptr);

    // Prepares the window and shows it.
    void ShowItemList();

private:
    ItemList &m_items;
    DialogService &m_dialogs;
    std::string m_executableDirectory;
    std::function<bool(int)> m_editItem;
    std::function<void()> m_rebuildTrayMenu;
};

} // namespace velmora
