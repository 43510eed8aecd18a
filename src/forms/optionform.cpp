#include "optionform.h"

#include <QCheckBox>
#include <QLineEdit>

#include "formfont.h"

namespace velmora {

TForm4::TForm4(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("オプション"));
    setFont(formFont());
    resize(240, 80);
    auto *checkBox = new QCheckBox(QStringLiteral("最新の状態を反映する"), this);
    checkBox->setObjectName(QStringLiteral("CheckBox1"));
    checkBox->setGeometry(12, 12, 200, 20);
    auto *edit = new QLineEdit(this);
    edit->setObjectName(QStringLiteral("Edit1"));
    edit->setGeometry(12, 40, 48, 20);
}

} // namespace velmora
