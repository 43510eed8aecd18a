#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>

#include "codepage.h"

namespace {

// The exit status that CTest counts as a skip (SKIP_RETURN_CODE).
constexpr int SkipStatus = 77;

// Code page 932, as a Shift-JIS locale gives it on Linux and the ANSI code page on Windows:
// 表 ends in the byte of a backslash.
bool systemCodePageIsShiftJis()
{
    return velmora::utf8ToSystem("表") == "\x95\x5C";
}

// A run meant for the Shift-JIS code page (VELMORA_REQUIRE_SHIFT_JIS set) proves nothing in
// another one, and a locale that is missing leaves the program in plain ASCII without a word:
// the run then ends as skipped, saying why. By now the application has taken the locale from the
// environment.
void skipOutsideShiftJis()
{
    if (qEnvironmentVariableIsEmpty("VELMORA_REQUIRE_SHIFT_JIS") || systemCodePageIsShiftJis())
        return;
    std::printf("SKIP   : the system code page is not Shift-JIS (CP932): the locale LC_ALL=%s "
                "is missing; compile it with: localedef -i ja_JP -f SHIFT_JIS ja_JP.SJIS\n",
        qgetenv("LC_ALL").constData());
    std::fflush(stdout);
    // No destructors: the application object is still being constructed.
    std::_Exit(SkipStatus);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(skipOutsideShiftJis)
