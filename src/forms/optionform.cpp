#include "optionform.h"

#include <utility>

#include <QCheckBox>
#include <QLineEdit>

#include "formfont.h"

namespace velmora {

TForm4::TForm4(QWidget *parent, ComponentCreation creation)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("オプション"));
    setFont(formFont());
    resize(240, 80);
    if (creation == ComponentCreation::AtConstruction)
        createComponents();
}

void TForm4::createComponents()
{
    if (std::exchange(m_componentsCreated, true))
        return;
    // An edit box lays out its text as it is made, which loads the form's fonts.
    auto *checkBox = new QCheckBox(QStringLiteral("最新の状態を反映する"), this);
    checkBox->setObjectName(QString::fromLatin1(CheckBox1));
    checkBox->setGeometry(12, 12, 200, 20);
    auto *edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(Edit1));
    edit->setGeometry(12, 40, 48, 20);
}

void TForm4::showEvent(QShowEvent *event)
{
    createComponents();
    QWidget::showEvent(event);
}

} // namespace velmora
