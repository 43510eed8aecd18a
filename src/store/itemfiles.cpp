#include "itemfiles.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <new>
#include <numeric>
#include <span>
#include <type_traits>

#include "atomicfile.h"
#include "codepage.h"
#include "commatext.h"
#include "commatextreader.h"
#include "commatextwriter.h"
#include "error.h"
#include "filebytes.h"
#include "shortcopy.h"

namespace velmora {

namespace {

std::string cannotOpen(const std::string &path)
{
    return formatMessage("ファイル %s は開けません", systemToUtf8(path));
}

std::string cannotCreate(const std::string &path)
{
    return formatMessage("ファイル %s を作成できません", systemToUtf8(path));
}

std::array<std::string, 2> itemFilePaths(const std::string &directory)
{
    return { directory + std::string(ItemFileName), directory + std::string(ValueFileName) };
}

// Runs load, which reads the file at path; a file too large for the memory left fails as one
// that cannot be opened.
template<typename Load>
auto reportingLackOfMemory(const std::string &path, Load load)
{
    try {
        return load();
    } catch (const std::bad_alloc &) {
        throw Error(cannotOpen(path));
    }
}

FileBytes readItemFile(const std::string &path)
{
    std::optional<FileBytes> bytes = readFileBytes(path);
    if (!bytes)
        throw Error(cannotOpen(path));
    return std::move(*bytes);
}

// Passed to emplace_back, builds the record that make() returns right in the vector: the
// conversion's result initialises the element, where push_back(make()) would move a temporary
// and so cost as much again as building the record.
template<typename Make>
struct InPlace
{
    Make make;
    operator std::invoke_result_t<Make &>() { return make(); }
};
template<typename Make>
InPlace(Make) -> InPlace<Make>;

// How many records are read before the rest of a file is judged by them.
constexpr std::size_t RecordsBeforeEstimate = 256;

// Makes room at once for the records that the rest of the text holds, at the rate of those read
// so far and a little more, so that a large file's records are not moved again and again as
// the vector grows. Where the memory cannot hold that much, the vector grows as it goes.
template<typename Record>
void reserveForTheRest(std::vector<Record> &records, std::size_t bytesRead, std::size_t size)
{
    if (bytesRead == 0 || bytesRead >= size)
        return;
    const double expected = double(records.size()) * double(size) / double(bytesRead) * 17 / 16;
    if (expected >= double(records.max_size()))
        return;
    try {
        records.reserve(std::size_t(expected) + 1);
    } catch (const std::bad_alloc &) { }
}

// Orders codes as the numbers that a save writes: shorter first, then byte by byte.
bool codeLess(std::string_view a, std::string_view b)
{
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

// True when two codes are the same bytes. Codes are a few digits: a plain loop beats a call to
// the library's comparison, and a load compares one code with another for every value.
bool sameCode(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

// Finds the items that have a code.
class ItemsByCode
{
public:
    explicit ItemsByCode(const ItemList &items)
        : m_items(items)
        , m_order(items.size())
    {
        std::iota(m_order.begin(), m_order.end(), std::size_t(0));
        const auto byCode
            = [&](std::size_t a, std::size_t b) { return codeLess(items[a].Code, items[b].Code); };
        if (!std::is_sorted(m_order.begin(), m_order.end(), byCode))
            std::stable_sort(m_order.begin(), m_order.end(), byCode);
    }

    // The positions of the items with code. Looks after the items found last time first, as
    // the values of a saved file follow its items.
    std::span<const std::size_t> find(std::string_view code)
    {
        auto first = m_order.cbegin() + std::ptrdiff_t(m_next);
        if (first == m_order.cend() || !sameCode(m_items[*first].Code, code)) {
            first = std::lower_bound(
                m_order.cbegin(), m_order.cend(), code, [&](std::size_t item, std::string_view c) {
                    return codeLess(m_items[item].Code, c);
                });
        }
        auto last = first;
        while (last != m_order.cend() && sameCode(m_items[*last].Code, code))
            ++last;
        m_next = std::size_t(last - m_order.cbegin());
        return { first, last };
    }

private:
    const ItemList &m_items;
    std::vector<std::size_t> m_order; // by code, and in file order among items sharing a code
    std::size_t m_next = 0; // where the items after those found last time start in m_order
};

// Runs link, which gives items their values; should it throw, no item keeps any value rather
// than some of the old ones.
template<typename Link>
void linkingAllOrNone(ItemList &items, Link link)
{
    try {
        link();
    } catch (...) {
        for (TItemData &item : items)
            item.Values.clear();
        throw;
    }
}

// Gives items their values run by run, a run being values that follow each other with one item
// code. Each value is written over what the item's list held at its place, so a list that is
// loaded again reuses the memory of the values it had.
class ValueLinker
{
public:
    explicit ValueLinker(ItemList &items)
        : m_items(items)
        , m_itemsByCode(items)
        , m_given(items.size())
    { }

    // Starts a run of values with the item code code.
    void startRun(std::string_view code)
    {
        finishRun();
        ++m_runs;
        m_receivers = m_itemsByCode.find(code);
        if (!m_receivers.empty()) {
            m_runValues = &m_items[m_receivers.front()].Values;
            m_runStart = m_runEnd = m_given[m_receivers.front()];
        }
    }

    // Gives the run's next value to the items with its code: set(value) writes it over a value
    // that the list held at its place, make() makes it where the list held none.
    template<typename Set, typename Make>
    void addValue(Set set, Make make)
    {
        ++m_valuesRead;
        if (m_runValues)
            place(*m_runValues, m_runEnd, set, make);
    }

    // Ends the last run and takes from every item the values it held beyond those given.
    void finish()
    {
        finishRun();
        for (std::size_t item = 0; item < m_items.size(); ++item)
            m_items[item].Values.resize(m_given[item]);
    }

private:
    // The values of a run go to the first item with its code as they come; the others that
    // share the code receive copies when it ends.
    void finishRun()
    {
        if (!m_runValues)
            return;
        m_given[m_receivers.front()] = m_runEnd;
        const std::vector<TValueData> &run = *m_runValues;
        for (const std::size_t item : m_receivers.subspan(1)) {
            for (std::size_t value = m_runStart; value != m_runEnd; ++value) {
                place(m_items[item].Values, m_given[item],
                    [&](TValueData &copy) { copy = run[value]; }, [&] { return run[value]; });
            }
        }
        m_runValues = nullptr;
    }

    // Puts a value at place given of values, and moves given past it.
    template<typename Set, typename Make>
    void place(std::vector<TValueData> &values, std::size_t &given, Set set, Make make)
    {
        if (given < values.size()) {
            set(values[given]);
        } else {
            // A list without room receives room for as many values as the runs so far held on
            // average, as files give most items alike numbers of values, and grows twofold
            // when a run is longer.
            if (values.size() == values.capacity()) {
                const std::size_t usualRun = (m_valuesRead + m_runs - 1) / m_runs;
                values.reserve(std::max(2 * values.size(), usualRun));
            }
            values.emplace_back(InPlace { make });
        }
        ++given;
    }

    ItemList &m_items;
    ItemsByCode m_itemsByCode;
    std::vector<std::size_t> m_given; // how many values each item has received
    std::span<const std::size_t> m_receivers; // the items with the code of the current run
    std::vector<TValueData> *m_runValues = nullptr; // the first receiver's, during a run
    std::size_t m_runStart = 0; // where the current run starts in m_runValues
    std::size_t m_runEnd = 0; // where its next value goes there
    std::size_t m_runs = 0; // started so far
    std::size_t m_valuesRead = 0; // values read so far, including those no item takes
};

// The name of the item file that a record of items could not be written to, or an empty view:
// the first field, item by item and each item's values after it, that would break its line.
std::string_view fileThatCannotHold(const ItemList &items)
{
    const auto breaksLine = [](std::initializer_list<std::string_view> fields) {
        return std::ranges::any_of(fields, breaksCommaLine);
    };
    for (const TItemData &item : items) {
        if (breaksLine({ item.Name, item.FileName, item.Section, item.Key }))
            return ItemFileName;
        for (const TValueData &value : item.Values) {
            if (breaksLine({ value.ValueCode, value.Name, value.Value }))
                return ValueFileName;
        }
    }
    return {};
}

// How writing the lines of an item file ended: all written, stopped at a field that would break
// its line, or stopped because put failed.
enum class LinesEnd { Written, Refused, NotPut };

LinesEnd writeItemLines(const ItemList &items, const PutBytes &put)
{
    CommaTextWriter lines(put);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const TItemData &item = items[i];
        if (!lines.writeLine(
                { TwoDigitCode(i + 1), item.Name, item.FileName, item.Section, item.Key }))
            return LinesEnd::Refused;
    }
    return lines.finish() ? LinesEnd::Written : LinesEnd::NotPut;
}

LinesEnd writeValueLines(const ItemList &items, const PutBytes &put)
{
    CommaTextWriter lines(put);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string code = TwoDigitCode(i + 1);
        for (const TValueData &value : items[i].Values) {
            if (!lines.writeLine({ code, value.ValueCode, value.Name, value.Value }))
                return LinesEnd::Refused;
        }
    }
    return lines.finish() ? LinesEnd::Written : LinesEnd::NotPut;
}

// Sets text to bytes, within the memory it holds where that is enough: a text at least as long
// is cut to their length and written over, as a reload of an unchanged file finds every text;
// a shorter one is emptied and they are appended. Either way skips the general assign's care for
// bytes that lie inside text, which cost a load a tenth of its time.
[[gnu::always_inline]] inline void setText(std::string &text, std::string_view bytes)
{
    if (bytes.size() <= text.size()) {
        text.resize(bytes.size());
        copyBytes(text.data(), bytes);
    } else {
        text.clear();
        text.append(bytes);
    }
}

// Loads the items of the file at path over those of items, each keeping the values it held at
// its position for the values' load to reuse. The whole file is read before items is touched,
// so a bad line leaves it as it was; that first reading also counts the items.
void loadItemFileOver(ItemList &items, const std::string &path)
{
    reportingLackOfMemory(path, [&] {
        const FileBytes text = readItemFile(path);
        std::size_t count = 0;
        for (CommaTextReader<5> lines(text); lines.next();)
            ++count;
        items.reserve(count);
        try {
            CommaTextReader<5> lines(text);
            for (std::size_t i = 0; i < count; ++i) {
                lines.next();
                const auto &fields = lines.fields();
                if (i == items.size()) {
                    items.emplace_back(InPlace { [&] {
                        return TItemData { std::string(fields[0]), std::string(fields[1]),
                            std::string(fields[2]), std::string(fields[3]),
                            std::string(fields[4]), {} };
                    } });
                    continue;
                }
                TItemData &item = items[i];
                setText(item.Code, fields[0]);
                setText(item.Name, fields[1]);
                setText(item.FileName, fields[2]);
                setText(item.Section, fields[3]);
                setText(item.Key, fields[4]);
            }
            items.erase(items.begin() + std::ptrdiff_t(count), items.end());
        } catch (...) {
            // Memory ran out half way: no list at all rather than a mixed one.
            items.clear();
            throw;
        }
    });
}

} // namespace

std::string TwoDigitCode(std::size_t number)
{
    std::string code = std::to_string(number);
    if (code.size() < 2)
        code.insert(0, 2 - code.size(), '0');
    return code;
}

ItemList LoadItemFile(const std::string &path)
{
    ItemList items;
    loadItemFileOver(items, path);
    for (TItemData &item : items)
        item.Values.clear();
    return items;
}

std::vector<TValueData> LoadValueFile(const std::string &path)
{
    return reportingLackOfMemory(path, [&] {
        const FileBytes text = readItemFile(path);
        std::vector<TValueData> values;
        CommaTextReader<4> lines(text);
        while (lines.next()) {
            if (values.size() == RecordsBeforeEstimate)
                reserveForTheRest(values, lines.bytesRead(), text.size());
            const auto &fields = lines.fields();
            values.emplace_back(InPlace { [&] {
                return TValueData { std::string(fields[0]), std::string(fields[1]),
                    std::string(fields[2]), std::string(fields[3]) };
            } });
        }
        return values;
    });
}

ItemFilesReadLock::ItemFilesReadLock(const std::string &directory)
    : m_lock(directory, FolderLock::Mode::Shared)
{
    const std::array paths = itemFilePaths(directory);
    // Only a save may be repaired, and saves wait for shared locks: repair under an exclusive one.
    if (m_lock.isHeld() && replacementWasCutOff(paths)) {
        m_lock.release();
        m_lock = FolderLock(directory, FolderLock::Mode::Exclusive);
    }
    if (!m_lock.isHeld() || !finishCutOffReplacement(paths))
        throw Error(cannotOpen(paths[0]));
}

void LinkValues(ItemList &items, std::vector<TValueData> values)
{
    linkingAllOrNone(items, [&] {
        ValueLinker linker(items);
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i == 0 || !sameCode(values[i].ItemCode, values[i - 1].ItemCode))
                linker.startRun(values[i].ItemCode);
            linker.addValue(
                [&](TValueData &value) { value = values[i]; }, [&] { return values[i]; });
        }
        linker.finish();
    });
}

void LoadAndLinkValues(ItemList &items, const std::string &path)
{
    linkingAllOrNone(items, [&] {
        reportingLackOfMemory(path, [&] {
            const FileBytes text = readItemFile(path);
            ValueLinker linker(items);
            std::string runCode;
            bool started = false;
            for (CommaTextReader<4> lines(text); lines.next();) {
                const auto &fields = lines.fields();
                if (!started || !sameCode(fields[0], runCode)) {
                    started = true;
                    setText(runCode, fields[0]);
                    linker.startRun(runCode);
                }
                linker.addValue(
                    [&](TValueData &value) {
                        setText(value.ItemCode, fields[0]);
                        setText(value.ValueCode, fields[1]);
                        setText(value.Name, fields[2]);
                        setText(value.Value, fields[3]);
                    },
                    [&] {
                        return TValueData { std::string(fields[0]), std::string(fields[1]),
                            std::string(fields[2]), std::string(fields[3]) };
                    });
            }
            linker.finish();
        });
    });
}

void LoadItemFiles(ItemList &items, const std::string &directory)
{
    const std::array paths = itemFilePaths(directory);
    loadItemFileOver(items, paths[0]);
    LoadAndLinkValues(items, paths[1]);
}

ItemFileTexts FormatItemFiles(const ItemList &items)
{
    ItemFileTexts texts;
    const auto appendTo = [](std::string &text) {
        return [&text](std::string_view bytes) {
            text.append(bytes);
            return true;
        };
    };
    writeItemLines(items, appendTo(texts.items));
    writeValueLines(items, appendTo(texts.values));
    return texts;
}

void WriteItemFiles(const std::string &directory, const ItemList &items)
{
    const std::array paths = itemFilePaths(directory);
    try {
        // Saves in one folder take turns; a save that was cut off there is finished first, and
        // the temporary files that killed saves left there are removed.
        const FolderLock lock(directory, FolderLock::Mode::Exclusive);
        if (!lock.isHeld() || !finishCutOffReplacement(paths))
            throw Error(cannotCreate(paths[0]));
        // The lines go to the files as they are made, a buffer at a time; a field that would
        // break its line stops the save before any file is replaced.
        bool refused = false;
        const auto producing = [&](LinesEnd (*writeLines)(const ItemList &, const PutBytes &)) {
            return [&, writeLines](const PutBytes &put) {
                const LinesEnd end = writeLines(items, put);
                refused = refused || end == LinesEnd::Refused;
                return end == LinesEnd::Written;
            };
        };
        const std::array files { FileText { paths[0], producing(writeItemLines) },
            FileText { paths[1], producing(writeValueLines) } };
        const ReplaceOutcome outcome = replaceFiles(files, Leftovers::AlreadyRemoved);
        if (outcome.succeeded())
            return;
        if (refused)
            throw Error(cannotCreate(directory + std::string(fileThatCannotHold(items))));
        if (outcome.failedStep == ReplaceStep::Write)
            throw Error("ストリームへの書き込みエラー");
        throw Error(cannotCreate(paths[outcome.fileIndex]));
    } catch (const std::bad_alloc &) {
        throw Error(cannotCreate(paths[0]));
    }
}

} // namespace velmora
