#include <QApplication>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "applicationtitle.h"
#include "error.h"
#include "errordisplay.h"
#include "scripteddialogservice.h"
#include "widgetdialogservice.h"

using namespace velmora;
using namespace Qt::StringLiterals;
using Answer = DialogService::Answer;

class TestUi : public QObject
{
    Q_OBJECT

private slots:
    void applicationTitle_data();
    void applicationTitle();
    void errorDisplayText_data();
    void errorDisplayText();
    void guardShowsTheErrorAndSkipsTheRest();
    void errorAndHintBoxes();
    void confirmBoxes();
    void confirmKeys_data();
    void confirmKeys();
};

void TestUi::applicationTitle_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("title");
    QTest::newRow("first letter kept as it is") << u"velmora"_s << u"velmora"_s;
    QTest::newRow("upper case with extension") << u"VELMORA.EXE"_s << u"Velmora"_s;
    QTest::newRow("up to the first dot") << u"Vel.Mora.exe"_s << u"Vel"_s;
    QTest::newRow("mixed case") << u"VeLMoRa.exe"_s << u"Velmora"_s;
}

void TestUi::applicationTitle()
{
    QFETCH(QString, file);
    QFETCH(QString, title);
    QCOMPARE(velmora::applicationTitle(file), title);
}

void TestUi::errorDisplayText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ends in a Japanese character")
        << u"ファイル a は開けません"_s << u"ファイル a は開けません."_s;
    QTest::newRow("ends in a parenthesis") << u"リストのインデックスが範囲を超えています (0)"_s
                                           << u"リストのインデックスが範囲を超えています (0)"_s;
    QTest::newRow("ends in a dot") << u"done."_s << u"done."_s;
    QTest::newRow("ends in a hyphen, below the dot") << u"a-"_s << u"a-"_s;
    QTest::newRow("ends in a slash, above the dot") << u"a/"_s << u"a/."_s;
    QTest::newRow("ends in a letter") << u"abc"_s << u"abc."_s;
    QTest::newRow("empty") << QString() << QString();
}

void TestUi::errorDisplayText()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(velmora::errorDisplayText(message), shown);
}

void TestUi::guardShowsTheErrorAndSkipsTheRest()
{
    test::ScriptedDialogService dialogs;
    dialogs.expectError(u"ファイル x を作成できません."_s);
    bool rest = false;
    QVERIFY(!runGuarded(dialogs, nullptr, [&] {
        throw Error("ファイル x を作成できません");
        rest = true;
    }));
    QVERIFY(!rest);
    QVERIFY(runGuarded(dialogs, nullptr, [&] { rest = true; }));
    QVERIFY(rest);
    QCOMPARE(dialogs.verify(), QString());
}

// The buttons' texts from left to right as the box lays them out.
QStringList buttonTexts(QMessageBox &box)
{
    box.adjustSize();
    box.layout()->activate();
    QList<QAbstractButton *> buttons = box.buttons();
    std::sort(buttons.begin(), buttons.end(), [](QAbstractButton *a, QAbstractButton *b) {
        return a->mapToGlobal(QPoint()).x() < b->mapToGlobal(QPoint()).x();
    });
    QStringList texts;
    for (QAbstractButton *button : buttons)
        texts << button->text();
    return texts;
}

void TestUi::errorAndHintBoxes()
{
    WidgetDialogService service(u"Velmora"_s);
    const auto error = service.buildErrorBox(nullptr, u"ファイル a は開けません."_s);
    QCOMPARE(error->windowTitle(), u"Velmora"_s);
    QCOMPARE(error->icon(), QMessageBox::Critical);
    QCOMPARE(error->text(), u"ファイル a は開けません."_s);
    QCOMPARE(buttonTexts(*error), QStringList { u"OK"_s });
    QCOMPARE(error->windowModality(), Qt::ApplicationModal);

    const auto hint = service.buildHintBox(nullptr, u"「アイテム名」を入力して下さい。"_s);
    QCOMPARE(hint->windowTitle(), u"Velmora"_s);
    QCOMPARE(hint->icon(), QMessageBox::NoIcon);
    QCOMPARE(buttonTexts(*hint), QStringList { u"OK"_s });
}

void TestUi::confirmBoxes()
{
    WidgetDialogService service(u"Velmora"_s);
    const auto two = service.buildConfirmBox(nullptr, u"「a」を削除しますか？"_s, false);
    QCOMPARE(two->windowTitle(), u"確認"_s);
    QCOMPARE(two->icon(), QMessageBox::Question);
    QCOMPARE(buttonTexts(*two), (QStringList { u"はい(&Y)"_s, u"いいえ(&N)"_s }));
    QCOMPARE(two->defaultButton()->text(), u"はい(&Y)"_s);
    QCOMPARE(two->escapeButton()->text(), u"いいえ(&N)"_s);

    const auto three = service.buildConfirmBox(nullptr, u"保存しますか？"_s, true);
    QCOMPARE(
        buttonTexts(*three), (QStringList { u"はい(&Y)"_s, u"いいえ(&N)"_s, u"キャンセル"_s }));
    QCOMPARE(three->escapeButton()->text(), u"キャンセル"_s);
}

void TestUi::confirmKeys_data()
{
    QTest::addColumn<bool>("offerCancel");
    QTest::addColumn<int>("key"); // 0: close the window
    QTest::addColumn<Answer>("answer");
    QTest::newRow("Enter presses yes") << true << int(Qt::Key_Return) << Answer::Yes;
    QTest::newRow("Escape presses cancel") << true << int(Qt::Key_Escape) << Answer::Cancel;
    QTest::newRow("Escape presses no without cancel") << false << int(Qt::Key_Escape) << Answer::No;
    QTest::newRow("closing counts as cancel") << true << 0 << Answer::Cancel;
    QTest::newRow("Alt+N presses no") << true << int(Qt::Key_N) << Answer::No;
}

void TestUi::confirmKeys()
{
    QFETCH(bool, offerCancel);
    QFETCH(int, key);
    WidgetDialogService service(u"Velmora"_s);
    const auto box = service.buildConfirmBox(nullptr, u"保存しますか？"_s, offerCancel);
    QTimer::singleShot(0, box.get(), [&] {
        box->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(box.get()));
        if (key == 0)
            box->close();
        else
            QTest::keyClick(
                box.get(), Qt::Key(key), key == Qt::Key_N ? Qt::AltModifier : Qt::NoModifier);
    });
    QTimer::singleShot(5000, box.get(), [&] { box->done(-1); }); // never hang the suite
    box->exec();
    QFETCH(Answer, answer);
    QCOMPARE(WidgetDialogService::answerOf(*box), answer);
}

QTEST_MAIN(TestUi)
#include "tst_ui.moc"
