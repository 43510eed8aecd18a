#include <QtTest>

#include "entrylistform.h"

class TestTForm2 : public QObject
{
    Q_OBJECT

private slots:
    void placeholder() { }
};

QTEST_MAIN(TestTForm2)
#include "tst_entrylistform.moc"
