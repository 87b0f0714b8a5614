#include "cache/base/Exceptions.h"
#include "cache/base/HandlerGuard.h"

#include <QtTest>
#include <functional>
#include <stdexcept>

using namespace Catraca;

using Thrower = std::function<void()>;
Q_DECLARE_METATYPE(Thrower)

class TestHandlerGuard : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { HandlerGuard::SetReporter(nullptr); }
    void everyExceptionReachesTheReporter_data();
    void everyExceptionReachesTheReporter();
    void failingReporterDoesNotEscape();
};

void TestHandlerGuard::everyExceptionReachesTheReporter_data()
{
    QTest::addColumn<Thrower>("handler");
    QTest::addColumn<QStringList>("reported");

    QTest::newRow("no exception") << Thrower([] {}) << QStringList{};
    QTest::newRow("database error") << Thrower([] { throw EDatabaseError("cdsEmulador: Field 'X' not found"); })
                                    << QStringList{"cdsEmulador: Field 'X' not found"};
    QTest::newRow("engine error") << Thrower([] { throw EDBClient(QString::fromUtf8("pacote inválido"), 7); })
                                  << QStringList{QString::fromUtf8("pacote inválido")};
    QTest::newRow("file error") << Thrower([] { throw EFOpenError("Cannot open file \"x\". No such file"); })
                                << QStringList{"Cannot open file \"x\". No such file"};
    QTest::newRow("standard exception") << Thrower([] { throw std::runtime_error("bad"); }) << QStringList{"bad"};
    QTest::newRow("anything else") << Thrower([] { throw 42; }) << QStringList{"Unknown error"};
}

void TestHandlerGuard::everyExceptionReachesTheReporter()
{
    QFETCH(Thrower, handler);
    QFETCH(QStringList, reported);

    QStringList messages;
    QList<HandlerGuard::Source> sources;
    HandlerGuard::SetReporter([&](const QString &message, HandlerGuard::Source source) {
        messages << message;
        sources << source;
    });
    HandlerGuard::Run(handler, HandlerGuard::Source::Tick);
    QCOMPARE(messages, reported);
    for (HandlerGuard::Source source : sources)
        QCOMPARE(source, HandlerGuard::Source::Tick);
}

void TestHandlerGuard::failingReporterDoesNotEscape()
{
    int calls = 0;
    HandlerGuard::SetReporter([&](const QString &, HandlerGuard::Source) {
        ++calls;
        throw std::runtime_error("reporter broke");
    });
    HandlerGuard::Run([] { throw EDatabaseError("first"); });
    QCOMPARE(calls, 1);
    QCOMPARE(HandlerGuard::MessageOf(std::exception_ptr()), QString());
}

QTEST_GUILESS_MAIN(TestHandlerGuard)
#include "test_handler_guard.moc"
