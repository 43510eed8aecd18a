#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QtTest>

#include "inivalue.h"
#include "itemfiles.h"
#include "mainform.h"
#include "popupplacement.h"
#include "scratchdirectory.h"
#include "scripteddialogservice.h"
#include "systemtext.h"

using namespace velmora;
using namespace Qt::StringLiterals;
using test::sys;

namespace {

// A folder with item files and two INI files, and the main form reading from it.
struct Fixture
{
    test::ScratchDirectory dir;
    test::ScriptedDialogService dialogs;
    std::unique_ptr<TForm1> form;

    std::string ini(const char *name) const { return dir.file(name); }

    // A key as the system's profile functions read it back; they choose the layout they write.
    std::string key(const char *file, const std::string &section, const std::string &key) const
    {
        return ReadIniValue(ini(file), section, key);
    }

    void writeItems(const std::string &items, const std::string &values) const
    {
        dir.write("ITEM.CSV", items);
        dir.write("VALUE.CSV", values);
    }

    TForm1 &create()
    {
        form = std::make_unique<TForm1>(dialogs, dir.path(), QIcon());
        form->FormCreate();
        return *form;
    }

    QStringList entryNames() const
    {
        QStringList names;
        for (QAction *action : form->popupMenu()->actions())
            names << action->objectName();
        return names;
    }

    QAction *entry(const char *name) const
    {
        return form->findChild<QAction *>(QString::fromLatin1(name));
    }
};

std::string line(std::initializer_list<std::string> fields)
{
    std::string text;
    for (const std::string &field : fields)
        text += (text.empty() ? "\"" : ",\"") + field + "\"";
    return text + "\r\n";
}

// Writes the item files of items given one to a line: "caption|INI file in the folder|values",
// the values as "caption=text" separated by spaces.
void writeItemsFrom(const Fixture &f, const QStringList &items)
{
    std::string itemLines, valueLines;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QStringList fields = items[i].split(u'|');
        const std::string code = TwoDigitCode(std::size_t(i) + 1);
        itemLines += line(
            { code, fields[0].toStdString(), f.ini(fields[1].toStdString().c_str()), "S", "K" });
        const QStringList values = fields[2].split(u' ', Qt::SkipEmptyParts);
        for (qsizetype j = 0; j < values.size(); ++j) {
            const QStringList value = values[j].split(u'=');
            valueLines += line({ code, TwoDigitCode(std::size_t(j) + 1), value[0].toStdString(),
                value[1].toStdString() });
        }
    }
    f.writeItems(itemLines, valueLines);
}

QString describeEntry(const QAction *entry)
{
    return u"%1 %2 '%3'%4%5%6%7"_s.arg(entry->objectName(),
        entry->isSeparator() ? u"separator"_s : u"entry"_s, entry->text(),
        entry->isEnabled() ? QString() : u" disabled"_s,
        entry->isVisible() ? QString() : u" hidden"_s,
        entry->isCheckable() ? (entry->isChecked() ? u" checked"_s : u" unchecked"_s) : QString(),
        entry->actionGroup() ? u" grouped"_s : QString());
}

// Everything the tray menu shows, one line per entry, and the names of all generated objects
// the form holds, wherever they are.
QStringList describeMenu(const TForm1 &form)
{
    QStringList lines;
    for (const QAction *entry : form.popupMenu()->actions()) {
        lines << describeEntry(entry);
        if (const QMenu *submenu = entry->menu()) {
            lines << u"  submenu "_s + submenu->objectName();
            for (const QAction *value : submenu->actions())
                lines << u"  "_s + describeEntry(value);
        }
    }
    QStringList generated;
    for (const QObject *object : form.findChildren<QObject *>()) {
        if (object->objectName().startsWith(u'I'))
            generated << object->objectName() + u':'
                    + QString::fromLatin1(object->metaObject()->className());
    }
    generated.sort();
    return lines << generated.join(u' ');
}

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    void buildsOneEntryPerItemBeforeTheFixedEntries();
    void marksTheLastValueMatchingTheKeyAndNothingForAnEmptyKey();
    void showsCaptionsAsTheyAre();
    void dashEntriesArePlainSeparatorLines();
    void choosingAValueWritesItAndMovesTheMark();
    void japaneseSectionKeyAndValueAreMatchedAndWritten();
    void aFailedWriteShowsTheErrorAndKeepsTheMark();
    void clicksWriteWhatTheMenuShowsAfterInPlaceEdits();
    void rebuildShowsWhatAFreshBuildShows_data();
    void rebuildShowsWhatAFreshBuildShows();
    void missingItemFileLeavesOnlyTheFixedEntries();
    void failedValueFileKeepsTheLoadedItems();
    void pressesOpenTheMenuAndADoubleClickShowsTheList();
    void exitRemovesTheIconAndEndsTheProgram();
    void popupNeverCoversThePointPressed_data();
    void popupNeverCoversThePointPressed();
};

void TestMainForm::buildsOneEntryPerItemBeforeTheFixedEntries()
{
    Fixture f;
    f.dir.write("a.ini", "[S]\nK=2\n");
    f.writeItems(line({ "01", sys("画面"), f.ini("a.ini"), "S", "K" })
            + line({ "02", sys("欠落"), f.ini("missing.ini"), "S", "K" })
            + line({ "03", sys("値なし"), f.ini("a.ini"), "S", "K" }),
        line({ "01", "01", sys("一"), "1" }) + line({ "01", "02", sys("二"), "2" })
            + line({ "02", "01", "x", "1" }));
    TForm1 &form = f.create();
    QCOMPARE(f.dialogs.verify(), QString());
    QCOMPARE(f.entryNames(),
        (QStringList { u"I0"_s, u"I1"_s, u"I2"_s, u"Xsep"_s, u"XItemList"_s, u"XOption"_s,
            u"XVersion"_s, u"XExit"_s }));
    QCOMPARE(f.entry("I0")->text(), u"画面"_s);
    QVERIFY(f.entry("I0")->isEnabled());
    QVERIFY(!f.entry("I1")->isEnabled());
    QVERIFY(!f.entry("I2")->menu());
    QCOMPARE(f.entry("I0V1")->text(), u"二"_s);
    QVERIFY(f.entry("I0V1")->isChecked());
    QVERIFY(!f.entry("I0V0")->isChecked());
    QVERIFY(f.entry("Xsep")->isVisible());
    QVERIFY(!f.entry("XOption")->isVisible() && !f.entry("XVersion")->isVisible());
    QCOMPARE(f.entry("XItemList")->text(), u"アイテムリスト..."_s);
    QCOMPARE(f.entry("XExit")->text(), u"終了"_s);
    QCOMPARE(form.itemList().size(), 3u);
    QCOMPARE(form.itemList()[0].Values.size(), 2u);

    // A rebuild after the files changed replaces every generated entry.
    f.writeItems("", "");
    form.RebuildTrayMenu();
    QCOMPARE(f.entryNames(),
        (QStringList { u"Xsep"_s, u"XItemList"_s, u"XOption"_s, u"XVersion"_s, u"XExit"_s }));
    QVERIFY(!f.entry("Xsep")->isVisible());
    QVERIFY(form.itemList().empty());
}

void TestMainForm::marksTheLastValueMatchingTheKeyAndNothingForAnEmptyKey()
{
    Fixture f;
    f.dir.write("a.ini", "[S]\nTwice=x\nEmpty=\nSpaced= a\nCase=ABC\n");
    const std::string a = f.ini("a.ini");
    f.writeItems(line({ "01", "twice", a, "S", "Twice" }) + line({ "02", "empty", a, "S", "Empty" })
            + line({ "03", "blank section", a, "  ", "Twice" })
            + line({ "04", "case", a, "S", "Case" }),
        line({ "01", "01", "p", "x" }) + line({ "01", "02", "q", "y" })
            + line({ "01", "03", "r", "x" }) + line({ "02", "01", "e", "" })
            + line({ "03", "01", "s", "x" }) + line({ "04", "01", "c", "abc" }));
    f.create();
    QVERIFY(!f.entry("I0V0")->isChecked());
    QVERIFY(f.entry("I0V2")->isChecked());
    QVERIFY(!f.entry("I1V0")->isChecked());
    QVERIFY(!f.entry("I2V0")->isChecked());
    QVERIFY(!f.entry("I3V0")->isChecked());
}

void TestMainForm::showsCaptionsAsTheyAre()
{
    Fixture f;
    f.dir.write("a.ini", "");
    f.writeItems(line({ "01", "A&B", f.ini("a.ini"), "S", "K" }), line({ "01", "01", " x ", "1" }));
    f.create();
    QCOMPARE(f.entry("I0")->text(), u"A&&B"_s);
    QCOMPARE(f.entry("I0V0")->text(), u" x "_s);
}

void TestMainForm::dashEntriesArePlainSeparatorLines()
{
    Fixture f;
    f.dir.write("a.ini", "[S]\nK=2\n");
    const std::string a = f.ini("a.ini");
    f.writeItems(line({ "01", "before", a, "S", "K" }) + line({ "02", "-", a, "S", "K" })
            + line({ "03", "after", a, "S", "K" }),
        line({ "01", "01", "x", "2" }) + line({ "01", "02", "-", "2" })
            + line({ "01", "03", "y", "3" }) + line({ "02", "01", "p", "1" })
            + line({ "02", "02", "q", "2" }) + line({ "03", "01", "-", "1" })
            + line({ "03", "02", "z", "2" }));
    f.create();

    // No text, no submenu, no action, for items and values alike.
    for (const char *name : { "I1", "I0V1", "I2V0" }) {
        QAction *separator = f.entry(name);
        QVERIFY2(separator && separator->isSeparator(), name);
        QVERIFY2(separator->text().isEmpty() && !separator->menu(), name);
        QVERIFY2(!separator->isCheckable() && !separator->isChecked(), name);
    }
    QVERIFY(!f.entry("I1V0") && !f.entry("I1V1"));
    f.entry("I0V1")->trigger();
    QCOMPARE(f.dir.read("a.ini"), "[S]\nK=2\n");

    // The entries around them keep their names; the last value holding the key's text keeps
    // the mark, and where that is a line no entry shows one.
    QCOMPARE(f.entry("I0V2")->text(), u"y"_s);
    QVERIFY(!f.entry("I0V0")->isChecked());
    QVERIFY(f.entry("I2V1")->isChecked());

    // A line shows also first in a menu.
    QMenu *submenu = f.entry("I2")->menu();
    submenu->popup(QPoint(10, 10));
    QVERIFY(submenu->actionGeometry(f.entry("I2V0")).height() > 0);
    submenu->hide();
    QCOMPARE(f.dialogs.verify(), QString());
}

void TestMainForm::choosingAValueWritesItAndMovesTheMark()
{
    Fixture f;
    f.dir.write("a.ini", "; display\n[Disp]\nMode = 1\n");
    f.writeItems(line({ "01", "mode", f.ini("a.ini"), "Disp", "Mode" })
            + line({ "02", "blank key", f.ini("a.ini"), "Disp", " " }),
        line({ "01", "01", "one", "1" }) + line({ "01", "02", "two", "2" })
            + line({ "02", "01", "z", "9" }));
    f.create();
    QVERIFY(f.entry("I0V0")->isChecked());
    f.entry("I0V1")->trigger();
    QCOMPARE(f.key("a.ini", "Disp", "Mode"), "2");
    const std::string written = f.dir.read("a.ini");
    QVERIFY(f.entry("I0V1")->isChecked());
    QVERIFY(!f.entry("I0V0")->isChecked());
    f.entry("I0V1")->trigger(); // choosing the marked value again keeps its mark
    QVERIFY(f.entry("I0V1")->isChecked());

    // A blank key still writes, and the entry is marked.
    f.entry("I1V0")->trigger();
    QVERIFY(f.entry("I1V0")->isChecked());
    QCOMPARE(f.key("a.ini", "Disp", "Mode"), "2");
    QVERIFY(f.dir.read("a.ini") != written);
    QCOMPARE(f.dialogs.verify(), QString());
}

void TestMainForm::japaneseSectionKeyAndValueAreMatchedAndWritten()
{
    // In Shift-JIS 表 ends in the byte of '\' and ー in that of '['.
    Fixture f;
    f.dir.write("a.ini", sys("[表示]\nモード=標準\n"));
    f.writeItems(line({ "01", sys("画面"), f.ini("a.ini"), sys("表示"), sys("モード") }),
        line({ "01", "01", sys("標準"), sys("標準") })
            + line({ "01", "02", sys("ワイド"), sys("ワイド表示") }));
    f.create();
    QCOMPARE(f.entry("I0V0")->text(), u"標準"_s);
    QVERIFY(f.entry("I0V0")->isChecked());
    f.entry("I0V1")->trigger();
    QCOMPARE(f.key("a.ini", sys("表示"), sys("モード")), sys("ワイド表示"));
    QVERIFY(f.entry("I0V1")->isChecked());
    QCOMPARE(f.dialogs.verify(), QString());
}

void TestMainForm::aFailedWriteShowsTheErrorAndKeepsTheMark()
{
    Fixture f;
    const std::string ini = f.dir.file("gone/a.ini");
    f.writeItems(line({ "01", "mode", ini, "S", "K" }),
        line({ "01", "01", "one", "1" }) + line({ "01", "02", "two", "2" }));
    f.create();
    f.dialogs.expectError(QString::fromStdString(ini) + u" に書き込めません."_s);
    f.entry("I0V1")->trigger();
    QCOMPARE(f.dialogs.verify(), QString());
    QVERIFY(!f.entry("I0V0")->isChecked());
    QVERIFY(!f.entry("I0V1")->isChecked());
}

void TestMainForm::clicksWriteWhatTheMenuShowsAfterInPlaceEdits()
{
    Fixture f;
    f.dir.write("a.ini", "[S]\nK=1\n");
    f.dir.write("b.ini", "[S]\nK=1\n");
    f.writeItems(line({ "01", "a", f.ini("a.ini"), "S", "K" })
            + line({ "02", "b", f.ini("b.ini"), "S", "K" }),
        line({ "01", "01", "a1", "1" }) + line({ "01", "02", "a2", "2" })
            + line({ "02", "01", "b1", "1" }) + line({ "02", "02", "b2", "2" }));
    TForm1 &form = f.create();
    // The item list window swaps the items, deletes one and empties the values, unsaved.
    ItemList &items = form.itemList();
    std::swap(items[0], items[1]);
    items.pop_back();
    items[0].Values.clear();
    f.entry("I1V1")->trigger();
    QCOMPARE(f.key("b.ini", "S", "K"), "2");
    QCOMPARE(f.dir.read("a.ini"), "[S]\nK=1\n");
}

void TestMainForm::rebuildShowsWhatAFreshBuildShows_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    const QStringList one { u"A|a.ini|x=1 y=2"_s };
    const QStringList three { u"A|a.ini|x=1 y=2"_s, u"B|b.ini|p=1 q=2"_s, u"C|a.ini|"_s };
    QTest::newRow("more items") << one << three;
    QTest::newRow("fewer items") << three << one;
    QTest::newRow("values gained and lost") << QStringList { u"A|a.ini|"_s,
        u"B|a.ini|p=1 q=2 r=3"_s } << QStringList { u"A|a.ini|x=1 y=2"_s, u"B|a.ini|"_s };
    QTest::newRow("separators swap places") << QStringList { u"-|a.ini|x=1"_s,
        u"B|a.ini|p=1 -=2 q=2"_s } << QStringList { u"A|a.ini|x=1 -=2 y=2"_s, u"-|a.ini|p=1"_s };
    QTest::newRow("file appears and keys change") << QStringList { u"A|b.ini|x=1 y=2"_s,
        u"B|a.ini|p=2 q=3"_s } << QStringList { u"A|b.ini|x=1 y=2"_s, u"B|a.ini|p=2 q=3"_s };
}

// Between two builds the files change: the rebuilt menu holds exactly what a menu built from the
// new files in a new form holds, and its entries write what they show.
void TestMainForm::rebuildShowsWhatAFreshBuildShows()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    Fixture f;
    f.dir.write("a.ini", "[S]\nK=2\n");
    writeItemsFrom(f, before);
    TForm1 &form = f.create();
    if (QAction *first = f.entry("I0V0"); first && first->isCheckable())
        first->trigger(); // a mark of the old menu that the new one must not keep

    f.dir.write("a.ini", "[S]\nK=3\n");
    f.dir.write("b.ini", "[S]\nK=1\n");
    writeItemsFrom(f, after);
    form.RebuildTrayMenu();
    TForm1 fresh(f.dialogs, f.dir.path(), QIcon());
    fresh.RebuildTrayMenu();
    QCOMPARE(describeMenu(form), describeMenu(fresh));

    for (qsizetype i = 0; i < after.size(); ++i) {
        const QStringList fields = after[i].split(u'|');
        const QStringList values = fields[2].split(u' ', Qt::SkipEmptyParts);
        for (qsizetype j = 0; j < values.size(); ++j) {
            const QByteArray name = QStringLiteral("I%1V%2").arg(i).arg(j).toLatin1();
            QAction *value = f.entry(name.constData());
            if (!value || value->isSeparator())
                continue;
            value->trigger();
            QCOMPARE(f.key(fields[1].toLatin1().constData(), "S", "K"),
                values[j].section(u'=', 1).toStdString());
            for (const QAction *sibling :
                value->associatedObjects().first()->findChildren<QAction *>())
                QCOMPARE(sibling->isChecked(), sibling == value);
        }
    }
    QCOMPARE(f.dialogs.verify(), QString());
}

void TestMainForm::missingItemFileLeavesOnlyTheFixedEntries()
{
    Fixture f;
    f.dialogs.expectError(
        u"ファイル "_s + QString::fromStdString(f.dir.file("ITEM.CSV")) + u" は開けません."_s);
    TForm1 &form = f.create();
    QCOMPARE(f.dialogs.verify(), QString());
    QVERIFY(form.trayIcon()->isVisible());
    QCOMPARE(f.entryNames(),
        (QStringList { u"Xsep"_s, u"XItemList"_s, u"XOption"_s, u"XVersion"_s, u"XExit"_s }));
}

void TestMainForm::failedValueFileKeepsTheLoadedItems()
{
    Fixture f;
    f.writeItems(line({ "01", "a", "", "S", "K" }), line({ "01", "01" }));
    f.dialogs.expectError(u"リストのインデックスが範囲を超えています (2)"_s);
    TForm1 &form = f.create();
    QCOMPARE(f.dialogs.verify(), QString());
    QCOMPARE(form.itemList().size(), 1u);
    QVERIFY(form.itemList()[0].Values.empty());
    QCOMPARE(f.entryNames().first(), u"Xsep"_s);
}

void TestMainForm::pressesOpenTheMenuAndADoubleClickShowsTheList()
{
    Fixture f;
    f.writeItems("", "");
    TForm1 &form = f.create();
    // A tray that leaves menus to the program gets none from the icon: Qt would open it itself on
    // a right press, over the one opened here.
    QVERIFY(!form.trayIcon()->contextMenu());
    int shown = 0;
    form.setShowItemList([&] { ++shown; });
    for (const auto reason : { QSystemTrayIcon::Trigger, QSystemTrayIcon::Context }) {
        emit form.trayIcon()->activated(reason);
        QTRY_VERIFY(form.popupMenu()->isVisible());
        form.popupMenu()->hide();
    }
    emit form.trayIcon()->activated(QSystemTrayIcon::MiddleClick);
    QVERIFY(!form.popupMenu()->isVisible());
    QCOMPARE(shown, 0);
    emit form.trayIcon()->activated(QSystemTrayIcon::DoubleClick);
    QCOMPARE(shown, 1);
    f.entry("XItemList")->trigger();
    QCOMPARE(shown, 2);
}

void TestMainForm::exitRemovesTheIconAndEndsTheProgram()
{
    Fixture f;
    f.writeItems("", "");
    TForm1 &form = f.create();
    QSignalSpy closed(&form, &TForm1::closed);
    QVERIFY(form.trayIcon()->isVisible());
    f.entry("XExit")->trigger();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!form.trayIcon()->isVisible());
}

void TestMainForm::popupNeverCoversThePointPressed_data()
{
    QTest::addColumn<QPoint>("cursor");
    QTest::addColumn<QPoint>("position"); // on a 1024 x 768 screen, for a 150 x 200 menu
    QTest::newRow("room below") << QPoint(100, 10) << QPoint(100, 11);
    QTest::newRow("tray at the bottom") << QPoint(100, 760) << QPoint(100, 560);
    QTest::newRow("right edge") << QPoint(1010, 10) << QPoint(874, 11);
}

void TestMainForm::popupNeverCoversThePointPressed()
{
    QFETCH(QPoint, cursor);
    QFETCH(QPoint, position);
    const QSize menu(150, 200);
    QCOMPARE(popupPosition(cursor, menu, QRect(0, 0, 1024, 768)), position);
    QVERIFY(!QRect(position, menu).contains(cursor));
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
