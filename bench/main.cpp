// Runs the benchmarks and ends with a table that sets each one against the floors of its group.
// A benchmark named "Group/Floor..." is a floor of every other benchmark named "Group/...".

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace {

// Whether a flag value means yes, by the library's own rule.
bool isTruthy(std::string value)
{
    if (value.size() == 1)
        return std::isalnum(static_cast<unsigned char>(value[0]))
            && std::string_view("0fFnN").find(value[0]) == std::string_view::npos;
    for (char &c : value)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return value != "false" && value != "no" && value != "off";
}

// Colour as --benchmark_color (or BENCHMARK_COLOR) asks; "auto" only on a terminal that shows
// colour. The library honours the option for its own reporters only, not for one handed to it.
benchmark::ConsoleReporter::OutputOptions outputOptions(int argc, char **argv)
{
    const std::string_view prefix = "--benchmark_color=";
    const char *fromEnvironment = std::getenv("BENCHMARK_COLOR");
    std::string color = fromEnvironment ? fromEnvironment : "auto";
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]).starts_with(prefix))
            color = argv[i] + prefix.size();
    }
    const char *term = std::getenv("TERM");
    const bool colored = color == "auto"
        ? isatty(fileno(stdout)) != 0 && term && std::string_view(term) != "dumb"
        : isTruthy(color);
    return colored ? benchmark::ConsoleReporter::OO_ColorTabular
                   : benchmark::ConsoleReporter::OO_Tabular;
}

// The middle of the values; the mean of the two middle ones for an even count.
double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Seconds in the unit that suits them: "1.234 ms", "56.7 us".
std::string duration(double seconds)
{
    char text[32];
    if (seconds >= 1e-3)
        std::snprintf(text, sizeof text, "%.3f ms", seconds * 1e3);
    else
        std::snprintf(text, sizeof text, "%.1f us", seconds * 1e6);
    return text;
}

// Ends the usual table with one that sets every benchmark against each floor of its group, in
// wall time and in CPU time: where the disk's latency swings between runs, only the CPU time
// shows a change in the work done. With repetitions, the medians are compared, and the CPU
// spread gives the benchmark's fastest and slowest repetition over the floor's median.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    using ConsoleReporter::ConsoleReporter;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0)
                continue;
            const std::string name = run.benchmark_name();
            if (!m_times.contains(name))
                m_order.push_back(name);
            Times &times = m_times[name];
            times.wall.push_back(run.real_accumulated_time / double(run.iterations));
            times.cpu.push_back(run.cpu_accumulated_time / double(run.iterations));
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-32s %-32s %7s %7s %13s %11s %11s\n", "benchmark", "floor", "x wall",
            "x CPU", "CPU spread", "CPU", "floor CPU");
        for (const std::string &name : m_order) {
            const std::string group = name.substr(0, name.find('/') + 1);
            if (isFloor(name))
                continue;
            const Times &times = m_times.at(name);
            for (const std::string &floor : m_order) {
                if (!floor.starts_with(group) || !isFloor(floor))
                    continue;
                const Times &floorTimes = m_times.at(floor);
                const double floorCpu = median(floorTimes.cpu);
                const auto [fastest, slowest]
                    = std::minmax_element(times.cpu.begin(), times.cpu.end());
                std::printf("%-32s %-32s %7.2f %7.2f %6.2f-%-6.2f %11s %11s\n", name.c_str(),
                    floor.substr(group.size()).c_str(),
                    median(times.wall) / median(floorTimes.wall), median(times.cpu) / floorCpu,
                    *fastest / floorCpu, *slowest / floorCpu, duration(median(times.cpu)).c_str(),
                    duration(floorCpu).c_str());
            }
        }
    }

private:
    struct Times
    {
        std::vector<double> wall;
        std::vector<double> cpu;
    };

    // "Group/Floor...": a floor of every other benchmark named "Group/...".
    static bool isFloor(const std::string &name)
    {
        const std::size_t slash = name.find('/');
        return slash != std::string::npos && name.compare(slash + 1, 5, "Floor") == 0;
    }

    std::vector<std::string> m_order; // names as first reported
    std::map<std::string, Times> m_times; // seconds per iteration, one entry per repetition
};

} // namespace

int main(int argc, char **argv)
{
#if defined(__GLIBC__)
    // A benchmark loads and frees megabytes of records thousands of times; glibc would hand the
    // heap top back to the kernel after every round and fault it in again, which swamps what is
    // measured with noise that a program loading its files once never repeats.
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    mallopt(M_TOP_PAD, 64 << 20);
#endif
    const auto options = outputOptions(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter(options);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
