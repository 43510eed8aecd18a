#include "versionform.h"

#include "formfont.h"

namespace velmora {

TForm5::TForm5(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setFont(formFont());
    resize(240, 120);
}

} // namespace velmora
