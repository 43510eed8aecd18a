#include "qttranslation.h"

#include <QCoreApplication>
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
    return { executableDirectory + QStringLiteral("translations"),
        QLibraryInfo::path(QLibraryInfo::TranslationsPath) };
}

} // namespace velmora
