// scripts/journal-report, read back from the page a real browser renders.
#include "app/journal/GateJournal.h"
#include "tests/support/TestSupport.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

using namespace Catraca;

using Outcome = GateJournal::Outcome;

namespace {

const QDate Day(2026, 12, 10);

QByteArray Run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(180000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
    return process.readAllStandardOutput();
}

// Pixels of exactly this colour, to see which bars the browser drew.
int PixelsOf(const QImage &image, QRgb colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += (image.pixel(x, y) & 0xffffff) == (colour & 0xffffff);
    return count;
}

}  // namespace

class JournalReportTest : public QObject {
    Q_OBJECT

private slots:
    void totalsInTheRenderedPage_data();
    void totalsInTheRenderedPage();
};

void JournalReportTest::totalsInTheRenderedPage_data()
{
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<QStringList>("totals");  // released, blocked, not registered, command applied, refused

    QTest::newRow("whole journal") << QByteArray() << QStringList{"3", "2", "2", "2", "1"};
    QTest::newRow("torn last line left out") << QByteArray("2026-12-10 23:59:59.000,released,77")
                                             << QStringList{"3", "2", "2", "2", "1"};
}

void JournalReportTest::totalsInTheRenderedPage()
{
    QFETCH(QByteArray, tail);
    QFETCH(QStringList, totals);
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty())
        QSKIP("Chromium is not installed; scripts/test installs it");
    ProgramFolderFixture folder;
    const QString journalFolder = folder.file(QStringLiteral("Journal"));
    int minute = 0;
    GateJournal journal(journalFolder, [&minute] { return QDateTime(Day, QTime(0, 0)).addSecs(60 * 47 * minute++); });
    journal.Decision(Outcome::Released, QStringLiteral("0042"), QStringLiteral("L"));
    journal.Decision(Outcome::Blocked, QStringLiteral("0043"), QStringLiteral("C"));
    journal.Decision(Outcome::Blocked, QStringLiteral("0043"), QStringLiteral("C"));
    journal.CommandApplied(QStringLiteral("c.xml"), QStringLiteral("0043"), QStringLiteral("L"));
    journal.CommandApplied(QStringLiteral("c.xml"), QStringLiteral("0044"), QStringLiteral("L"));
    journal.FileRefused(QStringLiteral("bad, \"old\".xml"));
    journal.Decision(Outcome::Released, QStringLiteral("0043"), QStringLiteral("L"));
    journal.Decision(Outcome::NotRegistered, QStringLiteral("<b>9</b>"), QString());
    journal.Decision(Outcome::NotRegistered, QStringLiteral("<b>9</b>"), QString());
    journal.Decision(Outcome::Released, QStringLiteral("0044"), QStringLiteral("L"));
    QFile file(journal.FileFor(Day));
    QVERIFY(file.open(QIODevice::Append) && file.write(tail) == tail.size());
    file.close();

    const QByteArray page = Run(QStringLiteral("bash"), {QStringLiteral(CATRACA_SOURCE_DIR "/scripts/journal-report"),
                                                          Day.toString(Qt::ISODate), journalFolder});
    folder.write(QStringLiteral("report.html"), page);
    const QString url = QUrl::fromLocalFile(folder.file(QStringLiteral("report.html"))).toString();
    const QStringList browser{QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                              QStringLiteral("--disable-gpu"), QStringLiteral("--hide-scrollbars"),
                              QStringLiteral("--window-size=900,1100")};
    const QString dom = QString::fromUtf8(Run(chromium, browser + QStringList{QStringLiteral("--dump-dom"), url}));
    Run(chromium, browser + QStringList{QStringLiteral("--screenshot=") + folder.file(QStringLiteral("shot.png")), url});

    QStringList shown;
    for (const char *id : {"released", "blocked", "not-registered", "command-applied", "command-file-refused"}) {
        const QRegularExpression cell(QStringLiteral(R"(id="total-%1">(\d+)<)").arg(QLatin1String(id)));
        shown.append(cell.match(dom).captured(1));
    }
    QCOMPARE(shown, totals);
    // 0043 went through the gate three times; 0042 and 0044 once each.
    const QString repeated = dom.mid(dom.indexOf(QStringLiteral("id=\"repeated\"")));
    QVERIFY2(repeated.contains(QStringLiteral("<td>0043</td><td class=\"count\">3</td>")), qPrintable(repeated));
    QVERIFY(!repeated.contains(QStringLiteral("<td>0042</td>")));
    QVERIFY2(repeated.contains(QStringLiteral("<td>&lt;b&gt;9&lt;/b&gt;</td><td class=\"count\">2</td>")),
             qPrintable(repeated));
    const QImage shot(folder.file(QStringLiteral("shot.png")));
    QVERIFY(!shot.isNull());
    QVERIFY(PixelsOf(shot, qRgb(0x2e, 0x9e, 0x3e)) > 0);  // released bars
    QVERIFY(PixelsOf(shot, qRgb(0xd2, 0x3c, 0x3c)) > 0);  // blocked bars
}

QTEST_GUILESS_MAIN(JournalReportTest)

#include "test_journal_report.moc"
