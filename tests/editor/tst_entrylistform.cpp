#include <filesystem>
#include <limits>
#include <memory>

#include <QAction>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include "codepage.h"
#include "entrylistform.h"
#include "error.h"
#include "errordisplay.h"
#include "itemfiles.h"
#include "scratchdirectory.h"
#include "scripteddialogservice.h"
#include "settingtext.h"
#include "systemtext.h"

using namespace velmora;
using namespace Qt::StringLiterals;
using Answer = DialogService::Answer;
using test::sys;

namespace {

// The system's profile functions end the lines of a settings file as the system does.
#ifdef Q_OS_WIN
const QByteArray NewLine = "\r\n";
#else
const QByteArray NewLine = "\n";
#endif

const QByteArray DesignedSettings
    = QByteArray("[Window]\nFormTop=94\nFormLeft=458\nFormWidth=262\n"
                 "FormHeight=252\nFormMaxmize=0\nToolBar=-1\nStatusBar=-1\n")
          .replace("\n", NewLine);

QByteArray settings(int top, int left, int width, int height, const char *maximised = "0",
    const char *toolBar = "-1", const char *statusBar = "-1")
{
    QByteArray text = QByteArray("[Window]\nFormTop=%1\nFormLeft=%2\nFormWidth=%3\nFormHeight=%4\n")
                          .replace("%1", QByteArray::number(top))
                          .replace("%2", QByteArray::number(left))
                          .replace("%3", QByteArray::number(width))
                          .replace("%4", QByteArray::number(height));
    text += QByteArray("FormMaxmize=") + maximised + "\nToolBar=" + toolBar
        + "\nStatusBar=" + statusBar + "\n";
    return text.replace("\n", NewLine);
}

// An item as the user registers it: name and key given in UTF-8 and kept in the system code
// page; the file name is a path as it is.
TItemData item(std::string_view name, std::string file = {}, std::string_view key = "K",
    std::vector<TValueData> values = {})
{
    return { {}, sys(name), std::move(file), "S", sys(key), std::move(values) };
}

TValueData value(std::string_view name, std::string_view text)
{
    return { {}, {}, sys(name), sys(text) };
}

QByteArray sysBytes(std::string_view text)
{
    return QByteArray::fromStdString(sys(text));
}

// The list window over a scratch executable directory, with a fake registration dialog and a
// tray rebuild that reloads the saved files as the tray does.
struct Window
{
    explicit Window(
        ItemList initial = {}, ComponentCreation creation = ComponentCreation::AtConstruction)
        : items(std::move(initial))
        , form(std::make_unique<TForm2>(
              items, dialogs, dir.path(), [this](int index) { return edit(index); },
              [this] { rebuild(); }, nullptr, creation))
    { }

    // What the fake dialog does: "ok" fills the record and confirms, "cancel" leaves it, "throw"
    // fails.
    bool edit(int index)
    {
        edited << index;
        if (dialogAnswer == "throw"_L1)
            throw Error("登録できません");
        if (dialogAnswer != "ok"_L1)
            return false;
        items[std::size_t(index)]
            = item("新規", dir.file("new.ini"), "N", { value("オン", "1"), value("オフ", "0") });
        return true;
    }

    void rebuild()
    {
        ++rebuilds;
        items = LoadItemFile(dir.file(ItemFileName));
        LinkValues(items, LoadValueFile(dir.file(ValueFileName)));
    }

    // Opens the window as the tray does: a failure goes to the error display.
    bool open()
    {
        return runGuarded(dialogs, nullptr, [this] { form->ShowItemList(); });
    }

    template<typename T = QAction>
    T *find(const char *name) const
    {
        return form->findChild<T *>(QString::fromLatin1(name));
    }
    QTreeWidget *list() const { return find<QTreeWidget>(TForm2::ListView1); }
    void trigger(const char *name) const { find(name)->trigger(); }
    void select(int row) const
    {
        if (row >= 0)
            list()->setCurrentItem(list()->topLevelItem(row));
    }
    QStringList column(int column) const
    {
        QStringList texts;
        for (int row = 0; row < list()->topLevelItemCount(); ++row)
            texts << list()->topLevelItem(row)->text(column);
        return texts;
    }
    QString names() const
    {
        QStringList names;
        for (const TItemData &entry : items)
            names << QString::fromStdString(systemToUtf8(entry.Name));
        return names.join(u' ');
    }
    QByteArray read(std::string_view name) const
    {
        return QByteArray::fromStdString(dir.read(name));
    }
    void write(std::string_view name, const QByteArray &bytes) const
    {
        dir.write(name, bytes.toStdString());
    }

    test::ScratchDirectory dir;
    test::ScriptedDialogService dialogs;
    ItemList items;
    QString dialogAnswer = u"cancel"_s;
    QList<int> edited;
    int rebuilds = 0;
    std::unique_ptr<TForm2> form;
};

// The window frame around the client area, as the platform reports it.
QMargins frameMargins(const QWidget &window)
{
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return { client.left() - frame.left(), client.top() - frame.top(),
        frame.right() - client.right(), frame.bottom() - client.bottom() };
}

ItemList threeItems()
{
    return { item("A"), item("B"), item("C") };
}

} // namespace

class TestTForm2 : public QObject
{
    Q_OBJECT

private slots:
    void settingTexts_data();
    void settingTexts();
    void firstOpeningWritesTheDesignedSettings();
    void componentsBuiltOnFirstShow();
    void components();
    void readsTheWindowSettings_data();
    void readsTheWindowSettings();
    void unreadableSettingsKeepTheWindowClosed_data();
    void unreadableSettingsKeepTheWindowClosed();
    void rowsShowTheCurrentValue();
    void selectionEnablesTheEntries();
    void editing_data();
    void editing();
    void moveItem_data();
    void moveItem();
    void saveWritesBothFilesAndRebuildsTheTray();
    void failedSaveKeepsTheFilesAndTheWindow();
    void closing_data();
    void closing();
    void failedSettingsWriteKeepsTheWindowOpen();
    void maximisedCloseKeepsTheNormalGeometry();
    void openingAgainWhileShownKeepsEverything();
    void programEndingAtTheSaveQuestionWritesNothing();
};

void TestTForm2::settingTexts_data()
{
    QTest::addColumn<QByteArray>("text"); // in UTF-8; KVT.INI holds it in the system code page
    QTest::addColumn<QVariant>("integer"); // invalid: not an integer
    QTest::addColumn<QVariant>("boolean"); // invalid: not a Boolean

    const QVariant no;
    QTest::newRow("zero") << "0"_ba << QVariant(0) << QVariant(false);
    QTest::newRow("minus one") << "-1"_ba << QVariant(-1) << QVariant(true);
    QTest::newRow("plus sign") << "+12"_ba << QVariant(12) << QVariant(true);
    QTest::newRow("leading spaces") << "  458"_ba << QVariant(458) << QVariant(true);
    QTest::newRow("trailing space") << "458 "_ba << no << no;
    QTest::newRow("tab before") << "\t1"_ba << no << no;
    QTest::newRow("space after sign") << "- 1"_ba << no << no;
    QTest::newRow("dollar hex") << "$1F"_ba << QVariant(31) << QVariant(true);
    QTest::newRow("x hex") << "x10"_ba << QVariant(16) << QVariant(true);
    QTest::newRow("X hex") << "Xff"_ba << QVariant(255) << QVariant(true);
    QTest::newRow("0x hex") << "0x10"_ba << QVariant(16) << QVariant(true);
    QTest::newRow("0X hex, negative") << "-0X10"_ba << QVariant(-16) << QVariant(true);
    QTest::newRow("hex zero") << "$0"_ba << QVariant(0) << QVariant(false);
    QTest::newRow("prefix without digits") << "$"_ba << no << no;
    QTest::newRow("hex digit without prefix") << "1F"_ba << no << no;
    QTest::newRow("leading zeros") << "007"_ba << QVariant(7) << QVariant(true);
    QTest::newRow("largest") << "2147483647"_ba << QVariant(2147483647) << QVariant(true);
    QTest::newRow("smallest") << "-2147483648"_ba << QVariant(-2147483647 - 1) << QVariant(true);
    QTest::newRow("beyond largest") << "2147483648"_ba << no << no;
    QTest::newRow("beyond smallest") << "-2147483649"_ba << no << no;
    QTest::newRow("hex beyond largest") << "$80000000"_ba << no << no;
    QTest::newRow("far beyond") << "99999999999999999999999"_ba << no << no;
    QTest::newRow("fraction") << "1.5"_ba << no << no;
    QTest::newRow("empty") << ""_ba << no << no;
    QTest::newRow("sign only") << "-"_ba << no << no;
    QTest::newRow("true") << "true"_ba << no << QVariant(true);
    QTest::newRow("TRUE") << "TRUE"_ba << no << QVariant(true);
    QTest::newRow("False") << "False"_ba << no << QVariant(false);
    QTest::newRow("fAlSe") << "fAlSe"_ba << no << QVariant(false);
    QTest::newRow("true with space") << " true"_ba << no << no;
    QTest::newRow("yes") << "yes"_ba << no << no;
    QTest::newRow("Japanese") << "はい"_ba << no << no;
}

void TestTForm2::settingTexts()
{
    QFETCH(QByteArray, text);
    QFETCH(QVariant, integer);
    QFETCH(QVariant, boolean);
    const std::string bytes = sys(text.toStdString());

    const std::optional<int> readInteger = parseSettingInteger(bytes);
    QCOMPARE(readInteger.has_value(), integer.isValid());
    if (integer.isValid())
        QCOMPARE(*readInteger, integer.toInt());
    const std::optional<bool> readBoolean = parseSettingBoolean(bytes);
    QCOMPARE(readBoolean.has_value(), boolean.isValid());
    if (boolean.isValid())
        QCOMPARE(*readBoolean, boolean.toBool());

    // The messages carry the text as it was read.
    try {
        settingInteger(bytes);
        QVERIFY(integer.isValid());
    } catch (const Error &error) {
        QVERIFY(!integer.isValid());
        QCOMPARE(QString::fromUtf8(error.what()),
            u"'"_s + QString::fromUtf8(text) + u"' は整数ではありません"_s);
    }
    try {
        settingBoolean(bytes);
        QVERIFY(boolean.isValid());
    } catch (const Error &error) {
        QVERIFY(!boolean.isValid());
        QCOMPARE(QString::fromUtf8(error.what()),
            u"'"_s + QString::fromUtf8(text) + u"' は正しい論理型ではありません"_s);
    }
}

void TestTForm2::firstOpeningWritesTheDesignedSettings()
{
    Window w;
    QVERIFY(!w.dir.exists(TForm2::SettingsFileName));
    QVERIFY(w.open());
    QCOMPARE(w.dialogs.verify(), QString());
    QCOMPARE(w.read(TForm2::SettingsFileName), DesignedSettings);
    QVERIFY(w.form->isVisible());
    QCOMPARE(w.form->frameGeometry(), QRect(458, 94, 262, 252));
    QVERIFY(w.find<QToolBar>(TForm2::ToolBar1)->isVisible());
    QVERIFY(w.find<QStatusBar>(TForm2::StatusBar1)->isVisible());
    QVERIFY(w.find(TForm2::N5)->isChecked());
    QVERIFY(w.find(TForm2::N6)->isChecked());
    QTRY_VERIFY(w.list()->hasFocus());
}

void TestTForm2::componentsBuiltOnFirstShow()
{
    Window w({ item("A") }, ComponentCreation::OnFirstShow);
    QVERIFY(!w.list());
    QVERIFY(w.open());
    QCOMPARE(w.column(0), QStringList { u"A"_s });
    QCOMPARE(w.form->frameGeometry(), QRect(458, 94, 262, 252));
    QVERIFY(!w.find(TForm2::XMod)->isEnabled());
}

void TestTForm2::components()
{
    Window w;
    TForm2 &form = *w.form;
    QCOMPARE(form.windowTitle(), u"アイテムリスト"_s);
    QCOMPARE(form.font().pixelSize(), 12);

    // Menus: captions, entries and separators in order, by object name.
    const auto entries = [&w](const char *menuName) {
        QStringList shown;
        for (QAction *action : w.find<QMenu>(menuName)->actions())
            shown << action->objectName() + u':'
                    + (action->isSeparator() ? u"-"_s : action->text());
        return shown.join(u' ');
    };
    QCOMPARE(w.find<QMenuBar>(TForm2::MainMenu1), form.menuBar());
    QStringList menus;
    for (QAction *action : form.menuBar()->actions())
        menus << action->menu()->objectName() + u':' + action->text()
                + (action->isVisible() ? QString() : u"(hidden)"_s);
    QCOMPARE(
        menus.join(u' '), u"File1:ファイル Edit1:編集 Show1:表示(hidden) ool1:ツール(hidden)"_s);
    QCOMPARE(entries(TForm2::File1), u"Save1:保存 N8:- Close1:閉じる"_s);
    QCOMPARE(entries(TForm2::Edit1),
        u"XAdd:追加 XMod:変更 XDel:削除 N9:- XUMove:上に移動 XDMove:下に移動"_s);
    QCOMPARE(entries(TForm2::Show1),
        u"N15:リスト項目... N16:- N1:常に手前に表示 N5:ツールバー N6:ステータスバー"_s);
    QCOMPARE(entries(TForm2::ool1), u"N7:オプション..."_s);
    QCOMPARE(entries(TForm2::PopupMenu1),
        u"PAdd:追加 PMod:変更 PDel:削除 N12:- PUMove:上に移動 PDMove:下に移動"_s);
    QVERIFY(w.find(TForm2::N5)->isCheckable());
    QVERIFY(w.find(TForm2::N6)->isCheckable());

    // The tool bar: buttons without caption or image, separators between them.
    QToolBar *toolBar = w.find<QToolBar>(TForm2::ToolBar1);
    QStringList tools;
    for (QAction *action : toolBar->actions()) {
        if (action->isSeparator()) {
            tools << action->objectName() + u":-"_s;
            continue;
        }
        auto *button = qobject_cast<QToolButton *>(toolBar->widgetForAction(action));
        QVERIFY(button);
        QVERIFY(button->text().isEmpty() && button->icon().isNull() && !button->defaultAction());
        tools << button->objectName();
    }
    QCOMPARE(tools.join(u' '),
        u"ToolButton5:- ToolButton7 ToolButton6 ToolButton2:- ToolButton1 ToolButton3 "
        "ToolButton4 ToolButton8:- ToolButton9 ToolButton10"_s);
    QCOMPARE(toolBar->height(), 27);
    QCOMPARE(form.toolBarArea(toolBar), Qt::TopToolBarArea);
    QCOMPARE(w.find<QStatusBar>(TForm2::StatusBar1), form.statusBar());
    QCOMPARE(form.statusBar()->height(), 19);

    // The list: report view with six columns, four of them zero wide.
    QTreeWidget *list = w.list();
    QCOMPARE(form.centralWidget(), list);
    QStringList columns;
    for (int column = 0; column < list->columnCount(); ++column)
        columns << list->headerItem()->text(column) + u'='
                + QString::number(list->columnWidth(column));
    QCOMPARE(
        columns.join(u' '), u"アイテム名=150 設定値=100 ファイル=0 セクション=0 キー=0 コード=0"_s);
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!list->rootIsDecorated());

    // The context menu opens on the list.
    QVERIFY(w.open());
    emit list->customContextMenuRequested(QPoint(5, 5));
    QTRY_VERIFY(w.find<QMenu>(TForm2::PopupMenu1)->isVisible());
    w.find<QMenu>(TForm2::PopupMenu1)->close();

    // The hidden "ツールバー" and "ステータスバー" entries still switch the bars.
    w.trigger(TForm2::N5);
    QVERIFY(!toolBar->isVisible());
    QVERIFY(!w.find(TForm2::N5)->isChecked());
    w.trigger(TForm2::N6);
    QVERIFY(!form.statusBar()->isVisible());
    w.trigger(TForm2::N5);
    QVERIFY(toolBar->isVisible());
    QVERIFY(w.find(TForm2::N5)->isChecked());
    QCOMPARE(w.dialogs.verify(), QString());
}

void TestTForm2::readsTheWindowSettings_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QRect>("outer");
    QTest::addColumn<bool>("maximised");
    QTest::addColumn<bool>("toolBar");
    QTest::addColumn<bool>("statusBar");

    QTest::newRow("as written") << settings(120, 30, 300, 280) << QRect(30, 120, 300, 280) << false
                                << true << true;
    QTest::newRow("bars hidden") << settings(94, 458, 262, 252, "0", "0", "0")
                                 << QRect(458, 94, 262, 252) << false << false << false;
    QTest::newRow("spaces, signs and hex")
        << "[Window]\nFormTop= +$14\nFormLeft=0x1e\nFormWidth=X12C\nFormHeight=280\n"
           "FormMaxmize=FALSE\nToolBar=1\nStatusBar=True\n"_ba
        << QRect(30, 20, 300, 280) << false << true << true;
    QTest::newRow("maximised by 1")
        << settings(10, 10, 300, 280, "1") << QRect(10, 10, 300, 280) << true << true << true;
    QTest::newRow("maximised by tRuE")
        << settings(10, 10, 300, 280, "tRuE") << QRect(10, 10, 300, 280) << true << true << true;
    // On a monitor that is gone: moved onto the screen, keeping its size.
    QTest::newRow("right of every screen")
        << settings(94, 5000, 262, 252) << QRect(800 - 262, 94, 262, 252) << false << true << true;
    QTest::newRow("above every screen")
        << settings(-900, 40, 262, 252) << QRect(40, 0, 262, 252) << false << true << true;
    QTest::newRow("partly on the screen stays")
        << settings(-100, -100, 262, 252) << QRect(-100, -100, 262, 252) << false << true << true;
}

void TestTForm2::readsTheWindowSettings()
{
    QFETCH(QByteArray, file);
    QFETCH(QRect, outer);
    QFETCH(bool, maximised);
    QFETCH(bool, toolBar);
    QFETCH(bool, statusBar);
    QCOMPARE(QGuiApplication::primaryScreen()->availableGeometry(), QRect(0, 0, 800, 800));

    Window w;
    w.write(TForm2::SettingsFileName, file);
    QVERIFY(w.open());
    QCOMPARE(w.dialogs.verify(), QString());
    QVERIFY(w.form->isVisible());
    QCOMPARE(w.form->isMaximized(), maximised);
    if (maximised) {
        QCOMPARE(w.form->normalGeometry().marginsAdded(frameMargins(*w.form)), outer);
        w.form->setWindowState(Qt::WindowNoState);
    }
    QTRY_COMPARE(w.form->frameGeometry(), outer);
    QCOMPARE(w.find<QToolBar>(TForm2::ToolBar1)->isVisible(), toolBar);
    QCOMPARE(w.find(TForm2::N5)->isChecked(), toolBar);
    QCOMPARE(w.find<QStatusBar>(TForm2::StatusBar1)->isVisible(), statusBar);
    QCOMPARE(w.find(TForm2::N6)->isChecked(), statusBar);
    // The file is only read.
    QCOMPARE(w.read(TForm2::SettingsFileName), file);
}

void TestTForm2::unreadableSettingsKeepTheWindowClosed_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QRect>("outer"); // the geometry applied before the failing key

    QTest::newRow("no section") << "[Other]\nFormTop=1\n"_ba << u"'' は整数ではありません."_s
                                << QRect(458, 94, 262, 252);
    QTest::newRow("width missing") << "[Window]\nFormTop=10\nFormLeft=20\nFormHeight=200\n"_ba
                                   << u"'' は整数ではありません."_s << QRect(20, 10, 262, 252);
    QTest::newRow("height not a number")
        << "[Window]\nFormTop=10\nFormLeft=20\nFormWidth=300\nFormHeight=2OO\n"_ba
        << u"'2OO' は整数ではありません."_s << QRect(20, 10, 300, 252);
    QTest::newRow("maximised yes")
        << settings(10, 20, 300, 200, "yes") << u"'yes' は正しい論理型ではありません."_s
        << QRect(20, 10, 300, 200);
    QTest::newRow("status bar missing")
        << "[Window]\nFormTop=10\nFormLeft=20\nFormWidth=300\nFormHeight=200\nFormMaxmize=0\n"
           "ToolBar=0\n"_ba
        << u"'' は正しい論理型ではありません."_s << QRect(20, 10, 300, 200);
}

void TestTForm2::unreadableSettingsKeepTheWindowClosed()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, error);
    QFETCH(QRect, outer);

    Window w(threeItems());
    w.write(TForm2::SettingsFileName, file);
    w.dialogs.expectError(error);
    QVERIFY(!w.open());
    QCOMPARE(w.dialogs.verify(), QString());
    QVERIFY(!w.form->isVisible());
    QCOMPARE(w.list()->topLevelItemCount(), 0);
    QCOMPARE(w.form->frameGeometry(), outer);
    QCOMPARE(w.read(TForm2::SettingsFileName), file);
}

void TestTForm2::rowsShowTheCurrentValue()
{
    Window w;
    const std::string ini = w.dir.file("target.ini");
    w.dir.write("target.ini", "[S]\nTwice=1\nBlanks=\"  \"\nSpaced=\" a\"\nPlain=a\nNone=x\n");
    w.items = {
        item("二つ一致", ini, "Twice", { value("一", "1"), value("壱", "1"), value("二", "2") }),
        item("空白だけ", ini, "Blanks", { value("空白", "  ") }),
        item("前に空白", ini, "Spaced", { value("エー", "a") }),
        item("一致", ini, "Plain", { value("エー", "a"), value("ビー", "b") }),
        item("一致なし", ini, "None", { value("エー", "a") }),
        item("ファイルなし", w.dir.file("missing.ini"), "Plain", { value("エー", "a") }),
        item("空白のセクション", ini, "Plain", { value("エー", "a") }),
    };
    w.items.back().Section = " ";
    w.items[3].Code = "04";
    QVERIFY(w.open());
    QCOMPARE(w.column(0),
        QStringList({ u"二つ一致"_s, u"空白だけ"_s, u"前に空白"_s, u"一致"_s, u"一致なし"_s,
            u"ファイルなし"_s, u"空白のセクション"_s }));
    QCOMPARE(w.column(1),
        QStringList({ u"壱"_s, QString(), QString(), u"エー"_s, QString(), QString(), QString() }));
    const QTreeWidgetItem *row = w.list()->topLevelItem(3);
    QCOMPARE(row->text(2), QString::fromStdString(ini));
    QCOMPARE(row->text(3), u"S"_s);
    QCOMPARE(row->text(4), u"Plain"_s);
    QCOMPARE(row->text(5), u"04"_s);
    QVERIFY(w.list()->selectedItems().isEmpty());

    // Every refresh reads the key again.
    w.dir.write("target.ini", "[S]\nPlain=b\n");
    w.select(0);
    w.trigger(TForm2::PDMove);
    QCOMPARE(w.column(1).at(3), u"ビー"_s);
    QCOMPARE(w.dialogs.verify(), QString());
}

void TestTForm2::selectionEnablesTheEntries()
{
    Window w(threeItems());
    const QList<const char *> needSelection { TForm2::XMod, TForm2::XDel, TForm2::XUMove,
        TForm2::XDMove, TForm2::PMod, TForm2::PDel, TForm2::PUMove, TForm2::PDMove };
    const auto enabled = [&] {
        int count = 0;
        for (const char *name : needSelection)
            count += w.find(name)->isEnabled() ? 1 : 0;
        return count;
    };
    QVERIFY(w.open());
    QCOMPARE(enabled(), 0);
    for (const char *name : { TForm2::XAdd, TForm2::PAdd, TForm2::Save1, TForm2::Close1 })
        QVERIFY(w.find(name)->isEnabled());

    w.select(1);
    QCOMPARE(enabled(), 8);
    w.list()->clearSelection();
    QCOMPARE(enabled(), 0);

    // A refresh leaves no row selected but the entries as they were; they then do nothing.
    w.select(1);
    w.trigger(TForm2::PUMove);
    QVERIFY(w.list()->selectedItems().isEmpty());
    QCOMPARE(enabled(), 8);
    w.dialogAnswer = u"ok"_s;
    w.trigger(TForm2::PMod);
    w.trigger(TForm2::PDel);
    QCOMPARE(w.edited, QList<int>());
    QCOMPARE(w.names(), u"B A C"_s);
    QCOMPARE(w.dialogs.verify(), QString());
}

void TestTForm2::editing_data()
{
    QTest::addColumn<QByteArray>("entry"); // an entry's name, or "double click"
    QTest::addColumn<int>("row"); // the row selected before, -1 for none
    QTest::addColumn<QString>("dialog"); // what the registration dialog does
    QTest::addColumn<QString>("confirm"); // the answer to the delete question, if asked
    QTest::addColumn<QString>("names");
    QTest::addColumn<bool>("modified");
    QTest::addColumn<QList<int>>("edited");

    const QList<int> none;
    QTest::newRow("add") << "PAdd"_ba << -1 << u"ok"_s << QString() << u"A B C 新規"_s << true
                         << QList<int> { 3 };
    QTest::newRow("add from the main menu, row selected")
        << "XAdd"_ba << 0 << u"ok"_s << QString() << u"A B C 新規"_s << true << QList<int> { 3 };
    QTest::newRow("add cancelled")
        << "XAdd"_ba << -1 << u"cancel"_s << QString() << u"A B C"_s << false << QList<int> { 3 };
    QTest::newRow("add fails") << "PAdd"_ba << -1 << u"throw"_s << QString() << u"A B C"_s << false
                               << QList<int> { 3 };
    QTest::newRow("change") << "PMod"_ba << 1 << u"ok"_s << QString() << u"A 新規 C"_s << true
                            << QList<int> { 1 };
    QTest::newRow("change from the main menu")
        << "XMod"_ba << 2 << u"ok"_s << QString() << u"A B 新規"_s << true << QList<int> { 2 };
    QTest::newRow("change by double click") << "double click"_ba << 0 << u"ok"_s << QString()
                                            << u"新規 B C"_s << true << QList<int> { 0 };
    QTest::newRow("change cancelled")
        << "PMod"_ba << 1 << u"cancel"_s << QString() << u"A B C"_s << false << QList<int> { 1 };
    QTest::newRow("change without selection")
        << "XMod"_ba << -1 << u"ok"_s << QString() << u"A B C"_s << false << none;
    QTest::newRow("delete") << "PDel"_ba << 1 << QString() << u"yes"_s << u"A C"_s << true << none;
    QTest::newRow("delete from the main menu")
        << "XDel"_ba << 0 << QString() << u"yes"_s << u"B C"_s << true << none;
    QTest::newRow("delete refused")
        << "PDel"_ba << 2 << QString() << u"no"_s << u"A B C"_s << false << none;
    QTest::newRow("delete without selection")
        << "XDel"_ba << -1 << QString() << QString() << u"A B C"_s << false << none;
    QTest::newRow("up") << "PUMove"_ba << 1 << QString() << QString() << u"B A C"_s << false
                        << none;
    QTest::newRow("up from the main menu")
        << "XUMove"_ba << 2 << QString() << QString() << u"A C B"_s << false << none;
    QTest::newRow("up at the top")
        << "PUMove"_ba << 0 << QString() << QString() << u"A B C"_s << false << none;
    QTest::newRow("down") << "PDMove"_ba << 0 << QString() << QString() << u"B A C"_s << false
                          << none;
    QTest::newRow("down from the main menu")
        << "XDMove"_ba << 1 << QString() << QString() << u"A C B"_s << false << none;
    QTest::newRow("down at the bottom")
        << "XDMove"_ba << 2 << QString() << QString() << u"A B C"_s << false << none;
    QTest::newRow("move without selection")
        << "PDMove"_ba << -1 << QString() << QString() << u"A B C"_s << false << none;
}

void TestTForm2::editing()
{
    QFETCH(QByteArray, entry);
    QFETCH(int, row);
    QFETCH(QString, dialog);
    QFETCH(QString, confirm);
    QFETCH(QString, names);
    QFETCH(bool, modified);
    QFETCH(QList<int>, edited);

    Window w(threeItems());
    QVERIFY(w.open());
    w.select(row);
    w.dialogAnswer = dialog;
    if (!confirm.isEmpty())
        w.dialogs.expectConfirm(u"「"_s + w.column(0).at(row) + u"」を削除しますか？"_s, false,
            confirm == "yes"_L1 ? Answer::Yes : Answer::No);
    if (dialog == "throw"_L1)
        w.dialogs.expectError(u"登録できません."_s);

    if (entry == "double click") {
        QWidget *viewport = w.list()->viewport();
        const QPoint at = w.list()->visualItemRect(w.list()->topLevelItem(row)).center();
        // What a mouse sends: a click, then a double click and its release.
        QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
    } else {
        w.trigger(entry.constData());
    }

    QCOMPARE(w.dialogs.verify(), QString());
    QCOMPARE(w.edited, edited);
    QCOMPARE(w.names(), names);
    QCOMPARE(w.column(0).join(u' '), names);
    QCOMPARE(w.form->isModified(), modified);
    if (modified || entry.contains("Move"))
        QVERIFY(w.list()->selectedItems().isEmpty());
}

void TestTForm2::moveItem_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("distance");
    QTest::addColumn<QString>("names");

    QTest::newRow("second up") << 1 << -1 << u"B A C D E"_s;
    QTest::newRow("first to last") << 0 << 4 << u"B C D E A"_s;
    QTest::newRow("last to first") << 4 << -4 << u"E A B C D"_s;
    QTest::newRow("two down") << 1 << 2 << u"A C D B E"_s;
    QTest::newRow("two up") << 3 << -2 << u"A D B C E"_s;
    QTest::newRow("zero") << 2 << 0 << u"A B C D E"_s;
    QTest::newRow("past the end") << 0 << 5 << u"A B C D E"_s;
    QTest::newRow("before the start") << 2 << -3 << u"A B C D E"_s;
    QTest::newRow("largest distance") << 2 << std::numeric_limits<int>::max() << u"A B C D E"_s;
    QTest::newRow("smallest distance") << 2 << std::numeric_limits<int>::min() << u"A B C D E"_s;
    QTest::newRow("no selection") << -1 << 1 << u"A B C D E"_s;
}

void TestTForm2::moveItem()
{
    QFETCH(int, row);
    QFETCH(int, distance);
    QFETCH(QString, names);

    Window w;
    for (const char *name : { "A", "B", "C", "D", "E" })
        w.items.push_back(item(name, {}, "K", { value(std::string(name) + "1", "1") }));
    QVERIFY(w.open());
    w.select(row);
    w.form->MoveItem(w.list(), distance);
    QCOMPARE(w.names(), names);
    // Each record moves whole, with its values.
    for (const TItemData &entry : w.items)
        QCOMPARE(entry.Values.at(0).Name, entry.Name + "1");
    // The rows are the caller's to refresh.
    QCOMPARE(w.column(0).join(u' '), u"A B C D E"_s);
    QVERIFY(!w.form->isModified());
}

void TestTForm2::saveWritesBothFilesAndRebuildsTheTray()
{
    Window w;
    w.items = { item("甲", "/x/a.ini", "K1", { value("オン", "1"), value("オフ", "0") }),
        item("乙", "/x/b.ini", "K2") };
    w.items[0].Values[0].ValueCode = "01";
    w.items[0].Values[1].ValueCode = "02";
    QVERIFY(w.open());
    w.dialogAnswer = u"ok"_s;
    w.trigger(TForm2::PAdd);
    QVERIFY(w.form->isModified());

    w.trigger(TForm2::Save1);
    QCOMPARE(w.dialogs.verify(), QString());
    QVERIFY(!w.form->isModified());
    QCOMPARE(w.rebuilds, 1);
    QCOMPARE(w.read(ItemFileName),
        sysBytes("\"01\",\"甲\",\"/x/a.ini\",\"S\",\"K1\"\r\n"
                 "\"02\",\"乙\",\"/x/b.ini\",\"S\",\"K2\"\r\n"
                 "\"03\",\"新規\",\"")
            + QByteArray::fromStdString(w.dir.file("new.ini")) + "\",\"S\",\"N\"\r\n");
    QCOMPARE(w.read(ValueFileName),
        sysBytes("\"01\",\"01\",\"オン\",\"1\"\r\n\"01\",\"02\",\"オフ\",\"0\"\r\n"
                 "\"03\",\"\",\"オン\",\"1\"\r\n\"03\",\"\",\"オフ\",\"0\"\r\n"));
    // The list now is the one the tray reloaded.
    QCOMPARE(w.items.at(2).Code, "03");

    // Nothing to save: two empty files.
    w.items.clear();
    w.trigger(TForm2::Save1);
    QCOMPARE(w.read(ItemFileName), QByteArray());
    QCOMPARE(w.read(ValueFileName), QByteArray());
    QCOMPARE(w.rebuilds, 2);
    QCOMPARE(w.dialogs.verify(), QString());
}

void TestTForm2::failedSaveKeepsTheFilesAndTheWindow()
{
    Window w(threeItems());
    const QByteArray oldItems = sysBytes("\"01\",\"古い\",\"\",\"S\",\"K\"\r\n");
    w.write(ItemFileName, oldItems);
    std::filesystem::create_directory(w.dir.file(ValueFileName));
    const QString error = u"ファイル "_s + QString::fromStdString(w.dir.file(ValueFileName))
        + u" を作成できません."_s;
    QVERIFY(w.open());
    w.select(0);
    w.dialogs.expectConfirm(u"「A」を削除しますか？"_s, false, Answer::Yes);
    w.trigger(TForm2::XDel);

    // "保存" fails: the list stays changed.
    w.dialogs.expectError(error);
    w.trigger(TForm2::Save1);
    QCOMPARE(w.dialogs.verify(), QString());
    QVERIFY(w.form->isModified());

    // "はい(&Y)" at the close question fails: the window stays, KVT.INI isn't written.
    std::filesystem::remove(w.dir.file(TForm2::SettingsFileName));
    w.dialogs.expectConfirm(
        u"アイテムリストは変更されています。保存しますか？"_s, true, Answer::Yes);
    w.dialogs.expectError(error);
    w.trigger(TForm2::Close1);
    QCOMPARE(w.dialogs.verify(), QString());
    QVERIFY(w.form->isVisible());
    QVERIFY(!w.dir.exists(TForm2::SettingsFileName));

    QCOMPARE(w.read(ItemFileName), oldItems);
    QVERIFY(std::filesystem::is_directory(w.dir.file(ValueFileName)));
    QCOMPARE(w.dir.listing(), "ITEM.CSV VALUE.CSV");
    QCOMPARE(w.rebuilds, 0);
    QCOMPARE(w.names(), u"B C"_s);
}

void TestTForm2::closing_data()
{
    QTest::addColumn<bool>("modified");
    QTest::addColumn<QString>("answer"); // to the save question, when asked
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("saved");

    QTest::newRow("unchanged") << false << QString() << true << false;
    QTest::newRow("changed, yes") << true << u"yes"_s << true << true;
    QTest::newRow("changed, no") << true << u"no"_s << true << false;
    QTest::newRow("changed, cancel") << true << u"cancel"_s << false << false;
}

void TestTForm2::closing()
{
    QFETCH(bool, modified);
    QFETCH(QString, answer);
    QFETCH(bool, closed);
    QFETCH(bool, saved);

    Window w(threeItems());
    w.write(TForm2::SettingsFileName, settings(50, 60, 300, 280, "0", "0", "-1"));
    QVERIFY(w.open());
    if (modified) {
        w.select(1);
        w.dialogs.expectConfirm(u"「B」を削除しますか？"_s, false, Answer::Yes);
        w.trigger(TForm2::PDel);
        QVERIFY(w.form->isModified());
    }
    w.form->move(70, 80);
    w.form->resize(w.form->size() + QSize(10, 20));
    w.trigger(TForm2::N6);
    // Written afresh, so the file shows the keys in the order they were written.
    std::filesystem::remove(w.dir.file(TForm2::SettingsFileName));
    if (!answer.isEmpty())
        w.dialogs.expectConfirm(u"アイテムリストは変更されています。保存しますか？"_s, true,
            answer == "yes"_L1      ? Answer::Yes
                : answer == "no"_L1 ? Answer::No
                                    : Answer::Cancel);
    w.trigger(TForm2::Close1);

    QCOMPARE(w.dialogs.verify(), QString());
    QCOMPARE(w.form->isVisible(), !closed);
    QCOMPARE(w.read(TForm2::SettingsFileName), settings(80, 70, 310, 300, "0", "0", "0"));
    QCOMPARE(w.dir.exists(ItemFileName), saved);
    QCOMPARE(w.rebuilds, saved ? 1 : 0);
    // Changes not saved stay in the list; "はい(&Y)" leaves Modified for the next opening.
    QCOMPARE(w.names(), modified ? u"A C"_s : u"A B C"_s);
    QCOMPARE(w.form->isModified(), modified);

    if (closed) {
        QVERIFY(w.open());
        QCOMPARE(w.column(0).join(u' '), w.names());
        QVERIFY(!w.form->isModified());
        QCOMPARE(w.form->frameGeometry(), QRect(70, 80, 310, 300));
        QVERIFY(!w.find<QToolBar>(TForm2::ToolBar1)->isVisible());
        QVERIFY(!w.find<QStatusBar>(TForm2::StatusBar1)->isVisible());
    }
}

void TestTForm2::failedSettingsWriteKeepsTheWindowOpen()
{
    Window w(threeItems());
    QVERIFY(w.open());
    std::filesystem::remove(w.dir.file(TForm2::SettingsFileName));
    std::filesystem::create_directory(w.dir.file(TForm2::SettingsFileName));
    w.dialogs.expectError(
        QString::fromStdString(w.dir.file(TForm2::SettingsFileName)) + u" に書き込めません."_s);
    QVERIFY(!w.form->close());
    QCOMPARE(w.dialogs.verify(), QString());
    QVERIFY(w.form->isVisible());
}

void TestTForm2::maximisedCloseKeepsTheNormalGeometry()
{
    Window w;
    const QByteArray normal = settings(50, 60, 300, 280, "0", "-1", "0");
    w.write(TForm2::SettingsFileName, normal);
    QVERIFY(w.open());
    const QRect client = w.form->geometry();
    w.form->setWindowState(Qt::WindowMaximized);
    QTRY_VERIFY(w.form->isMaximized());
    QVERIFY(w.form->close());
    QCOMPARE(w.read(TForm2::SettingsFileName), settings(50, 60, 300, 280, "-1", "-1", "0"));

    QVERIFY(w.open());
    QVERIFY(w.form->isMaximized());
    QCOMPARE(w.form->normalGeometry(), client);

    // Only the three keys, in this order.
    std::filesystem::remove(w.dir.file(TForm2::SettingsFileName));
    QVERIFY(w.form->close());
    QCOMPARE(w.read(TForm2::SettingsFileName),
        QByteArray("[Window]\nFormMaxmize=-1\nToolBar=-1\nStatusBar=0\n").replace("\n", NewLine));
    QCOMPARE(w.dialogs.verify(), QString());
}

void TestTForm2::openingAgainWhileShownKeepsEverything()
{
    Window w(threeItems());
    QVERIFY(w.open());
    w.select(0);
    w.trigger(TForm2::PDMove);
    w.dialogAnswer = u"ok"_s;
    w.trigger(TForm2::XAdd);
    w.form->move(20, 30);
    w.select(1);
    w.write(TForm2::SettingsFileName, settings(300, 300, 300, 300));

    QVERIFY(w.open());
    QCOMPARE(w.column(0).join(u' '), u"B A C 新規"_s);
    QCOMPARE(w.list()->currentItem(), w.list()->topLevelItem(1));
    QCOMPARE(w.form->frameGeometry().topLeft(), QPoint(20, 30));
    QVERIFY(w.form->isModified());
    w.dialogs.expectConfirm(
        u"アイテムリストは変更されています。保存しますか？"_s, true, Answer::No);
    QVERIFY(w.form->close());
    QCOMPARE(w.dialogs.verify(), QString());
}

// "終了" from a tray host that draws its own menu can arrive while the save question is open; the
// question's loop then ends with no answer.
void TestTForm2::programEndingAtTheSaveQuestionWritesNothing()
{
    Window w(threeItems());
    QVERIFY(w.open());
    w.select(0);
    w.dialogs.expectConfirm(u"「A」を削除しますか？"_s, false, Answer::Yes);
    w.trigger(TForm2::XDel);
    std::filesystem::remove(w.dir.file(TForm2::SettingsFileName));
    w.dialogs.expectConfirm(
        u"アイテムリストは変更されています。保存しますか？"_s, true, Answer::Cancel);
    w.dialogs.onNextBox([&] { w.form->programEnding(); });
    w.trigger(TForm2::Close1);
    QCOMPARE(w.dialogs.verify(), QString());
    QVERIFY(!w.dir.exists(TForm2::SettingsFileName));
    QVERIFY(!w.dir.exists(ItemFileName));
    QCOMPARE(w.rebuilds, 0);
}

QTEST_MAIN(TestTForm2)
#include "tst_entrylistform.moc"
