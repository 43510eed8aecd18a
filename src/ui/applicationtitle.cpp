#include "applicationtitle.h"

namespace velmora {

QString applicationTitle(const QString &executableFileName)
{
    const QString name = executableFileName.section(QLatin1Char('.'), 0, 0);
    return name.left(1) + name.mid(1).toLower();
}

} // namespace velmora
