#pragma once

#include <functional>
#include <map>
#include <string>

#include <QDialog>
#include <QString>

#include "componentcreation.h"
#include "itemdata.h"

class QFrame;
class QKeyEvent;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace velmora {

class DialogService;

// The item registration dialog: edits one item of ItemList, its name, INI file, section and key
// and its list of values. Only OK writes into the record.
class TForm3 : public QDialog
{
    Q_OBJECT

public:
    static constexpr auto PageControl1 = "PageControl1";
    static constexpr auto TabSheet1 = "TabSheet1";
    static constexpr auto TabSheet2 = "TabSheet2";
    static constexpr auto Edit1 = "Edit1";
    static constexpr auto Edit2 = "Edit2";
    static constexpr auto Edit3 = "Edit3";
    static constexpr auto Edit4 = "Edit4";
    static constexpr auto Edit5 = "Edit5";
    static constexpr auto Edit6 = "Edit6";
    static constexpr auto ListView2 = "ListView2";
    static constexpr auto Button1 = "Button1";
    static constexpr auto Button2 = "Button2";
    static constexpr auto Button3 = "Button3";
    static constexpr auto Button4 = "Button4";
    static constexpr auto Button5 = "Button5";
    static constexpr auto Button6 = "Button6";
    static constexpr auto Button7 = "Button7";
    static constexpr auto Button8 = "Button8";

    // ListView2's columns.
    enum Column { ValueNameColumn, ValueColumn, ItemCodeColumn, ValueCodeColumn };

    // Runs the dialog modally and returns when it has closed.
    using ModalRunner = std::function<int(QDialog &)>;

    TForm3(ItemList &items, DialogService &dialogs, QWidget *parent = nullptr,
        ComponentCreation creation = ComponentCreation::AtConstruction);

    // Shows the dialog modally for ItemList[index]; true when it was left with OK, which has
    // rewritten the record. A negative index shows it empty, with no record for OK to write.
    // Throws Error, before showing anything, when index is past the end of the list.
    bool EditItem(int index);

    // Lists the values of ItemList[index] that belong to it; a negative index lists nothing.
    void FillValueView(int index);

    // How EditItem runs the dialog: exec() unless replaced, e.g. by a test that fills the boxes.
    void setModalRunner(ModalRunner runModal);

    int EditIndex() const { return m_editIndex; }
    bool Accepted() const { return m_accepted; }

    // What the components do; each runs inside the error display when its component fires.
    void ListView2SelectItem(QTreeWidgetItem *item, bool selected);
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The text the dialog put into a box and the bytes it showed.
    struct FilledText
    {
        QString shown;
        std::string bytes;
    };

    void createComponents();
    void createItemPage();
    void createValuePage();
    void createButtons();
    void setTabOrders();
    QLineEdit *addLabelledBox(
        QFrame *panel, const char *name, const QString &label, int top, int width, bool navy);
    QPushButton *addButton(QWidget *parent, const char *name, const QString &caption,
        const QRect &geometry, void (TForm3::*handler)());
    TItemData &record(int index) const;
    void fillBox(QLineEdit *box, const QString &shown, const std::string &bytes);
    void fillBox(QLineEdit *box, const std::string &bytes);
    std::string boxBytes(const QLineEdit *box) const;
    QTreeWidgetItem *selectedRow() const;
    bool valueNameMissing();
    void moveToScreenCentre();

    ItemList &m_items;
    DialogService &m_dialogs;
    ModalRunner m_runModal;
    int m_editIndex = -1;
    bool m_accepted = false;
    std::map<const QLineEdit *, FilledText> m_filled;

    QTabWidget *m_pageControl1 = nullptr;
    QWidget *m_tabSheet1 = nullptr;
    QWidget *m_tabSheet2 = nullptr;
    QFrame *m_panel1 = nullptr;
    QFrame *m_panel2 = nullptr;
    QLineEdit *m_edit1 = nullptr;
    QLineEdit *m_edit2 = nullptr;
    QLineEdit *m_edit3 = nullptr;
    QLineEdit *m_edit4 = nullptr;
    QLineEdit *m_edit5 = nullptr;
    QLineEdit *m_edit6 = nullptr;
    QTreeWidget *m_listView2 = nullptr;
    QPushButton *m_button1 = nullptr;
    QPushButton *m_button2 = nullptr;
    QPushButton *m_button3 = nullptr;
    QPushButton *m_button4 = nullptr;
    QPushButton *m_button5 = nullptr;
    QPushButton *m_button6 = nullptr;
    QPushButton *m_button7 = nullptr;
    QPushButton *m_button8 = nullptr;
};

} // namespace velmora
