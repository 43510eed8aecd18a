#include "codepage.h"

#include <windows.h>

namespace velmora {

namespace {

std::wstring toWide(UINT codePage, std::string_view bytes)
{
    if (bytes.empty())
        return {};
    const int length = MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    std::wstring wide(std::size_t(length), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), wide.data(), length);
    return wide;
}

std::string fromWide(UINT codePage, const std::wstring &wide)
{
    if (wide.empty())
        return {};
    const int length = WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(std::size_t(length), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), bytes.data(), length, nullptr,
                        nullptr);
    return bytes;
}

} // namespace

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
