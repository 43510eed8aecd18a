#include <QCheckBox>
#include <QLineEdit>
#include <QtTest>

#include "optionform.h"

using namespace velmora;
using namespace Qt::StringLiterals;

class TestTForm4 : public QObject
{
    Q_OBJECT

private slots:
    void componentsWhenShown_data();
    void componentsWhenShown();
};

void TestTForm4::componentsWhenShown_data()
{
    QTest::addColumn<ComponentCreation>("creation");
    QTest::newRow("at construction") << ComponentCreation::AtConstruction;
    QTest::newRow("on first show") << ComponentCreation::OnFirstShow;
}

// A form left to build itself on first show holds nothing until then, and the same components
// once shown.
void TestTForm4::componentsWhenShown()
{
    QFETCH(ComponentCreation, creation);
    TForm4 form(nullptr, creation);
    const auto checkBox
        = [&form] { return form.findChild<QCheckBox *>(QString::fromLatin1(TForm4::CheckBox1)); };
    QCOMPARE(checkBox() != nullptr, creation == ComponentCreation::AtConstruction);
    form.show();
    QVERIFY(checkBox());
    QCOMPARE(checkBox()->text(), u"最新の状態を反映する"_s);
    QVERIFY(form.findChild<QLineEdit *>(QString::fromLatin1(TForm4::Edit1)));
    QCOMPARE(form.findChildren<QWidget *>().size(), 2);
    form.hide();
    form.show();
    QCOMPARE(form.findChildren<QWidget *>().size(), 2);
}

QTEST_MAIN(TestTForm4)
#include "tst_optionform.moc"
