#pragma once

#include <QValidator>

namespace velmora {

// Keeps a one-line box free of line breaks and NUL characters, which no item text may hold:
// text pasted or committed into the box keeps only what stands before its first line break,
// as in the single-line boxes of Windows.
class SingleLineValidator : public QValidator
{
    Q_OBJECT

public:
    using QValidator::QValidator;

    State validate(QString &input, int &pos) const override;

private:
    mutable QString m_previous; // the box's text as last accepted
};

} // namespace velmora
