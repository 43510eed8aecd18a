#include <QtTest>

#include "entryform.h"

class TestTForm3 : public QObject
{
    Q_OBJECT

private slots:
    void placeholder() { }
};

QTEST_MAIN(TestTForm3)
#include "tst_entryform.moc"
