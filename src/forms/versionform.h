#pragma once

#include <QWidget>

namespace velmora {

// The version form: created at start-up and never shown; it is empty.
class TForm5 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm5(QWidget *parent = nullptr);
};

} // namespace velmora
