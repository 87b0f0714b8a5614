#include "BenchFolder.h"
#include "BenchPlan.h"
#include "CacheFixtures.h"
#include "FloorIo.h"
#include "Sizes.h"

#include "cache/table/ClientDataSet.h"

#include <QXmlStreamReader>

namespace Catraca {

// Command file: the reader loads each claimed command file, an XML packet,
// into its private table; the floor is a bare token scan of the same bytes.
namespace {

std::vector<int> CommandFileRows()
{
    if (BenchPlan::Smoke())
        return {1};
    return {1, 100, 10000};
}

QString WriteCommandFile(const BenchFolder &folder, int rows)
{
    const auto commands = CacheFixtures::CommandsFor(rows, rows, QStringLiteral("L"));
    folder.Write(QStringLiteral("command.xml"), CacheFixtures::CommandFileXml(commands));
    return folder.File(QStringLiteral("command.xml"));
}

// What the reader does with its table for every file it claims.
void ReaderTableLoop(benchmark::State &state, int rows)
{
    BenchFolder folder;
    const QString path = WriteCommandFile(folder, rows);
    TClientDataSet table;
    for (auto _ : state) {
        table.Close();
        table.LoadFromFile(path);
        table.Open();
        table.First();
    }
    if (table.RecordCount() != rows)
        throw std::runtime_error("the command file gave the wrong number of rows");
}

void TokenScanLoop(benchmark::State &state, int rows)
{
    BenchFolder folder;
    const QString path = WriteCommandFile(folder, rows);
    for (auto _ : state) {
        const QByteArray bytes = FloorIo::ReadAll(path);
        QXmlStreamReader reader(bytes);
        long tokens = 0;
        while (!reader.atEnd()) {
            reader.readNext();
            ++tokens;
        }
        if (reader.hasError())
            throw std::runtime_error("the command file is not well-formed XML: "
                                     + reader.errorString().toStdString());
        benchmark::DoNotOptimize(tokens);
    }
}

}  // namespace

void RegisterCommandFileBenchmarks()
{
    for (int rows : CommandFileRows()) {
        BenchPlan::Comparison comparison;
        comparison.scenario = "command file (XML packet)";
        comparison.size = BenchPlan::Grouped(rows) + (rows == 1 ? " row" : " rows");
        comparison.sizeValue = rows;
        comparison.oursName = "command_file/" + std::to_string(rows) + "/ours";
        comparison.anchorName = "command_file/" + std::to_string(rows) + "/anchor";
        comparison.goal = 2.0;
        comparison.metric = BenchPlan::Metric::CpuTime;
        const auto pair = BenchPlan::Register(
            comparison, [rows](benchmark::State &state) { ReaderTableLoop(state, rows); },
            [rows](benchmark::State &state) { TokenScanLoop(state, rows); });
        const int repetitions = RepetitionsFor(0);
        for (auto *benchmark : {pair.ours, pair.anchor}) {
            benchmark->Repetitions(repetitions)->DisplayAggregatesOnly(repetitions > 1);
            benchmark->Unit(benchmark::kMicrosecond);
        }
    }
}

}  // namespace Catraca
