// Runs the benchmarks and ends with a table that sets each one against the floor of its group.
// A benchmark named "Group/Floor..." is the floor of every other benchmark named "Group/...".

#include <benchmark/benchmark.h>

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

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    using ConsoleReporter::ConsoleReporter;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                m_times.emplace_back(run.benchmark_name(), run.GetAdjustedRealTime());
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::map<std::string, double> floors;
        for (const auto &[name, time] : m_times) {
            const std::size_t slash = name.find('/');
            if (slash != std::string::npos && name.compare(slash + 1, 5, "Floor") == 0)
                floors[name.substr(0, slash)] = time;
        }
        std::printf("\n%-60s %12s\n", "benchmark", "x floor");
        for (const auto &[name, time] : m_times) {
            const auto floor = floors.find(name.substr(0, name.find('/')));
            if (floor != floors.end() && floor->second > 0)
                std::printf("%-60s %12.2f\n", name.c_str(), time / floor->second);
        }
    }

private:
    std::vector<std::pair<std::string, double>> m_times;
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
