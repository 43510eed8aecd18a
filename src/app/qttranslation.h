#pragma once

#include <QStringList>

namespace velmora {

// Installs Qt's own Japanese texts (standard dialogs, edit box menus) from the first of the
// folders that holds them. Returns false, and the standard dialogs stay in English, when none
// does.
bool installQtTranslation(const QStringList &folders);

// Where Qt's Japanese texts are looked for: the folder "translations" beside the executable
// (a self-contained Velmora folder), then Qt's own translations folder.
QStringList qtTranslationFolders(const QString &executableDirectory);

} // namespace velmora
