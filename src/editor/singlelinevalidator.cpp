#include "singlelinevalidator.h"

#include <algorithm>

namespace velmora {

namespace {

bool isLineBreak(QChar c)
{
    return c == u'\r' || c == u'\n' || c == u'\0';
}

} // namespace

QValidator::State SingleLineValidator::validate(QString &input, int &pos) const
{
    if (std::none_of(input.cbegin(), input.cend(), isLineBreak)) {
        m_previous = input;
        return Acceptable;
    }
    // What was inserted ends at the cursor, and what stands after the cursor was there before;
    // the inserted text keeps its first line.
    const qsizetype suffix
        = std::clamp<qsizetype>(input.size() - pos, 0, std::min(input.size(), m_previous.size()));
    qsizetype prefix = 0;
    while (prefix < input.size() - suffix && prefix < m_previous.size() - suffix
        && input[prefix] == m_previous[prefix])
        ++prefix;
    QString inserted = input.mid(prefix, input.size() - prefix - suffix);
    inserted.truncate(
        std::find_if(inserted.cbegin(), inserted.cend(), isLineBreak) - inserted.cbegin());
    input = input.left(prefix) + inserted + input.right(suffix);
    input.removeIf(isLineBreak);
    pos = int(std::min(prefix + inserted.size(), input.size()));
    m_previous = input;
    return Acceptable;
}

} // namespace velmora
