#include "entryform.h"

#include <algorithm>
#include <optional>
#include <vector>

#include <QDir>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "blanks.h"
#include "dialogservice.h"
#include "displaytext.h"
#include "error.h"
#include "errordisplay.h"
#include "formfont.h"
#include "itemfiles.h"
#include "singlelinevalidator.h"

using namespace Qt::StringLiterals;

namespace velmora {

namespace {

// Each name and value cell keeps the bytes it stands for, so that OK writes back exactly what
// was read even where the code page cannot show it.
constexpr int BytesRole = Qt::UserRole;

void setCell(QTreeWidgetItem *row, int column, const QString &text, const std::string &bytes)
{
    row->setText(column, text);
    row->setData(column, BytesRole, QByteArray::fromStdString(bytes));
}

std::string cellBytes(const QTreeWidgetItem *row, int column)
{
    return row->data(column, BytesRole).toByteArray().toStdString();
}

// Tabs only as high as their text needs: the style's default would leave the value page too
// little room for the row buttons between the list and the panel.
class CompactTabBar : public QTabBar
{
protected:
    QSize tabSizeHint(int index) const override
    {
        QSize size = QTabBar::tabSizeHint(index);
        size.setHeight(std::min(size.height(), fontMetrics().height() + 6));
        return size;
    }
};

class PageControl : public QTabWidget
{
public:
    explicit PageControl(QWidget *parent)
        : QTabWidget(parent)
    {
        setTabBar(new CompactTabBar);
    }
};

QFrame *newLoweredPanel(QWidget *parent)
{
    auto *panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    return panel;
}

QVBoxLayout *newStackingLayout(QWidget *page)
{
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

} // namespace

TForm3::TForm3(ItemList &items, DialogService &dialogs, QWidget *parent, ComponentCreation creation)
    : QDialog(parent,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
            | Qt::MSWindowsFixedSizeDialogHint)
    , m_items(items)
    , m_dialogs(dialogs)
    , m_runModal([](QDialog &dialog) { return dialog.exec(); })
{
    setObjectName(u"Form3"_s);
    setWindowTitle(u"アイテム登録"_s);
    setFont(formFont());
    setFixedSize(251, 231);
    if (creation == ComponentCreation::AtConstruction)
        createComponents();
}

void TForm3::createComponents()
{
    if (m_pageControl1)
        return;
    m_pageControl1 = new PageControl(this);
    m_pageControl1->setObjectName(QString::fromLatin1(PageControl1));
    m_pageControl1->setGeometry(0, 0, 251, 193);

    createItemPage();
    createValuePage();
    createButtons();
    setTabOrders();
}

void TForm3::createItemPage()
{
    m_tabSheet1 = new QWidget;
    m_tabSheet1->setObjectName(QString::fromLatin1(TabSheet1));
    m_pageControl1->addTab(m_tabSheet1, u"アイテム"_s);

    m_panel1 = newLoweredPanel(m_tabSheet1);
    newStackingLayout(m_tabSheet1)->addWidget(m_panel1);

    m_edit1 = addLabelledBox(m_panel1, Edit1, u"アイテム名"_s, 8, 160, true);
    m_edit2 = addLabelledBox(m_panel1, Edit2, u"ファイル"_s, 40, 141, false);
    m_button6
        = addButton(m_panel1, Button6, u"..."_s, QRect(218, 41, 18, 18), &TForm3::Button6Click);
    m_edit3 = addLabelledBox(m_panel1, Edit3, u"セクション"_s, 72, 160, false);
    m_edit4 = addLabelledBox(m_panel1, Edit4, u"キー"_s, 104, 160, false);
}

void TForm3::createValuePage()
{
    m_tabSheet2 = new QWidget;
    m_tabSheet2->setObjectName(QString::fromLatin1(TabSheet2));
    m_pageControl1->addTab(m_tabSheet2, u"バリューリスト"_s);

    m_listView2 = new QTreeWidget(m_tabSheet2);
    m_listView2->setObjectName(QString::fromLatin1(ListView2));
    m_listView2->setFixedHeight(73);
    m_listView2->setColumnCount(4);
    m_listView2->setHeaderLabels(
        { u"バリュー"_s, u"値"_s, u"アイテムコード"_s, u"バリューコード"_s });
    m_listView2->setColumnWidth(ValueNameColumn, 120);
    m_listView2->setColumnWidth(ValueColumn, 120);
    m_listView2->setColumnHidden(ItemCodeColumn, true);
    m_listView2->setColumnHidden(ValueCodeColumn, true);
    m_listView2->header()->setStretchLastSection(false);
    m_listView2->header()->setSectionsMovable(false);
    m_listView2->setRootIsDecorated(false);
    m_listView2->setItemsExpandable(false);
    m_listView2->setUniformRowHeights(true);
    m_listView2->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listView2->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listView2->setAllColumnsShowFocus(true);
    m_listView2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listView2->setFrameStyle(QFrame::Box | QFrame::Plain);
    // The selected row stays marked as strongly while the focus is in the boxes below.
    QPalette palette = m_listView2->palette();
    for (const QPalette::ColorRole role : { QPalette::Highlight, QPalette::HighlightedText })
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    m_listView2->setPalette(palette);
    connect(m_listView2, &QTreeWidget::itemSelectionChanged, this, [this] {
        runGuarded(m_dialogs, this, [this] {
            QTreeWidgetItem *row = selectedRow();
            ListView2SelectItem(row, row != nullptr);
        });
    });

    m_button3
        = addButton(m_tabSheet2, Button3, u"追加"_s, QRect(6, 77, 47, 20), &TForm3::Button3Click);
    m_button4
        = addButton(m_tabSheet2, Button4, u"変更"_s, QRect(55, 77, 47, 20), &TForm3::Button4Click);
    m_button5
        = addButton(m_tabSheet2, Button5, u"削除"_s, QRect(104, 77, 47, 20), &TForm3::Button5Click);
    m_button7
        = addButton(m_tabSheet2, Button7, u"↑"_s, QRect(189, 77, 23, 20), &TForm3::Button7Click);
    m_button8
        = addButton(m_tabSheet2, Button8, u"↓"_s, QRect(214, 77, 23, 20), &TForm3::Button8Click);
    m_button7->setVisible(false);
    m_button8->setVisible(false);

    m_panel2 = newLoweredPanel(m_tabSheet2);
    m_panel2->setFixedHeight(66);
    m_edit6 = addLabelledBox(m_panel2, Edit6, u"バリュー名"_s, 7, 160, true);
    m_edit5 = addLabelledBox(m_panel2, Edit5, u"値"_s, 39, 160, false);

    // The list stays at the top and the panel at the bottom; the row buttons keep their places
    // in between.
    QVBoxLayout *layout = newStackingLayout(m_tabSheet2);
    layout->addWidget(m_listView2);
    layout->addStretch();
    layout->addWidget(m_panel2);
}

void TForm3::createButtons()
{
    m_button1 = addButton(this, Button1, u"OK"_s, QRect(96, 200, 73, 25), &TForm3::Button1Click);
    m_button2
        = addButton(this, Button2, u"キャンセル"_s, QRect(176, 200, 73, 25), &TForm3::Button2Click);
}

void TForm3::setTabOrders()
{
    QWidget *const chain[] = { m_pageControl1, m_edit1, m_edit2, m_button6, m_edit3, m_edit4,
        m_listView2, m_edit6, m_edit5, m_button3, m_button4, m_button5, m_button7, m_button8,
        m_button1, m_button2 };
    for (std::size_t i = 1; i < std::size(chain); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

QLineEdit *TForm3::addLabelledBox(
    QFrame *panel, const char *name, const QString &label, int top, int width, bool navy)
{
    auto *caption = new QLabel(label, panel);
    caption->setGeometry(11, top, 63, 20);
    caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    if (navy) {
        QPalette palette = caption->palette();
        palette.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0x80));
        caption->setPalette(palette);
    }
    auto *box = new QLineEdit(panel);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(76, top, width, 20);
    box->setValidator(new SingleLineValidator(box));
    caption->setBuddy(box);
    return box;
}

QPushButton *TForm3::addButton(QWidget *parent, const char *name, const QString &caption,
    const QRect &geometry, void (TForm3::*handler)())
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    // A dialog's push buttons answer Enter when focused, and the first of them becomes the
    // default button; this dialog has none that Enter presses.
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this,
        [this, handler] { runGuarded(m_dialogs, this, [this, handler] { (this->*handler)(); }); });
    return button;
}

void TForm3::setModalRunner(ModalRunner runModal)
{
    m_runModal = std::move(runModal);
}

TItemData &TForm3::record(int index) const
{
    if (index < 0 || std::size_t(index) >= m_items.size())
        throw Error("リストのインデックスが範囲を超えています (" + std::to_string(index) + ")");
    return m_items[std::size_t(index)];
}

void TForm3::fillBox(QLineEdit *box, const QString &shown, const std::string &bytes)
{
    box->setText(shown);
    m_filled[box] = { shown, bytes };
}

void TForm3::fillBox(QLineEdit *box, const std::string &bytes)
{
    fillBox(box, toDisplay(bytes), bytes);
}

std::string TForm3::boxBytes(const QLineEdit *box) const
{
    // Text the user has not changed keeps its bytes, also those that the code page can't show.
    const auto filled = m_filled.find(box);
    if (filled != m_filled.end() && box->text() == filled->second.shown)
        return filled->second.bytes;
    return fromDisplay(box->text());
}

QTreeWidgetItem *TForm3::selectedRow() const
{
    const QList<QTreeWidgetItem *> rows = m_listView2->selectedItems();
    return rows.isEmpty() ? nullptr : rows.constFirst();
}

void TForm3::moveToScreenCentre()
{
    QScreen *target = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!target)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(target->geometry().center());
    move(frame.topLeft());
}

bool TForm3::EditItem(int index)
{
    createComponents();
    const TItemData *item = index >= 0 ? &record(index) : nullptr;
    m_editIndex = index;
    m_accepted = false;
    m_pageControl1->setCurrentWidget(m_tabSheet1);
    for (QLineEdit *box : { m_edit1, m_edit2, m_edit3, m_edit4, m_edit5, m_edit6 })
        fillBox(box, std::string());
    m_button4->setEnabled(false);
    m_button5->setEnabled(false);
    if (item) {
        fillBox(m_edit1, item->Name);
        fillBox(m_edit2, item->FileName);
        fillBox(m_edit3, item->Section);
        fillBox(m_edit4, item->Key);
    }
    FillValueView(index);
    m_pageControl1->setFocus();
    moveToScreenCentre();
    m_runModal(*this);
    return m_accepted;
}

void TForm3::FillValueView(int index)
{
    m_listView2->clear();
    if (index < 0)
        return;
    const TItemData &item = record(index);
    for (const TValueData &value : item.Values) {
        if (value.ItemCode != item.Code)
            continue;
        auto *row = new QTreeWidgetItem(m_listView2);
        setCell(row, ValueNameColumn, toDisplay(value.Name), value.Name);
        setCell(row, ValueColumn, toDisplay(value.Value), value.Value);
        row->setText(ItemCodeColumn, toDisplay(value.ItemCode));
        row->setText(ValueCodeColumn, toDisplay(value.ValueCode));
    }
}

void TForm3::ListView2SelectItem(QTreeWidgetItem *item, bool selected)
{
    fillBox(m_edit6, std::string());
    fillBox(m_edit5, std::string());
    if (selected && item) {
        fillBox(m_edit6, item->text(ValueNameColumn), cellBytes(item, ValueNameColumn));
        fillBox(m_edit5, item->text(ValueColumn), cellBytes(item, ValueColumn));
    }
    m_button4->setEnabled(selected);
    m_button5->setEnabled(selected);
}

bool TForm3::valueNameMissing()
{
    if (!trimBlanks(boxBytes(m_edit6)).empty())
        return false;
    m_dialogs.showHint(this, u"「バリュー名」を入力して下さい。"_s);
    m_pageControl1->setCurrentWidget(m_tabSheet2);
    m_edit6->setFocus();
    return true;
}

void TForm3::Button1Click()
{
    if (trimBlanks(boxBytes(m_edit1)).empty()) {
        m_dialogs.showHint(this, u"「アイテム名」を入力して下さい。"_s);
        m_pageControl1->setCurrentWidget(m_tabSheet1);
        m_edit1->setFocus();
        return;
    }
    TItemData &item = record(m_editIndex);

    std::vector<TValueData> values;
    values.reserve(std::size_t(m_listView2->topLevelItemCount()));
    for (int r = 0; r < m_listView2->topLevelItemCount(); ++r) {
        const QTreeWidgetItem *row = m_listView2->topLevelItem(r);
        values.push_back({ std::string(), TwoDigitCode(std::size_t(r) + 1),
            cellBytes(row, ValueNameColumn), cellBytes(row, ValueColumn) });
    }
    std::string name = boxBytes(m_edit1);
    std::string fileName = boxBytes(m_edit2);
    std::string section = boxBytes(m_edit3);
    std::string key = boxBytes(m_edit4);

    item.Code.clear();
    item.Name = std::move(name);
    item.FileName = std::move(fileName);
    item.Section = std::move(section);
    item.Key = std::move(key);
    item.Values = std::move(values);
    m_accepted = true;
    accept();
}

void TForm3::Button2Click()
{
    reject();
}

void TForm3::Button3Click()
{
    if (valueNameMissing())
        return;
    auto *row = new QTreeWidgetItem(m_listView2);
    setCell(row, ValueNameColumn, m_edit6->text(), boxBytes(m_edit6));
    setCell(row, ValueColumn, m_edit5->text(), boxBytes(m_edit5));
    row->setText(ItemCodeColumn, u"dummy"_s);
    row->setText(ValueCodeColumn, u"dummy"_s);
}

void TForm3::Button4Click()
{
    QTreeWidgetItem *row = selectedRow();
    if (!row || valueNameMissing())
        return;
    setCell(row, ValueNameColumn, m_edit6->text(), boxBytes(m_edit6));
    setCell(row, ValueColumn, m_edit5->text(), boxBytes(m_edit5));
}

void TForm3::Button5Click()
{
    QTreeWidgetItem *row = selectedRow();
    if (!row)
        return;
    // Qt would select the next row when the current one goes; here nothing stays selected, so
    // the boxes and row buttons empty as on any deselection and a second press deletes nothing.
    m_listView2->selectionModel()->clear();
    delete row;
}

void TForm3::Button6Click()
{
    const std::optional<QString> path = m_dialogs.chooseFileToOpen(this, u"Ini files (*.ini)"_s);
    if (path)
        m_edit2->setText(QDir::toNativeSeparators(*path));
}

void TForm3::Button7Click()
{
    m_dialogs.showHint(this, u"まだ未対応"_s);
}

void TForm3::Button8Click()
{
    m_dialogs.showHint(this, u"まだ未対応"_s);
}

void TForm3::keyPressEvent(QKeyEvent *event)
{
    // The dialog has no default and no cancel button: Enter presses nothing, and Escape does
    // not close it as QDialog would.
    if (event->matches(QKeySequence::Cancel) || event->key() == Qt::Key_Return
        || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace velmora
