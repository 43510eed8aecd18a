#include "codepage.h"

#include <windows.h>

namespace velmora {

namespace {

std::wstring toWide(UINT codePage, std::string_view bytes)
{
    if (bytes.empty())
        return {};
    const int length
        = MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    std::wstring wide(std::size_t(length), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), wide.data(), length);
    return wide;
}

std::string fromWide(UINT codePage, const std::wstring &wide)
{
    if (wide.empty())
        return {};
    // Without this, a character that the code page lacks may turn into a look-alike ("Ā" into
    // "A", "∞" into "8") and be written so; it becomes '?' instead. UTF-8 takes no flags.
    const bool utf8 = codePage == CP_UTF8 || (codePage == CP_ACP && GetACP() == CP_UTF8);
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int length = WideCharToMultiByte(
        codePage, flags, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(std::size_t(length), '\0');
    WideCharToMultiByte(
        codePage, flags, wide.data(), int(wide.size()), bytes.data(), length, nullptr, nullptr);
    return bytes;
}

} // namespace

const LeadBytes &systemLeadBytes()
{
    static const LeadBytes lead = [] {
        LeadBytes bytes;
        for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
            if (IsDBCSLeadByte(BYTE(byte)))
                bytes.add(static_cast<unsigned char>(byte));
        }
        return bytes;
    }();
    return lead;
}

bool systemCodePageIsUtf8()
{
    return GetACP() == CP_UTF8;
}

std::string systemToUtf8(std::string_view bytes)
{
    return fromWide(CP_UTF8, toWide(CP_ACP, bytes));
}

std::string utf8ToSystem(std::string_view text)
{
    return fromWide(CP_ACP, toWide(CP_UTF8, text));
}

} // namespace velmora
