#include "entrylistform.h"

#include "formfont.h"

namespace velmora {

TForm2::TForm2(ItemList &items, DialogService &dialogs, std::string executableDirectory,
               std::function<bool(int)> editItem, std::function<void()> rebuildTrayMenu,
               QWidget *parent)
    : QMainWindow(parent)
    , m_items(items)
    , m_dialogs(dialogs)
    , m_executableDirectory(std::move(executableDirectory))
    , m_editItem(std::move(editItem))
    , m_rebuildTrayMenu(std::move(rebuildTrayMenu))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("アイテムリスト"));
    setFont(formFont());
}

void TForm2::ShowItemList()
{
    show();
    raise();
    activateWindow();
}

} // namespace velmora
