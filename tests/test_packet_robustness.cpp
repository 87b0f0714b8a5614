#include "cache/base/Exceptions.h"
#include "cache/packet/PacketCodec.h"
#include "tests/support/PacketSamples.h"

#include <QtTest>

using namespace Catraca;

using PacketSamples::Dump;

namespace {

enum class Outcome { Loaded, Refused };

// Decoding any bytes ends in a packet or an EDBClient error; a packet that
// was read can be written again in both forms (or is refused clearly), and
// what is written reads back the same.
Outcome DecodeAnything(const QByteArray &bytes, QString &failure)
{
    Packet packet;
    try {
        packet = PacketCodec::Decode(bytes);
    } catch (const EDBClient &error) {
        if (error.Message().isEmpty() || error.ErrorCode() == 0)
            failure = QStringLiteral("a refusal without message or code");
        return Outcome::Refused;
    } catch (const std::exception &error) {
        failure = QStringLiteral("unexpected exception: ") + QString::fromUtf8(error.what());
        return Outcome::Refused;
    }
    for (const int form : {0, 1, 2}) {
        try {
            const QByteArray written = form == 0 ? PacketCodec::EncodeBinary(packet) : PacketCodec::EncodeXml(packet, form == 2);
            const Packet again = PacketCodec::Decode(written);
            if (form == 0 && Dump(again) != Dump(packet))
                failure = QStringLiteral("a packet read from damaged bytes does not survive its own binary form");
        } catch (const EDBClient &error) {
            if (error.ErrorCode() != PacketCodec::kCannotEncode)
                failure = QStringLiteral("what was written could not be read: ") + error.Message();
        }
    }
    return Outcome::Loaded;
}

QList<QByteArray> ValidPackets()
{
    QList<QByteArray> packets;
    Packet cache = PacketSamples::EmptyReleaseCache();
    packets << PacketCodec::EncodeBinary(cache);
    cache.rows.push_back(PacketRow {{qint64(1), QByteArray("0001"), QByteArray("L")}});
    cache.rows.push_back(PacketRow {{qint64(2), Cell {}, QByteArray("C")}});
    packets << PacketCodec::EncodeBinary(cache) << PacketCodec::EncodeXml(cache, false) << PacketCodec::EncodeXml(cache, true);
    // Small random packets: every truncation of each is tried.
    QRandomGenerator random(20240131);
    for (int found = 0; found < 4;) {
        const Packet packet = PacketSamples::RandomPacket(random);
        const QByteArray binary = PacketCodec::EncodeBinary(packet);
        const QByteArray xml = PacketCodec::EncodeXml(packet, found % 2 == 0);
        if (binary.size() > 1500 || xml.size() > 2500)
            continue;
        packets << binary << xml;
        ++found;
    }
    // An engine packet with a change log: record 1 modified into record 2.
    PacketSamples::BinaryBuilder withLog;
    withLog.Header(1, 2).Name("NOME").U32(0x00490001).U16(0).U16(0).U16(1)
        .Name("CHANGE_LOG").U32(0x00810004).U32(3).U32(2).U32(1).U32(8)
        .Records().U8(1).U8(0).U8(3).Raw("ANA").U8(8).U8(0).U8(3).Raw("BIA");
    packets << withLog.Bytes();
    return packets;
}

}  // namespace

class TestPacketRobustness : public QObject {
    Q_OBJECT

private slots:
    void randomPacketsSurviveBothForms_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 300; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }

    void randomPacketsSurviveBothForms()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        const Packet packet = PacketSamples::RandomPacket(random);
        const QString expected = Dump(packet);
        QCOMPARE(Dump(PacketCodec::Decode(PacketCodec::EncodeBinary(packet))), expected);
        const QByteArray ascii = PacketCodec::EncodeXml(packet, false);
        for (const char byte : ascii)
            QVERIFY2(static_cast<unsigned char>(byte) < 0x80, "the 8-bit XML form holds a byte outside ASCII");
        QCOMPARE(Dump(PacketCodec::Decode(ascii)), expected);
        QCOMPARE(Dump(PacketCodec::Decode(PacketCodec::EncodeXml(packet, true))), expected);
    }

    void everyTruncationLoadsOrIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QList<QByteArray> packets = ValidPackets();
        for (qsizetype index = 0; index < packets.size(); ++index)
            QTest::addRow("packet %lld", qlonglong(index)) << packets[index];
    }

    void everyTruncationLoadsOrIsRefused()
    {
        QFETCH(QByteArray, bytes);
        int refused = 0;
        for (qsizetype length = 0; length < bytes.size(); ++length) {
            QString failure;
            refused += DecodeAnything(bytes.left(length), failure) == Outcome::Refused;
            QVERIFY2(failure.isEmpty(), qPrintable(QStringLiteral("at %1 bytes: %2").arg(length).arg(failure)));
        }
        // Cutting a packet short must be noticed nearly always.
        QVERIFY2(refused >= bytes.size() * 9 / 10, qPrintable(QStringLiteral("%1 of %2 refused").arg(refused).arg(bytes.size())));
    }

    void randomByteChangesLoadOrAreRefused_data()
    {
        everyTruncationLoadsOrIsRefused_data();
    }

    void randomByteChangesLoadOrAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QRandomGenerator random(quint32(qHash(bytes)));
        for (int attempt = 0; attempt < 800; ++attempt) {
            QByteArray damaged = bytes;
            const int changes = int(random.bounded(1, 5));
            for (int change = 0; change < changes; ++change) {
                // Half the changes hit the first 140 bytes, where the counts and lengths are.
                const qsizetype limit = random.bounded(2) ? std::min<qsizetype>(140, damaged.size()) : damaged.size();
                const qsizetype position = qsizetype(random.bounded(int(limit)));
                static const char kInteresting[] = {'\0', '\x01', '\x7f', '\x80', '\xff', '<', '"', '&', ' '};
                damaged[position] = random.bounded(3) == 0 ? kInteresting[random.bounded(int(sizeof kInteresting))]
                                                           : char(random.bounded(256));
            }
            QString failure;
            DecodeAnything(damaged, failure);
            QVERIFY2(failure.isEmpty(), qPrintable(QStringLiteral("attempt %1: %2\n%3").arg(attempt).arg(failure, QString::fromLatin1(damaged.toHex()))));
        }
    }

    void hostileXmlIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray entities = "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\">";
        char previous = 'a';
        for (char name = 'b'; name <= 'k'; ++name, ++previous)
            entities += QByteArray("<!ENTITY ") + name + " \"" + QByteArray("&").append(previous).append(';').repeated(10) + "\">";
        entities += "]><DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"A\" fieldtype=\"string\" WIDTH=\"5\"/>"
                    "</FIELDS><PARAMS/></METADATA><ROWDATA><ROW A=\"&k;\"/></ROWDATA></DATAPACKET>";
        QTest::newRow("entity expansion") << entities;
        QTest::newRow("deep nesting") << QByteArray("<DATAPACKET><METADATA>") + QByteArray("<X>").repeated(200000);
        QTest::newRow("external entity")
            << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY e SYSTEM \"/etc/passwd\">]><DATAPACKET><METADATA><FIELDS>"
                          "<FIELD attrname=\"A\" fieldtype=\"string\" WIDTH=\"5\"/></FIELDS></METADATA><ROWDATA><ROW A=\"&e;\"/></ROWDATA></DATAPACKET>");
        QTest::newRow("huge row count") << PacketSamples::BinaryBuilder().Header(0, -1).U16(0).Records().Bytes();
        QTest::newRow("huge array count")
            << PacketSamples::BinaryBuilder().Header(0, 0).U16(1).Name("X").U32(0x00810004).U32(0x7fffffff).Records().Bytes();
        QTest::newRow("array of empty elements")
            << PacketSamples::BinaryBuilder().Header(0, 0).U16(1).Name("X").U32(0x00810000).U32(0x7fffffff).Records().Bytes();
    }

    void hostileXmlIsRefused()
    {
        QFETCH(QByteArray, bytes);
        try {
            const Packet packet = PacketCodec::Decode(bytes);
            QFAIL(qPrintable(QStringLiteral("read as:\n") + Dump(packet)));
        } catch (const EDBClient &error) {
            QVERIFY(!error.Message().isEmpty());
        }
    }
};

QTEST_APPLESS_MAIN(TestPacketRobustness)
#include "test_packet_robustness.moc"
