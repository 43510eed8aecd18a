#include "entryform.h"

#include "formfont.h"

namespace velmora {

TForm3::TForm3(ItemList &items, DialogService &dialogs, QWidget *parent)
    : QDialog(parent)
    , m_items(items)
    , m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("アイテム登録"));
    setFont(formFont());
}

bool TForm3::EditItem(int)
{
    return exec() == QDialog::Accepted;
}

} // namespace velmora
