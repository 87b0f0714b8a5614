// Drives the real program from outside, as the till's machine would:
//
//   reliability_driver crash  <Emulador> <trials> [seed]
//       Each trial starts the program in a fresh folder, drops command files
//       (in turn a burst of small files, two or three large files that are
//       applied in several slices, or a backlog of 400 one-command files),
//       kills the program with SIGKILL at a random moment,
//       checks that data.cds still loads, restarts the program, lets it drain
//       the folder and compares data.cds with the expected table. When the
//       kill left a work file, every other such trial first restarts the
//       program and kills it again while it resumes that work file.
//   reliability_driver stress <Emulador> <files> <well|careless> [seed]
//       A writer process drops the files (one command each) while the program
//       runs, either under another name and then renamed into XML, or in
//       place, slowly, in several chunks; then the table is compared.
//   reliability_driver write  <folder> <files> <well|careless> <first> [seed]
//       The writer process of the stress run.
//
// Every command carries a barcode longer than the cache's column, so applying
// it never finds its own row again: a command applied twice leaves two rows,
// a lost one leaves none, and the table tells them apart exactly.
#include "CommandPlan.h"
#include "ProgramRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>
#include <cstdio>

using namespace Catraca;

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: reliability_driver crash <Emulador> <trials> [seed]\n"
                 "       reliability_driver stress <Emulador> <files> <well|careless> [seed]\n"
                 "       reliability_driver write <folder> <files> <well|careless> <first> [seed]\n");
    return 2;
}

quint32 SeedFrom(const QStringList &arguments, int index)
{
    return arguments.size() > index ? arguments.at(index).toUInt() : QRandomGenerator::system()->generate();
}

struct Tally {
    int trials = 0;
    int commands = 0;
    int lost = 0;
    int duplicated = 0;
    int unknown = 0;
    int unloadable = 0;
    int undrained = 0;
    int failedTrials = 0;
    int startupKills = 0;        // kills aimed at the resume at start-up
    int startupKillsInResume = 0;  // of those, kills after the resume had written something

    void Add(const Comparison &comparison)
    {
        commands += comparison.expected;
        lost += comparison.lost;
        duplicated += comparison.duplicated;
        unknown += comparison.unknown;
    }
};

// What the resume of a work file writes: the progress slots and data.cds.
QByteArray ResumeState(const ProgramFolder &folder)
{
    QByteArray state;
    for (const QString &name : {QStringLiteral("XMLQuiboIntegração.progress.a"), QStringLiteral("XMLQuiboIntegração.progress.b"),
                                QStringLiteral("data.cds")}) {
        QFile file(folder.Path() + name);
        state += file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("-");
        state += '|';
    }
    return state;
}

// Starts the program on a folder that holds a work file and kills it while
// it resumes that work file at start-up: as soon as the resume has written
// something, plus up to 20 ms. True when the kill came after such a write.
bool KillDuringStartupResume(const ProgramFolder &folder, QRandomGenerator &random)
{
    const QByteArray before = ResumeState(folder);
    ProgramRun run(folder);
    QElapsedTimer clock;
    clock.start();
    bool wrote = false;
    while (!wrote && clock.elapsed() < 10000) {
        wrote = ResumeState(folder) != before;
        if (!wrote)
            QThread::usleep(200);
    }
    QThread::usleep(random.bounded(20000));
    run.Kill();
    return wrote;
}

enum class Load { Burst, LargeFiles, Backlog };
constexpr int kLoads = 3;
constexpr int kBacklogFiles = 400;

const char *NameOf(Load load)
{
    switch (load) {
    case Load::Burst:
        return "a burst of small files";
    case Load::LargeFiles:
        return "large files";
    case Load::Backlog:
        return "a backlog of one-command files";
    }
    return "";
}

QList<CommandFile> FilesFor(Load load, QRandomGenerator &random, int first)
{
    switch (load) {
    case Load::Burst:
        return CommandPlan::Burst(random, first);
    case Load::LargeFiles:
        return CommandPlan::LargeFiles(random, first);
    case Load::Backlog:
        return CommandPlan::Sequence(kBacklogFiles, first + 1);
    }
    return {};
}

// Kill times are spread over the whole life of a load: from before the
// program is up to just after its last save, as measured by a run without a
// kill. Much of that time the program waits for its first tick; the work of
// the ticks themselves comes after, so two kills in three are aimed there.
int CrashTrials(const QString &program, int trials, quint32 seed)
{
    QRandomGenerator random(seed);
    std::printf("crash test: %d trials, seed %u\n", trials, seed);
    qint64 drainMs[kLoads] = {};
    for (int load = 0; load < kLoads; ++load) {
        ProgramFolder folder(program);
        const QList<CommandFile> files = FilesFor(Load(load), random, 0);
        ProgramRun run(folder);
        QElapsedTimer clock;
        clock.start();
        CommandPlan::DropAll(folder.CommandFolder(), files, WriteStyle::WellBehaved);
        if (!folder.WaitDrained(CommandPlan::CountCommands(files), 120000, false)) {
            std::printf("calibration: the program did not drain %s\n", NameOf(Load(load)));
            return 1;
        }
        drainMs[load] = clock.elapsed();
        std::printf("%s drains in about %lld ms\n", NameOf(Load(load)), static_cast<long long>(drainMs[load]));
    }

    Tally tally;
    for (int trial = 1; trial <= trials; ++trial) {
        ProgramFolder folder(program);
        const Load load = Load(trial % kLoads);
        const QList<CommandFile> burst = FilesFor(load, random, trial * 10000);
        const int tickMs = 1000;
        const qint64 loadMs = drainMs[int(load)];
        const int killAtMs = random.bounded(3) == 0 ? int(random.bounded(int(loadMs + 100)))
                                                    : tickMs + int(random.bounded(int(std::max<qint64>(loadMs - tickMs, 50) + 100)));
        {
            ProgramRun run(folder);
            CommandPlan::DropAll(folder.CommandFolder(), burst, WriteStyle::WellBehaved);
            QThread::msleep(ulong(killAtMs));
            run.Kill();
        }
        bool loadable = folder.CacheLoads();
        if (QFileInfo::exists(folder.Path() + QStringLiteral("XMLQuiboIntegração")) && random.bounded(2) == 1) {
            ++tally.startupKills;
            tally.startupKillsInResume += KillDuringStartupResume(folder, random) ? 1 : 0;
            loadable = loadable && folder.CacheLoads();
        }
        bool drained = false;
        {
            ProgramRun run(folder);
            drained = folder.WaitDrained(CommandPlan::CountCommands(burst), 120000);
        }
        const Comparison comparison = CommandPlan::Compare(burst, folder.CacheRows());
        ++tally.trials;
        tally.Add(comparison);
        tally.unloadable += loadable ? 0 : 1;
        tally.undrained += drained ? 0 : 1;
        const bool good = loadable && drained && comparison.Clean();
        if (!good) {
            ++tally.failedTrials;
            std::printf("trial %d (%s, kill at %d ms): loadable %d, drained %d, %s; folder kept: %s\n", trial, NameOf(load), killAtMs,
                        int(loadable), int(drained), qPrintable(comparison.Describe()), qPrintable(folder.Keep()));
        } else if (trial % 20 == 0) {
            std::printf("trial %d: ok (%d commands so far)\n", trial, tally.commands);
        }
        std::fflush(stdout);
    }
    std::printf("crash test result: trials %d, commands %d, lost %d, applied twice %d, unknown rows %d, "
                "unloadable data.cds %d, not drained %d, failed trials %d; kills during the start-up resume %d "
                "(%d after it had written)\n",
                tally.trials, tally.commands, tally.lost, tally.duplicated, tally.unknown, tally.unloadable,
                tally.undrained, tally.failedTrials, tally.startupKills, tally.startupKillsInResume);
    return tally.failedTrials == 0 ? 0 : 1;
}

int StressRun(const QString &program, int files, WriteStyle style, quint32 seed)
{
    std::printf("stress test: %d files written %s, seed %u\n", files,
                style == WriteStyle::WellBehaved ? "under another name, then renamed" : "in place, in chunks", seed);
    ProgramFolder folder(program);
    const QList<CommandFile> plan = CommandPlan::Sequence(files, 1);
    bool drained = false;
    {
        ProgramRun run(folder);
        QProcess writer;
        writer.setProcessChannelMode(QProcess::ForwardedChannels);
        writer.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("write"), folder.CommandFolder(), QString::number(files),
                      style == WriteStyle::WellBehaved ? QStringLiteral("well") : QStringLiteral("careless"),
                      QStringLiteral("1"), QString::number(seed)});
        if (!writer.waitForFinished(-1) || writer.exitCode() != 0) {
            std::printf("the writer failed\n");
            return 1;
        }
        std::printf("writer done; waiting for the program to drain\n");
        std::fflush(stdout);
        drained = folder.WaitDrained(files, 30 * 60 * 1000);
    }
    const Comparison comparison = CommandPlan::Compare(plan, folder.CacheRows());
    std::printf("stress result: written %d, applied %d, lost %d, duplicated %d, unknown rows %d, drained %d\n",
                comparison.expected, comparison.applied, comparison.lost, comparison.duplicated, comparison.unknown,
                int(drained));
    if (!comparison.Clean() || !drained) {
        std::printf("folder kept: %s\n", qPrintable(folder.Keep()));
        return 1;
    }
    return 0;
}

int WriterProcess(const QString &commandFolder, int files, WriteStyle style, int first, quint32 seed)
{
    QRandomGenerator random(seed);
    const QList<CommandFile> plan = CommandPlan::Sequence(files, first);
    for (const CommandFile &file : plan)
        CommandPlan::Drop(commandFolder, file, style, random);
    return 0;
}

std::optional<WriteStyle> StyleFrom(const QString &text)
{
    if (text == QLatin1String("well"))
        return WriteStyle::WellBehaved;
    if (text == QLatin1String("careless"))
        return WriteStyle::Careless;
    return std::nullopt;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 4)
        return Usage();
    const QString mode = arguments.at(1);
    if (mode == QLatin1String("crash"))
        return CrashTrials(arguments.at(2), arguments.at(3).toInt(), SeedFrom(arguments, 4));
    if (arguments.size() < 5)
        return Usage();
    const std::optional<WriteStyle> style = StyleFrom(arguments.at(4));
    if (!style)
        return Usage();
    if (mode == QLatin1String("stress"))
        return StressRun(arguments.at(2), arguments.at(3).toInt(), *style, SeedFrom(arguments, 5));
    if (mode == QLatin1String("write") && arguments.size() >= 6)
        return WriterProcess(arguments.at(2), arguments.at(3).toInt(), *style, arguments.at(5).toInt(),
                             SeedFrom(arguments, 6));
    return Usage();
}
