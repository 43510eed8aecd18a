#include "formfont.h"

#include <QStringList>

namespace velmora {

QFont formFont()
{
    QFont font;
    font.setFamilies({ QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
        QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"),
        QStringLiteral("IPAPGothic"), QStringLiteral("Sans Serif") });
    font.setPixelSize(12);
    return font;
}

} // namespace velmora
