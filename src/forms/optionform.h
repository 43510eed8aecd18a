#pragma once

#include <QWidget>

namespace velmora {

// The options form: created at start-up and never shown; it has no behaviour.
class TForm4 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm4(QWidget *parent = nullptr);
};

} // namespace velmora
