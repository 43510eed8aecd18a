#include "inivalue.h"

#include "blanks.h"
#include "codepage.h"
#include "error.h"
#include "initext.h"

namespace velmora {

std::string ReadIniValue(const std::string &fileName, const std::string &section,
    const std::string &key, PrivateProfile &profile)
{
    std::string value;
    if (!trimBlanks(section).empty() && !trimBlanks(key).empty())
        value = profile.readString(section, key, fileName);
    profile.flush(fileName);
    return value;
}

void WriteIniValue(const std::string &fileName, const std::string &section, const std::string &key,
    const std::string &value, PrivateProfile &profile)
{
    // The Windows functions write any text verbatim.
    if (!iniTextKeepsLines(section, key, value)
        || !profile.writeString(section, key, value, fileName))
        throw Error(formatMessage("%s に書き込めません", systemToUtf8(fileName)));
    profile.flush(fileName);
}

} // namespace velmora
