//===- BenchMain.cpp - vexo-bench's entry point and its table of targets --===//
//
// Runs the selected benchmarks with the usual console output, then prints
// one table: each performance figure, its target, the value measured in this
// run and whether it passes or falls short. With repetitions the median is
// used. Times are CPU times, so that other work on a shared machine disturbs
// them less. Figures without a target are listed for information.
//
//===----------------------------------------------------------------------===//
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

/// What the table needs of one benchmark run.
struct Figure {
    double NsPerIteration = 0; ///< CPU time per iteration
    double ItemsPerSecond = 0;
    std::map<std::string, double> Counters;
};

class TableReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &Runs) override {
        ConsoleReporter::ReportRuns(Runs);
        for (const Run &R : Runs) {
            if (R.error_occurred)
                continue;
            const bool Median = R.run_type == Run::RT_Aggregate && R.aggregate_name == "median";
            if (R.run_type == Run::RT_Aggregate && !Median)
                continue;
            // The figure's name without the run's settings (iterations, real time).
            std::string Name = R.run_name.function_name;
            if (!R.run_name.args.empty())
                Name += "/" + R.run_name.args;
            // A median replaces the single runs it summarises.
            if (!Median && FMedians.count(Name))
                continue;
            Figure F;
            // CPU time, which a machine busy with other work disturbs less; the
            // figures measured across threads (latency) use real time anyway.
            F.NsPerIteration = (!R.run_name.time_type.empty() ? R.GetAdjustedRealTime()
                                                                   : R.GetAdjustedCPUTime()) *
                               NsPer(R.time_unit);
            for (const auto &[Key, Counter] : R.counters)
                F.Counters[Key] = Counter.value;
            if (auto It = F.Counters.find("items_per_second"); It != F.Counters.end())
                F.ItemsPerSecond = It->second;
            if (Median)
                FMedians[Name] = true;
            FFigures[Name] = F;
        }
    }

    const Figure *Find(const std::string &Name) const {
        auto It = FFigures.find(Name);
        return It == FFigures.end() ? nullptr : &It->second;
    }
    const std::map<std::string, Figure> &All() const { return FFigures; }

  private:
    static double NsPer(benchmark::TimeUnit Unit) {
        switch (Unit) {
        case benchmark::kNanosecond:
            return 1;
        case benchmark::kMicrosecond:
            return 1e3;
        case benchmark::kMillisecond:
            return 1e6;
        case benchmark::kSecond:
            return 1e9;
        }
        return 1;
    }
    std::map<std::string, Figure> FFigures;
    std::map<std::string, bool> FMedians;
};

struct Row {
    std::string Figure;
    std::string Target;
    std::string Measured;
    std::string Verdict; ///< "pass", "short" or "" (information)
};

std::string Fixed(double V, int Digits, const char *Unit) {
    char Buf[64];
    std::snprintf(Buf, sizeof Buf, "%.*f %s", Digits, V, Unit);
    return Buf;
}

std::vector<Row> BuildRows(const TableReporter &R) {
    std::vector<Row> Rows;
    auto Verdict = [](bool Pass) { return std::string(Pass ? "pass" : "short"); };
    auto AtMost = [&](const std::string &Label, const std::string &Name, double Limit,
                      const std::function<double(const Figure &)> &Value, int Digits,
                      const char *Unit) {
        if (const Figure *F = R.Find(Name)) {
            const double V = Value(*F);
            Rows.push_back({Label, "<= " + Fixed(Limit, Digits, Unit), Fixed(V, Digits, Unit),
                            Verdict(V <= Limit)});
        }
    };
    auto AtLeast = [&](const std::string &Label, const std::string &Name, double Limit,
                       const std::function<double(const Figure &)> &Value, int Digits,
                       const char *Unit) {
        if (const Figure *F = R.Find(Name)) {
            const double V = Value(*F);
            Rows.push_back({Label, ">= " + Fixed(Limit, Digits, Unit), Fixed(V, Digits, Unit),
                            Verdict(V >= Limit)});
        }
    };
    auto Info = [&](const std::string &Label, const std::string &Name,
                    const std::function<double(const Figure &)> &Value, int Digits,
                    const char *Unit) {
        if (const Figure *F = R.Find(Name))
            Rows.push_back({Label, "-", Fixed(Value(*F), Digits, Unit), ""});
    };
    auto Ns = [](const Figure &F) { return F.NsPerIteration; };
    auto Ms = [](const Figure &F) { return F.NsPerIteration / 1e6; };
    auto MItems = [](const Figure &F) { return F.ItemsPerSecond / 1e6; };
    auto Counter = [](const char *Key) {
        return [Key](const Figure &F) {
            auto It = F.Counters.find(Key);
            return It == F.Counters.end() ? NAN : It->second;
        };
    };

    AtMost("FileTimeToDateTime", "BM_FileTimeToDateTime", 10, Ns, 1, "ns");
    AtLeast("DataPath/10000", "BM_DataPath/10000", 40, MItems, 1, "M/s");
    Info("  its baseline", "BM_DataPathBaseline/10000", MItems, 1, "M/s");
    AtLeast("DataPath/100", "BM_DataPath/100", 25, MItems, 1, "M/s");
    AtMost("Latency p99", "BM_Latency", 50, Counter("p99_us"), 1, "us");
    Info("Latency median", "BM_Latency", Counter("median_us"), 1, "us");
    AtMost("ItemMemory/100000", "BM_ItemMemory/100000", 200, Counter("bytes_per_item"), 0,
           "B/item");
    AtMost("ConfigLoad/100000", "BM_ConfigLoad/100000", 40, Ms, 1, "ms");
    AtMost("ConfigSave/100000", "BM_ConfigSave/100000", 40, Ms, 1, "ms");

    // AddItems: the cost per item must not grow with the count.
    std::vector<std::pair<int, double>> PerItem;
    for (int N : {1000, 10000, 100000, 1000000})
        if (const Figure *F = R.Find("BM_AddItems/" + std::to_string(N))) {
            PerItem.emplace_back(N, F->NsPerIteration / N);
            Info("AddItems/" + std::to_string(N) + " per item", "BM_AddItems/" + std::to_string(N),
                 [N](const Figure &G) { return G.NsPerIteration / N; }, 0, "ns");
        }
    if (PerItem.size() > 1) {
        double Low = PerItem.front().second, High = Low;
        for (const auto &[N, V] : PerItem) {
            Low = std::min(Low, V);
            High = std::max(High, V);
        }
        Rows.push_back({"AddItems per-item spread", "<= 2.0 x", Fixed(High / Low, 2, "x"),
                        Verdict(High / Low <= 2.0)});
    }
    AtMost("AddItems/1000000", "BM_AddItems/1000000", 250, Ms, 0, "ms");

    Info("SimServerDelivery/10000", "BM_SimServerDelivery/10000", MItems, 1, "M/s");
    Info("SyncRead/10000", "BM_SyncRead/10000", MItems, 1, "M/s");
    Info("Da10Stream/10000 numbers", "BM_Da10Stream/10000/0/64", MItems, 1, "M/s");
    Info("Da10Stream/10000 strings, 64-bit", "BM_Da10Stream/10000/1/64", MItems, 1, "M/s");
    Info("Da10Stream/10000 strings, 32-bit", "BM_Da10Stream/10000/1/32", MItems, 1, "M/s");
    return Rows;
}

void PrintTable(const std::vector<Row> &Rows) {
    std::size_t W[3] = {6, 6, 8};
    for (const Row &R : Rows) {
        W[0] = std::max(W[0], R.Figure.size());
        W[1] = std::max(W[1], R.Target.size());
        W[2] = std::max(W[2], R.Measured.size());
    }
    std::printf("\n%-*s  %-*s  %-*s  %s\n", int(W[0]), "Figure", int(W[1]), "Target", int(W[2]),
                "Measured", "Result");
    std::printf("%s\n", std::string(W[0] + W[1] + W[2] + 14, '-').c_str());
    int Short = 0;
    for (const Row &R : Rows) {
        std::printf("%-*s  %-*s  %-*s  %s\n", int(W[0]), R.Figure.c_str(), int(W[1]),
                    R.Target.c_str(), int(W[2]), R.Measured.c_str(), R.Verdict.c_str());
        Short += R.Verdict == "short";
    }
    std::printf("%d figure(s) short of target\n", Short);
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TableReporter Reporter;
    benchmark::RunSpecifiedBenchmarks(&Reporter);
    PrintTable(BuildRows(Reporter));
    benchmark::Shutdown();
    return 0;
}
