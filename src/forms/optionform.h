#pragma once

#include <QWidget>

#include "componentcreation.h"

namespace velmora {

// The options form: created at start-up and never shown; it has no behaviour.
class TForm4 : public QWidget
{
    Q_OBJECT

public:
    static constexpr auto CheckBox1 = "CheckBox1";
    static constexpr auto Edit1 = "Edit1";

    explicit TForm4(
        QWidget *parent = nullptr, ComponentCreation creation = ComponentCreation::AtConstruction);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void createComponents();

    bool m_componentsCreated = false;
};

} // namespace velmora
