// Runs the benchmarks and ends with a table that sets each one against the floor of its group.
// A benchmark named "Group/Floor..." is the floor of every other benchmark named "Group/...".

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// Colour as --benchmark_color asks (auto: only on a terminal). The library honours the option for
// its own reporters only, not for one handed to it.
benchmark::ConsoleReporter::OutputOptions outputOptions(int argc, char **argv)
{
    const char *const prefix = "--benchmark_color=";
    std::string color = "auto";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix, std::strlen(prefix)) == 0)
            color = argv[i] + std::strlen(prefix);
    }
    const bool colored = color == "auto"
        ? isatty(fileno(stdout)) != 0
        : color == "true" || color == "yes" || color == "on" || color == "1";
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
