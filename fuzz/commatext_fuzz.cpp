// Any bytes split into fields without failing or hanging, and the fields written back as the
// item files write them split into the same fields again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "commatext.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view line(reinterpret_cast<const char *>(data), size);
    const std::vector<std::string> fields = velmora::SplitCommaText(line);

    std::string written;
    for (const std::string &field : fields) {
        if (field.find('\0') != std::string::npos)
            std::abort(); // the line ends at a NUL byte
        if (!written.empty())
            written.push_back(',');
        written += velmora::QuoteCommaField(field);
    }
    // An empty list writes an empty line, which splits into no fields as well.
    if (velmora::SplitCommaText(written) != fields)
        std::abort();
    return 0;
}
