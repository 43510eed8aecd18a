#include <algorithm>

#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QTemporaryDir>
#include <QtTest>

#include "qttranslation.h"
#include "widgetdialogservice.h"

using namespace velmora;
using namespace Qt::StringLiterals;

class TestQtTranslation : public QObject
{
    Q_OBJECT

private slots:
    void openFileDialogSpeaksJapaneseOnceTheTextsAreFound();
};

void TestQtTranslation::openFileDialogSpeaksJapaneseOnceTheTextsAreFound()
{
    const QString shipped = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + u"/qtbase_ja.qm"_s;
    if (!QFile::exists(shipped))
        QSKIP("Qt's Japanese texts are not installed (Debian: qt6-translations-l10n)");
    const auto lookInLabel = [] {
        const auto dialog = WidgetDialogService(u"Velmora"_s).buildOpenFileDialog(nullptr, u""_s);
        return dialog->findChild<QLabel *>(u"lookInLabel"_s)->text();
    };

    // Nowhere to be found: the program goes on in English.
    QTemporaryDir folder;
    QVERIFY(!installQtTranslation({ folder.path() + u"/translations"_s }));
    QCOMPARE(lookInLabel(), u"Look in:"_s);

    // The folder beside the executable of a self-contained install comes first, then Qt's own.
    const QString beside = QDir(folder.path()).filePath(u"translations"_s);
    QCOMPARE(qtTranslationFolders(folder.path()),
        QStringList({ beside, QLibraryInfo::path(QLibraryInfo::TranslationsPath) }));
    QCOMPARE(qtTranslationFolders(folder.path() + u"/"_s).constFirst(), beside);

    // Found there, the texts are Japanese.
    QVERIFY(QDir(folder.path()).mkdir(u"translations"_s));
    QVERIFY(QFile::copy(shipped, beside + u"/qtbase_ja.qm"_s));
    QVERIFY(installQtTranslation({ beside }));
    const QString label = lookInLabel();
    const bool japanese
        = std::any_of(label.begin(), label.end(), [](QChar c) { return c.unicode() >= 0x3000; });
    QVERIFY2(japanese, qPrintable(label));

    // A damaged file there is passed over for the next folder.
    QFile damaged(beside + u"/qtbase_ja.qm"_s);
    QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QVERIFY(damaged.write("not a catalogue") > 0);
    damaged.close();
    QVERIFY(!installQtTranslation({ beside }));
    QVERIFY(installQtTranslation(qtTranslationFolders(folder.path())));
}

QTEST_MAIN(TestQtTranslation)
#include "tst_qttranslation.moc"
