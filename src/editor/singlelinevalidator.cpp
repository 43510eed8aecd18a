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
    // What changed since the last accepted text is what was inserted; it keeps its first line.
    qsizetype prefix = 0;
    while (
        prefix < input.size() && prefix < m_previous.size() && input[prefix] == m_previous[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < input.size() - prefix && suffix < m_previous.size() - prefix
        && input[input.size() - 1 - suffix] == m_previous[m_previous.size() - 1 - suffix])
        ++suffix;
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
