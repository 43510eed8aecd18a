#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QtTest>

#include "codepage.h"
#include "entryform.h"
#include "error.h"
#include "scripteddialogservice.h"
#include "systemtext.h"

using namespace velmora;
using namespace Qt::StringLiterals;
using test::sys;

namespace {

const QString NameHint = u"「アイテム名」を入力して下さい。"_s;
const QString ValueNameHint = u"「バリュー名」を入力して下さい。"_s;

// The first item has a value that another item's code links (it gets no row); the second item
// is there to show that only the edited record changes. In Shift-JIS, 表 of the file name ends in
// the byte of a backslash.
ItemList sampleItems()
{
    return {
        { "01", sys("画面"), sys("C:\\ini\\表示.ini"), "Display", "Mode",
            { { "01", "01", sys("標準"), "1024" }, { "01", "02", sys("ワイド"), "1920" },
                { "99", "01", sys("よその値"), "x" }, { "01", "03", sys("小"), "800" } } },
        { "02", sys("音量"), "/etc/sound.ini", "Sound", "Level",
            { { "02", "01", sys("大"), "10" } } },
    };
}

// Bytes as readable text where they are text in the system code page, else in hex, so
// comparisons stay exact.
QString bytesText(const std::string &bytes)
{
    const std::string text = systemToUtf8(bytes);
    if (utf8ToSystem(text) == bytes)
        return QString::fromStdString(text);
    return u"<hex "_s + QString::fromLatin1(QByteArray::fromStdString(bytes).toHex(' ')) + u">"_s;
}

// Every field of a record, its values as "ItemCode|ValueCode|Name|Value".
QStringList describe(const TItemData &item)
{
    QStringList fields { bytesText(item.Code), bytesText(item.Name), bytesText(item.FileName),
        bytesText(item.Section), bytesText(item.Key) };
    for (const TValueData &value : item.Values)
        fields << QStringList { bytesText(value.ItemCode), bytesText(value.ValueCode),
            bytesText(value.Name), bytesText(value.Value) }
                      .join(u'|');
    return fields;
}

// The dialog on a list of items with scripted message boxes. edit() opens it for one item and
// plays the user's part while it is shown; a dialog the user leaves open is cancelled after.
struct Fixture
{
    explicit Fixture(ComponentCreation creation = ComponentCreation::AtConstruction)
        : form(items, dialogs, nullptr, creation)
    { }

    ItemList items = sampleItems();
    test::ScriptedDialogService dialogs;
    TForm3 form;
    bool leftOpen = false;
    bool shown = false;

    bool edit(int index, const std::function<void()> &user)
    {
        form.setModalRunner([this, user](QDialog &dialog) {
            shown = true;
            dialog.show();
            if (!QTest::qWaitForWindowActive(&dialog))
                qWarning("the dialog did not become active");
            user();
            leftOpen = dialog.isVisible();
            if (leftOpen)
                dialog.reject();
            return dialog.result();
        });
        return form.EditItem(index);
    }

    template<class T>
    T *get(const char *name) const
    {
        T *widget = form.findChild<T *>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no %s", name);
        return widget;
    }
    QLineEdit *box(const char *name) const { return get<QLineEdit>(name); }
    QPushButton *button(const char *name) const { return get<QPushButton>(name); }
    QTreeWidget *list() const { return get<QTreeWidget>(TForm3::ListView2); }
    QTabWidget *pages() const { return get<QTabWidget>(TForm3::PageControl1); }
    QWidget *currentPage() const { return pages()->currentWidget(); }
    QString currentPageName() const { return currentPage()->objectName(); }

    // Types into a box as an input method commits text, replacing what it held.
    void type(const char *name, const QString &text) const
    {
        QLineEdit *edit = box(name);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        if (text.isEmpty())
            return;
        QInputMethodEvent event;
        event.setCommitString(text);
        QApplication::sendEvent(edit, &event);
    }

    void click(const char *name) const { QTest::mouseClick(button(name), Qt::LeftButton); }

    void showValuePage() const { pages()->setCurrentWidget(get<QWidget>(TForm3::TabSheet2)); }

    void clickRow(int row, Qt::KeyboardModifiers modifiers = {}) const
    {
        showValuePage();
        list()->scrollToItem(list()->topLevelItem(row));
        const QRect rect = list()->visualItemRect(list()->topLevelItem(row));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, modifiers, rect.center());
    }

    // Each row as "name|value|item code|value code".
    QStringList rows() const
    {
        QStringList texts;
        for (int r = 0; r < list()->topLevelItemCount(); ++r) {
            const QTreeWidgetItem *row = list()->topLevelItem(r);
            texts << QStringList { row->text(0), row->text(1), row->text(2), row->text(3) }.join(
                u'|');
        }
        return texts;
    }

    QStringList selectedRows() const
    {
        QStringList names;
        for (const QTreeWidgetItem *row : list()->selectedItems())
            names << row->text(0);
        return names;
    }

    // "enabled" or "disabled" when "変更" and "削除" agree, as they always should.
    QString rowButtons() const
    {
        const bool change = button(TForm3::Button4)->isEnabled();
        const bool remove = button(TForm3::Button5)->isEnabled();
        if (change != remove)
            return change ? u"only Button4 enabled"_s : u"only Button5 enabled"_s;
        return change ? u"enabled"_s : u"disabled"_s;
    }
};

const QStringList SampleRows { u"標準|1024|01|01"_s, u"ワイド|1920|01|02"_s, u"小|800|01|03"_s };

} // namespace

class TestTForm3 : public QObject
{
    Q_OBJECT

private slots:
    void components_data();
    void components();
    void pagesAndList();
    void tabOrder();
    void editItemShowsTheRecordAndItsOwnValues();
    void componentsBuiltOnFirstShow();
    void eachEditStartsAfresh();
    void okRewritesTheRecord();
    void okWithoutRowsLeavesNoValues();
    void blankItemName_data();
    void blankItemName();
    void blankValueName_data();
    void blankValueName();
    void addAppendsUnselectedRowsAndKeepsTheBoxes();
    void changeRewritesTheSelectedRowOnly();
    void deleteRemovesTheSelectedRowAtOnce();
    void selectingFillsAndDeselectingEmptiesTheBoxes();
    void fileButton_data();
    void fileButton();
    void arrowButtonsAnswerNotYetSupported();
    void leavingWithoutOkKeepsTheRecord_data();
    void leavingWithoutOkKeepsTheRecord();
    void enterAndEscapeDoNothing_data();
    void enterAndEscapeDoNothing();
    void unshowableBytesSurviveAnOk();
    void pastedLineBreaksNeverReachTheRecord_data();
    void pastedLineBreaksNeverReachTheRecord();
    void runsModallyUntilOkOrClose_data();
    void runsModallyUntilOkOrClose();
    void indexOutsideTheList();
};

void TestTForm3::components_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry"); // in the parent's coordinates
    QTest::addColumn<QString>("caption"); // a button's text, or the label beside a box
    QTest::addColumn<bool>("navy");
    QTest::addColumn<bool>("visible");

    const auto row = [](const char *name, QRect geometry, const QString &caption, bool navy,
                         bool visible) {
        QTest::newRow(name) << QString::fromLatin1(name) << geometry << caption << navy << visible;
    };
    row("Edit1", { 76, 8, 160, 20 }, u"アイテム名"_s, true, true);
    row("Edit2", { 76, 40, 141, 20 }, u"ファイル"_s, false, true);
    row("Button6", { 218, 41, 18, 18 }, u"..."_s, false, true);
    row("Edit3", { 76, 72, 160, 20 }, u"セクション"_s, false, true);
    row("Edit4", { 76, 104, 160, 20 }, u"キー"_s, false, true);
    row("Button3", { 6, 77, 47, 20 }, u"追加"_s, false, true);
    row("Button4", { 55, 77, 47, 20 }, u"変更"_s, false, true);
    row("Button5", { 104, 77, 47, 20 }, u"削除"_s, false, true);
    row("Button7", { 189, 77, 23, 20 }, u"↑"_s, false, false);
    row("Button8", { 214, 77, 23, 20 }, u"↓"_s, false, false);
    row("Edit6", { 76, 7, 160, 20 }, u"バリュー名"_s, true, true);
    row("Edit5", { 76, 39, 160, 20 }, u"値"_s, false, true);
    row("Button1", { 96, 200, 73, 25 }, u"OK"_s, false, true);
    row("Button2", { 176, 200, 73, 25 }, u"キャンセル"_s, false, true);
}

void TestTForm3::components()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QFETCH(bool, navy);
    QFETCH(bool, visible);

    Fixture f;
    QWidget *widget = f.form.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->isVisibleTo(widget->parentWidget()), visible);
    if (auto *button = qobject_cast<QPushButton *>(widget)) {
        QCOMPARE(button->text(), caption);
        return;
    }
    QLabel *label = nullptr;
    for (QLabel *candidate : widget->parentWidget()->findChildren<QLabel *>())
        if (candidate->buddy() == widget)
            label = candidate;
    QVERIFY(label);
    QCOMPARE(label->text(), caption);
    QCOMPARE(label->x(), 11);
    QCOMPARE(label->geometry().center().y(), geometry.center().y());
    const QColor navyColour(0x00, 0x00, 0x80);
    QCOMPARE(label->palette().color(QPalette::WindowText) == navyColour, navy);
}

void TestTForm3::pagesAndList()
{
    Fixture f;
    QCOMPARE(f.form.windowTitle(), u"アイテム登録"_s);
    QCOMPARE(f.form.minimumSize(), QSize(251, 231));
    QCOMPARE(f.form.maximumSize(), QSize(251, 231));
    QCOMPARE(f.form.font().pixelSize(), 12);
    QCOMPARE(f.pages()->geometry(), QRect(0, 0, 251, 193));
    QCOMPARE(f.pages()->count(), 2);
    QCOMPARE(f.pages()->widget(0)->objectName(), u"TabSheet1"_s);
    QCOMPARE(f.pages()->tabText(0), u"アイテム"_s);
    QCOMPARE(f.pages()->widget(1)->objectName(), u"TabSheet2"_s);
    QCOMPARE(f.pages()->tabText(1), u"バリューリスト"_s);

    f.edit(0, [&] {
        // The first page's panel fills it; on the second the list is at the top, the panel at
        // the bottom and the row buttons between them, clear of both.
        QWidget *page1 = f.currentPage();
        auto *panel1 = qobject_cast<QFrame *>(f.box(TForm3::Edit1)->parentWidget());
        QCOMPARE(panel1->geometry(), page1->rect());
        f.showValuePage();
        QWidget *page2 = f.currentPage();
        auto *panel2 = qobject_cast<QFrame *>(f.box(TForm3::Edit6)->parentWidget());
        QCOMPARE(panel2->parentWidget(), page2);
        QCOMPARE(panel2->geometry(), QRect(0, page2->height() - 66, page2->width(), 66));
        QCOMPARE(f.list()->geometry(), QRect(0, 0, page2->width(), 73));
        const QRect buttons = f.button(TForm3::Button3)->geometry();
        QVERIFY2(f.list()->geometry().bottom() < buttons.top(), "list covers the row buttons");
        QVERIFY2(buttons.bottom() < panel2->geometry().top(), "panel covers the row buttons");
        for (QFrame *panel : { panel1, panel2 }) {
            QCOMPARE(panel->frameShape(), QFrame::Panel);
            QCOMPARE(panel->frameShadow(), QFrame::Sunken);
        }
    });

    QTreeWidget *list = f.list();
    QCOMPARE(list->headerItem()->text(0), u"バリュー"_s);
    QCOMPARE(list->headerItem()->text(1), u"値"_s);
    QCOMPARE(list->headerItem()->text(2), u"アイテムコード"_s);
    QCOMPARE(list->headerItem()->text(3), u"バリューコード"_s);
    QCOMPARE(list->columnWidth(0), 120);
    QCOMPARE(list->columnWidth(1), 120);
    QVERIFY(list->isColumnHidden(2));
    QVERIFY(list->isColumnHidden(3));
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(list->frameShape(), QFrame::Box);
    QCOMPARE(list->frameShadow(), QFrame::Plain);
}

void TestTForm3::tabOrder()
{
    Fixture f;
    // Tab goes through the visible, enabled components; the tab bar stands for PageControl1.
    const auto walk = [&](const char *start) {
        f.box(start)->setFocus();
        QStringList names;
        for (int i = 0; i < 10; ++i) {
            QWidget *focus = QApplication::focusWidget();
            names << (qobject_cast<QTabBar *>(focus) ? focus->parentWidget()->objectName()
                                                     : focus->objectName());
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        return names;
    };
    QStringList onItemPage, onValuePage;
    f.edit(0, [&] {
        onItemPage = walk(TForm3::Edit1);
        f.clickRow(0);
        onValuePage = walk(TForm3::Edit6);
    });
    QCOMPARE(onItemPage,
        QStringList({ u"Edit1"_s, u"Edit2"_s, u"Button6"_s, u"Edit3"_s, u"Edit4"_s, u"Button1"_s,
            u"Button2"_s, u"PageControl1"_s, u"Edit1"_s, u"Edit2"_s }));
    QCOMPARE(onValuePage,
        QStringList({ u"Edit6"_s, u"Edit5"_s, u"Button3"_s, u"Button4"_s, u"Button5"_s,
            u"Button1"_s, u"Button2"_s, u"PageControl1"_s, u"ListView2"_s, u"Edit6"_s }));
}

void TestTForm3::editItemShowsTheRecordAndItsOwnValues()
{
    Fixture f;
    const bool accepted = f.edit(0, [&] {
        QCOMPARE(f.currentPageName(), u"TabSheet1"_s);
        QCOMPARE(f.box(TForm3::Edit1)->text(), u"画面"_s);
        QCOMPARE(f.box(TForm3::Edit2)->text(), u"C:\\ini\\表示.ini"_s);
        QCOMPARE(f.box(TForm3::Edit3)->text(), u"Display"_s);
        QCOMPARE(f.box(TForm3::Edit4)->text(), u"Mode"_s);
        QCOMPARE(f.box(TForm3::Edit5)->text(), QString());
        QCOMPARE(f.box(TForm3::Edit6)->text(), QString());
        QCOMPARE(f.rows(), SampleRows);
        QCOMPARE(f.selectedRows(), QStringList());
        QCOMPARE(f.rowButtons(), u"disabled"_s);
        QCOMPARE(f.form.EditIndex(), 0);
    });
    QVERIFY(!accepted);
    QVERIFY(f.leftOpen);
}

void TestTForm3::componentsBuiltOnFirstShow()
{
    Fixture f(ComponentCreation::OnFirstShow);
    QVERIFY(!f.form.findChild<QTabWidget *>(QString::fromLatin1(TForm3::PageControl1)));
    const bool accepted = f.edit(0, [&] {
        QCOMPARE(f.box(TForm3::Edit1)->text(), u"画面"_s);
        QCOMPARE(f.rows(), SampleRows);
        f.click(TForm3::Button1);
    });
    QVERIFY(accepted);
}

void TestTForm3::eachEditStartsAfresh()
{
    Fixture f;
    f.edit(0, [&] {
        f.clickRow(1);
        f.type(TForm3::Edit6, u"途中"_s);
        f.click(TForm3::Button3);
        f.click(TForm3::Button2);
    });
    QVERIFY(!f.leftOpen);

    f.edit(1, [&] {
        QCOMPARE(f.currentPageName(), u"TabSheet1"_s);
        QCOMPARE(f.box(TForm3::Edit1)->text(), u"音量"_s);
        QCOMPARE(f.box(TForm3::Edit6)->text(), QString());
        QCOMPARE(f.box(TForm3::Edit5)->text(), QString());
        QCOMPARE(f.rows(), QStringList { u"大|10|02|01"_s });
        QCOMPARE(f.selectedRows(), QStringList());
        QCOMPARE(f.rowButtons(), u"disabled"_s);
    });

    // A negative index shows an empty dialog.
    f.edit(-1, [&] {
        for (const char *name : { TForm3::Edit1, TForm3::Edit2, TForm3::Edit3, TForm3::Edit4 })
            QCOMPARE(f.box(name)->text(), QString());
        QCOMPARE(f.rows(), QStringList());
    });
    QCOMPARE(f.dialogs.verify(), QString());
}

void TestTForm3::okRewritesTheRecord()
{
    Fixture f;
    const QStringList second = describe(f.items[1]);
    const bool accepted = f.edit(0, [&] {
        f.type(TForm3::Edit1, u" 新しい名前 "_s);
        f.type(TForm3::Edit2, u"D:\\x.ini"_s);
        f.type(TForm3::Edit3, QString());
        f.type(TForm3::Edit4, u"Key 2"_s);
        f.clickRow(0);
        f.type(TForm3::Edit6, u"普通"_s);
        f.type(TForm3::Edit5, u"1280"_s);
        f.click(TForm3::Button4);
        f.clickRow(1);
        f.click(TForm3::Button5);
        f.type(TForm3::Edit6, u"追加"_s);
        f.type(TForm3::Edit5, QString());
        f.click(TForm3::Button3);
        f.click(TForm3::Button3);
        f.click(TForm3::Button1);
    });
    QVERIFY(accepted);
    QVERIFY(f.form.Accepted());
    QVERIFY(!f.leftOpen);
    QCOMPARE(describe(f.items[0]),
        QStringList({ u""_s, u" 新しい名前 "_s, u"D:\\x.ini"_s, u""_s, u"Key 2"_s,
            u"|01|普通|1280"_s, u"|02|小|800"_s, u"|03|追加|"_s, u"|04|追加|"_s }));
    QCOMPARE(describe(f.items[1]), second);

    // The emptied codes still link the values to their item, so all of them show again.
    const bool again = f.edit(0, [&] {
        QCOMPARE(f.rows(),
            QStringList({ u"普通|1280||01"_s, u"小|800||02"_s, u"追加|||03"_s, u"追加|||04"_s }));
        f.click(TForm3::Button1);
    });
    QVERIFY(again);
    QCOMPARE(f.items[0].Values.size(), std::size_t(4));
    QCOMPARE(f.dialogs.verify(), QString());
}

void TestTForm3::okWithoutRowsLeavesNoValues()
{
    Fixture f;
    QVERIFY(f.edit(0, [&] {
        for (int i = 0; i < 3; ++i) {
            f.clickRow(0);
            f.click(TForm3::Button5);
        }
        QCOMPARE(f.rows(), QStringList());
        f.click(TForm3::Button1);
    }));
    QVERIFY(f.items[0].Values.empty());
    QCOMPARE(f.items[0].Name, sys("画面"));
}

void TestTForm3::blankItemName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("spaces") << u"   "_s << false;
    QTest::newRow("tab and control characters") << u"\t\x01 \x1f"_s << false;
    QTest::newRow("ideographic space is no blank") << u"\u3000"_s << true;
    QTest::newRow("one character") << u"a"_s << true;
}

void TestTForm3::blankItemName()
{
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    Fixture f;
    const QStringList before = describe(f.items[0]);
    if (!accepted)
        f.dialogs.expectHint(NameHint);
    const bool result = f.edit(0, [&] {
        f.box(TForm3::Edit1)->setText(name);
        f.clickRow(0);
        f.box(TForm3::Edit5)->setFocus();
        f.click(TForm3::Button1);
        if (!accepted) {
            QCOMPARE(f.currentPageName(), u"TabSheet1"_s);
            QCOMPARE(f.form.focusWidget(), f.box(TForm3::Edit1));
        }
    });
    QCOMPARE(result, accepted);
    QCOMPARE(f.leftOpen, !accepted);
    if (!accepted)
        QCOMPARE(describe(f.items[0]), before);
    else
        QCOMPARE(f.items[0].Name, sys(name.toStdString()));
    QCOMPARE(f.dialogs.verify(), QString());
}

void TestTForm3::blankValueName_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("name");
    for (const char *button : { "Button3", "Button4" }) {
        QTest::addRow("%s, empty", button) << QString::fromLatin1(button) << QString();
        QTest::addRow("%s, blanks", button) << QString::fromLatin1(button) << u" \t "_s;
    }
}

void TestTForm3::blankValueName()
{
    QFETCH(QString, button);
    QFETCH(QString, name);
    Fixture f;
    f.dialogs.expectHint(ValueNameHint);
    f.edit(0, [&] {
        f.clickRow(2);
        f.box(TForm3::Edit6)->setText(name);
        f.type(TForm3::Edit5, u"値"_s);
        f.box(TForm3::Edit5)->setFocus();
        f.click(button.toLatin1().constData());
        QCOMPARE(f.currentPageName(), u"TabSheet2"_s);
        QCOMPARE(f.form.focusWidget(), f.box(TForm3::Edit6));
        QCOMPARE(f.rows(), SampleRows);
    });
    QVERIFY(f.leftOpen);
    QCOMPARE(f.dialogs.verify(), QString());
}

void TestTForm3::addAppendsUnselectedRowsAndKeepsTheBoxes()
{
    Fixture f;
    f.edit(0, [&] {
        f.showValuePage();
        f.type(TForm3::Edit6, u" 中 "_s);
        f.type(TForm3::Edit5, u" 900 "_s);
        f.click(TForm3::Button3);
        QCOMPARE(f.rows(), SampleRows + QStringList { u" 中 | 900 |dummy|dummy"_s });
        QCOMPARE(f.box(TForm3::Edit6)->text(), u" 中 "_s);
        QCOMPARE(f.box(TForm3::Edit5)->text(), u" 900 "_s);
        QCOMPARE(f.selectedRows(), QStringList());
        QCOMPARE(f.rowButtons(), u"disabled"_s);

        // With a row selected: the same name again is allowed, and the selection stays.
        f.clickRow(0);
        f.type(TForm3::Edit6, u" 中 "_s);
        f.click(TForm3::Button3);
        QCOMPARE(f.rows().size(), 5);
        QCOMPARE(f.rows().last(), u" 中 |1024|dummy|dummy"_s);
        QCOMPARE(f.selectedRows(), QStringList { u"標準"_s });
    });
    QCOMPARE(f.dialogs.verify(), QString());
}

void TestTForm3::changeRewritesTheSelectedRowOnly()
{
    Fixture f;
    f.edit(0, [&] {
        f.clickRow(1);
        f.type(TForm3::Edit6, u"超ワイド"_s);
        f.type(TForm3::Edit5, u"3440"_s);
        f.click(TForm3::Button4);
        QCOMPARE(f.rows(),
            QStringList({ u"標準|1024|01|01"_s, u"超ワイド|3440|01|02"_s, u"小|800|01|03"_s }));
        QCOMPARE(f.selectedRows(), QStringList { u"超ワイド"_s });

        // Without a selection the handler does nothing, not even a hint.
        f.clickRow(1, Qt::ControlModifier);
        QCOMPARE(f.selectedRows(), QStringList());
        f.type(TForm3::Edit6, u"別"_s);
        f.form.Button4Click();
        f.type(TForm3::Edit6, QString());
        f.form.Button4Click();
        QCOMPARE(f.rows().at(1), u"超ワイド|3440|01|02"_s);
    });
    QCOMPARE(f.dialogs.verify(), QString());
}

void TestTForm3::deleteRemovesTheSelectedRowAtOnce()
{
    Fixture f;
    f.edit(0, [&] {
        f.clickRow(1);
        f.click(TForm3::Button5);
        QCOMPARE(f.rows(), QStringList({ u"標準|1024|01|01"_s, u"小|800|01|03"_s }));
        QCOMPARE(f.selectedRows(), QStringList());
        QCOMPARE(f.rowButtons(), u"disabled"_s);
        QCOMPARE(f.box(TForm3::Edit6)->text(), QString());
        QCOMPARE(f.box(TForm3::Edit5)->text(), QString());

        f.form.Button5Click();
        QCOMPARE(f.rows().size(), 2);
    });
    QCOMPARE(f.dialogs.verify(), QString()); // asked nothing
}

void TestTForm3::selectingFillsAndDeselectingEmptiesTheBoxes()
{
    Fixture f;
    f.edit(0, [&] {
        f.clickRow(1);
        QCOMPARE(f.box(TForm3::Edit6)->text(), u"ワイド"_s);
        QCOMPARE(f.box(TForm3::Edit5)->text(), u"1920"_s);
        QCOMPARE(f.rowButtons(), u"enabled"_s);

        f.clickRow(2);
        QCOMPARE(f.box(TForm3::Edit6)->text(), u"小"_s);
        QCOMPARE(f.box(TForm3::Edit5)->text(), u"800"_s);

        QTest::keyClick(f.list(), Qt::Key_Up);
        QCOMPARE(f.box(TForm3::Edit6)->text(), u"ワイド"_s);

        f.type(TForm3::Edit6, u"書きかけ"_s);
        f.clickRow(1, Qt::ControlModifier);
        QCOMPARE(f.selectedRows(), QStringList());
        QCOMPARE(f.box(TForm3::Edit6)->text(), QString());
        QCOMPARE(f.box(TForm3::Edit5)->text(), QString());
        QCOMPARE(f.rowButtons(), u"disabled"_s);
    });
}

void TestTForm3::fileButton_data()
{
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<QString>("shown");
    QTest::newRow("chosen") << false << u"/home/u/設定/app.INI"_s;
    QTest::newRow("cancelled") << true << u"C:\\ini\\表示.ini"_s;
}

void TestTForm3::fileButton()
{
    QFETCH(bool, cancelled);
    QFETCH(QString, shown);
    Fixture f;
    f.dialogs.expectOpenFile(
        u"Ini files (*.ini)"_s, cancelled ? std::nullopt : std::optional<QString>(shown));
    f.edit(0, [&] {
        f.click(TForm3::Button6);
        QCOMPARE(f.box(TForm3::Edit2)->text(), QDir::toNativeSeparators(shown));
        f.click(TForm3::Button1);
    });
    QCOMPARE(f.items[0].FileName, sys(QDir::toNativeSeparators(shown).toStdString()));
    QCOMPARE(f.dialogs.verify(), QString());
}

void TestTForm3::arrowButtonsAnswerNotYetSupported()
{
    Fixture f;
    f.dialogs.expectHint(u"まだ未対応"_s);
    f.dialogs.expectHint(u"まだ未対応"_s);
    f.edit(0, [&] {
        f.clickRow(0);
        f.button(TForm3::Button7)->click();
        f.button(TForm3::Button8)->click();
        QCOMPARE(f.rows(), SampleRows);
    });
    QCOMPARE(f.dialogs.verify(), QString());
}

void TestTForm3::leavingWithoutOkKeepsTheRecord_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("キャンセル") << false;
    QTest::newRow("close box") << true;
}

void TestTForm3::leavingWithoutOkKeepsTheRecord()
{
    QFETCH(bool, closeBox);
    Fixture f;
    const QStringList before = describe(f.items[0]);
    const bool accepted = f.edit(0, [&] {
        f.type(TForm3::Edit1, u"変えた"_s);
        f.clickRow(0);
        f.type(TForm3::Edit6, u"変えた値"_s);
        f.click(TForm3::Button4);
        f.clickRow(1);
        f.click(TForm3::Button5);
        f.click(TForm3::Button3);
        if (closeBox)
            f.form.close();
        else
            f.click(TForm3::Button2);
    });
    QVERIFY(!accepted);
    QVERIFY(!f.leftOpen);
    QCOMPARE(describe(f.items[0]), before);
}

void TestTForm3::enterAndEscapeDoNothing_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("keypad");
    QTest::newRow("Return in the name box") << u"Edit1"_s << int(Qt::Key_Return) << false;
    QTest::newRow("keypad Enter in the name box") << u"Edit1"_s << int(Qt::Key_Enter) << true;
    QTest::newRow("Return on OK") << u"Button1"_s << int(Qt::Key_Return) << false;
    QTest::newRow("Return on キャンセル") << u"Button2"_s << int(Qt::Key_Return) << false;
    QTest::newRow("Return on ...") << u"Button6"_s << int(Qt::Key_Return) << false;
    QTest::newRow("Return in the value box") << u"Edit5"_s << int(Qt::Key_Return) << false;
    QTest::newRow("Escape in the name box") << u"Edit1"_s << int(Qt::Key_Escape) << false;
    QTest::newRow("Escape on キャンセル") << u"Button2"_s << int(Qt::Key_Escape) << false;
    QTest::newRow("Escape in the list") << u"ListView2"_s << int(Qt::Key_Escape) << false;
}

void TestTForm3::enterAndEscapeDoNothing()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(bool, keypad);
    Fixture f;
    const QStringList before = describe(f.items[0]);
    f.edit(0, [&] {
        auto *widget = f.form.findChild<QWidget *>(focus);
        if (f.get<QWidget>(TForm3::TabSheet2)->isAncestorOf(widget))
            f.showValuePage();
        widget->setFocus();
        QCOMPARE(QApplication::focusWidget(), widget);
        QTest::keyClick(widget, Qt::Key(key), keypad ? Qt::KeypadModifier : Qt::NoModifier);
    });
    QVERIFY(f.leftOpen);
    QVERIFY(!f.form.Accepted());
    QCOMPARE(describe(f.items[0]), before);
    QCOMPARE(f.dialogs.verify(), QString()); // "..." opened no file dialog
}

void TestTForm3::unshowableBytesSurviveAnOk()
{
    // Bytes that are neither UTF-8 nor Shift-JIS can't be shown; the boxes and rows show
    // stand-ins.
    Fixture f;
    f.items[0] = { "01", "old", "/ini/\xff\xfe.ini", "s\xff", "\xfek",
        { { "01", "01", "\xff\xfe", "v\xff" }, { "01", "02", "n\xfe", "\xff" } } };
    QVERIFY(f.edit(0, [&] {
        // One stand-in per byte: U+FFFD here, private-use characters in Windows' code page.
        const QString shown = f.box(TForm3::Edit2)->text();
        QVERIFY2(shown.size() == 11 && shown.startsWith(u"/ini/"_s) && shown.endsWith(u".ini"_s),
            qPrintable(shown));
        f.type(TForm3::Edit1, u"新しい名前"_s);
        // A row changed through the boxes keeps the bytes of the box the user left alone.
        f.clickRow(1);
        f.type(TForm3::Edit5, u"w"_s);
        f.click(TForm3::Button4);
        f.click(TForm3::Button1);
    }));
    const TItemData &item = f.items[0];
    QCOMPARE(item.Name, sys("新しい名前"));
    QCOMPARE(QByteArray::fromStdString(item.FileName), QByteArray("/ini/\xff\xfe.ini"));
    QCOMPARE(QByteArray::fromStdString(item.Section), QByteArray("s\xff"));
    QCOMPARE(QByteArray::fromStdString(item.Key), QByteArray("\xfek"));
    QCOMPARE(item.Values.size(), std::size_t(2));
    QCOMPARE(QByteArray::fromStdString(item.Values[0].Name), QByteArray("\xff\xfe"));
    QCOMPARE(QByteArray::fromStdString(item.Values[0].Value), QByteArray("v\xff"));
    QCOMPARE(QByteArray::fromStdString(item.Values[1].Name), QByteArray("n\xfe"));
    QCOMPARE(item.Values[1].Value, std::string("w"));
}

void TestTForm3::pastedLineBreaksNeverReachTheRecord_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("after");
    QTest::newRow("first line only") << QString() << 0 << u"New\r\nName"_s << u"New"_s;
    QTest::newRow("into the middle") << u"abcd"_s << 2 << u"X\nY"_s << u"abXcd"_s;
    QTest::newRow("break first") << u"ab"_s << 2 << u"\rZ"_s << u"ab"_s;
    QTest::newRow("NUL") << QString() << 0 << QString(u"a\0b"_s) << u"a"_s;
    QTest::newRow("plain text") << u"a"_s << 1 << u"b c"_s << u"ab c"_s;
    QTest::newRow("first line repeats the text at the cursor")
        << u"aa"_s << 1 << u"a\nb"_s << u"aaa"_s;
    QTest::newRow("first line repeats the text before the cursor")
        << u"abab"_s << 2 << u"ab\ncd"_s << u"ababab"_s;
}

void TestTForm3::pastedLineBreaksNeverReachTheRecord()
{
    QFETCH(QString, before);
    QFETCH(int, cursor);
    QFETCH(QString, pasted);
    QFETCH(QString, after);
    Fixture f;
    const bool accepted = f.edit(0, [&] {
        QLineEdit *name = f.box(TForm3::Edit1);
        name->setText(before);
        name->setCursorPosition(cursor);
        QGuiApplication::clipboard()->setText(pasted);
        name->paste();
        QCOMPARE(name->text(), after);
        f.click(TForm3::Button1);
    });
    QVERIFY(accepted);
    QCOMPARE(bytesText(f.items[0].Name), after);
}

void TestTForm3::runsModallyUntilOkOrClose_data()
{
    QTest::addColumn<bool>("ok");
    QTest::newRow("OK") << true;
    QTest::newRow("close box") << false;
}

// The dialog's own modal loop, with keys and the close box arriving through it.
void TestTForm3::runsModallyUntilOkOrClose()
{
    QFETCH(bool, ok);
    Fixture f;
    bool openAfterKeys = false;
    QTimer::singleShot(0, &f.form, [&] {
        QVERIFY(QTest::qWaitForWindowActive(&f.form));
        QTest::keyClick(f.box(TForm3::Edit1), Qt::Key_Escape);
        QTest::keyClick(f.box(TForm3::Edit1), Qt::Key_Return);
        openAfterKeys = f.form.isVisible();
        if (ok)
            f.click(TForm3::Button1);
        else
            f.form.close();
    });
    QTimer::singleShot(10000, &f.form, [&] { f.form.done(-1); }); // never hang the suite
    QCOMPARE(f.form.EditItem(1), ok);
    QVERIFY(openAfterKeys);
    QVERIFY(!f.form.isVisible());
    QCOMPARE(f.items[1].Code, ok ? std::string() : std::string("02"));
}

void TestTForm3::indexOutsideTheList()
{
    Fixture f;
    const ItemList before = f.items;
    QString message;
    try {
        f.edit(2, [] {});
    } catch (const Error &error) {
        message = QString::fromUtf8(error.what());
    }
    QCOMPARE(message, u"リストのインデックスが範囲を超えています (2)"_s);
    QVERIFY(!f.shown);

    // An empty dialog has no record to write: OK shows the error and stays open.
    f.dialogs.expectError(u"リストのインデックスが範囲を超えています (-1)"_s);
    QVERIFY(!f.edit(-1, [&] {
        f.type(TForm3::Edit1, u"名前"_s);
        f.click(TForm3::Button1);
    }));
    QVERIFY(f.leftOpen);
    QCOMPARE(f.items.size(), before.size());
    QCOMPARE(describe(f.items[0]), describe(before[0]));
    QCOMPARE(f.dialogs.verify(), QString());
}

QTEST_MAIN(TestTForm3)
#include "tst_entryform.moc"
