#include "popupplacement.h"

#include <algorithm>

namespace velmora {

QPoint popupPosition(QPoint cursor, QSize menuSize, QRect screen)
{
    const int below = cursor.y() + 1;
    const int above = cursor.y() - menuSize.height();
    const int y
        = below + menuSize.height() <= screen.bottom() + 1 || above < screen.top() ? below : above;
    const int x
        = std::max(screen.left(), std::min(cursor.x(), screen.right() + 1 - menuSize.width()));
    return { x, y };
}

} // namespace velmora
