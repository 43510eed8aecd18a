#pragma once

#include <QDialog>

#include "itemdata.h"

namespace velmora {

class DialogService;

// The item registration dialog: edits one item of ItemList, its name, INI file, section and key
// and its list of values. Only OK writes into the record.
class TForm3 : public QDialog
{
    Q_OBJECT

public:
    TForm3(ItemList &items, DialogService &dialogs, QWidget *parent = nullptr);

    // Shows the dialog modally for ItemList[index]; true when it was left with OK, which has
    // rewritten the record.
    bool EditItem(int index);

private:
    ItemList &m_items;
    DialogService &m_dialogs;
};

} // namespace velmora
