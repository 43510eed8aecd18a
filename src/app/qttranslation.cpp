#include "qttranslation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace velmora {

bool installQtTranslation(const QStringList &folders)
{
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    for (const QString &folder : folders) {
        if (translator->load(QStringLiteral("qtbase_ja"), folder))
            return QCoreApplication::installTranslator(translator.release());
    }
    return false;
}

QStringList qtTranslationFolders(const QString &executableDirectory)
{
    return { QDir(executableDirectory).filePath(QStringLiteral("translations")),
        QLibraryInfo::path(QLibraryInfo::TranslationsPath) };
}

} // namespace velmora
