#include "cache/base/AnsiText.h"

#include <QtTest>

#include <iconv.h>

using namespace Catraca;

namespace {

// One conversion through glibc's iconv; nothing when it refuses the input.
std::optional<QByteArray> Iconv(const char *to, const char *from, QByteArray input)
{
    iconv_t converter = iconv_open(to, from);
    if (converter == iconv_t(-1))
        return std::nullopt;
    QByteArray output(64, '\0');
    char *in = input.data();
    size_t inLeft = size_t(input.size());
    char *out = output.data();
    size_t outLeft = size_t(output.size());
    const size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    if (result == size_t(-1) || inLeft != 0)
        return std::nullopt;
    output.truncate(output.size() - qsizetype(outLeft));
    return output;
}

std::optional<QString> CodePageToUnicode(unsigned char byte)
{
    const std::optional<QByteArray> utf8 = Iconv("UTF-8", "WINDOWS-1252", QByteArray(1, char(byte)));
    if (!utf8)
        return std::nullopt;
    return QString::fromUtf8(*utf8);
}

std::optional<QByteArray> UnicodeToCodePage(char32_t character)
{
    return Iconv("CP1252", "UTF-32LE", QByteArray(reinterpret_cast<const char *>(&character), 4));
}

const unsigned char kUndefinedBytes[] = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

bool IsUndefined(int byte)
{
    return std::find(std::begin(kUndefinedBytes), std::end(kUndefinedBytes), byte) != std::end(kUndefinedBytes);
}

}  // namespace

class TestAnsiText : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(CodePageToUnicode('A'), "glibc's iconv does not know WINDOWS-1252");
    }

    void everyByteReadsAsIconvReadsIt_data()
    {
        QTest::addColumn<int>("byte");
        for (int byte = 0; byte < 256; ++byte)
            QTest::addRow("0x%02X", byte) << byte;
    }

    void everyByteReadsAsIconvReadsIt()
    {
        QFETCH(int, byte);
        const QByteArray single(1, char(byte));
        const QString ours = AnsiText::ToUnicode(single);
        const std::optional<QString> theirs = CodePageToUnicode(static_cast<unsigned char>(byte));
        QCOMPARE(theirs.has_value(), !IsUndefined(byte));
        if (theirs) {
            QCOMPARE(ours, *theirs);
            QCOMPARE(UnicodeToCodePage(ours.at(0).unicode()), std::optional<QByteArray>(single));
        } else {
            // The code page leaves it undefined; it must still survive the trip.
            QCOMPARE(ours, QString(QChar(char16_t(byte))));
        }
        QCOMPARE(AnsiText::Encode(ours), single);
        if (byte != 0 && byte != ' ')
            QCOMPARE(AnsiText::FromUnicode(ours, 1), single);
    }

    void everyCharacterOfTheBasicPlaneWritesAsIconvWritesIt()
    {
        for (char32_t character = 1; character < 0x10000; ++character) {
            if (character >= 0xD800 && character <= 0xDFFF)
                continue;
            const QString text {QChar(char16_t(character))};
            const QByteArray ours = AnsiText::Encode(text);
            const std::optional<QByteArray> theirs = UnicodeToCodePage(character);
            const QByteArray expected = theirs ? *theirs : (IsUndefined(int(character)) ? QByteArray(1, char(character)) : QByteArray("?"));
            if (ours != expected)
                QFAIL(qPrintable(QStringLiteral("U+%1 gives %2, expected %3")
                                     .arg(uint(character), 4, 16, QLatin1Char('0'))
                                     .arg(QString::fromLatin1(ours.toHex()), QString::fromLatin1(expected.toHex()))));
        }
    }

    void textToColumnBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("cut to the width") << "ABCDEFGHIJKL" << 10 << QByteArray("ABCDEFGHIJ");
        QTest::newRow("one byte wide") << "LIBERADO" << 1 << QByteArray("L");
        QTest::newRow("trailing blanks trimmed") << "AB  " << 10 << QByteArray("AB");
        QTest::newRow("leading blanks kept") << "  AB" << 10 << QByteArray("  AB");
        QTest::newRow("blank left by the cut trimmed") << "ABCDEFGHI JK" << 10 << QByteArray("ABCDEFGHI");
        QTest::newRow("tab is not a blank") << "AB\t" << 10 << QByteArray("AB\t");
        QTest::newRow("dropped from an embedded NUL on") << QString::fromUtf16(u"AB\0CD", 5) << 10 << QByteArray("AB");
        QTest::newRow("empty") << "" << 10 << QByteArray();
        QTest::newRow("only blanks") << "   " << 10 << QByteArray();
        QTest::newRow("code page letters") << QStringLiteral("a\u00e7\u00e3o\u20ac") << 10 << QByteArray("a\xe7\xe3o\x80");
        QTest::newRow("character outside the code page") << QStringLiteral("\u4e2d1") << 10 << QByteArray("?1");
        QTest::newRow("one question mark for a pair") << QString::fromUcs4(U"\U0001F600x", 2) << 10 << QByteArray("?x");
        QTest::newRow("unpaired surrogate") << QString(QChar(0xD800)) + QLatin1Char('x') << 10 << QByteArray("?x");
        QTest::newRow("no width, no cut") << QString(300, QLatin1Char('z')) << 0 << QByteArray(300, 'z');
    }

    void textToColumnBytes()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QByteArray, bytes);
        QCOMPARE(AnsiText::FromUnicode(text, width), bytes);
    }

    void upperCaseFollowsTheLettersOfTheCodePage_data()
    {
        QTest::addColumn<int>("byte");
        for (int byte = 0; byte < 256; ++byte)
            QTest::addRow("0x%02X", byte) << byte;
    }

    // A byte's upper case is the byte of its character's upper case when the
    // code page holds that character, else the byte itself.
    void upperCaseFollowsTheLettersOfTheCodePage()
    {
        QFETCH(int, byte);
        const QString character = AnsiText::ToUnicode(QByteArray(1, char(byte)));
        const QString upper = character.toUpper();
        const bool representable = upper.size() == 1 && AnsiText::CanEncode(upper.at(0).unicode());
        const char expected = representable ? AnsiText::Encode(upper).at(0) : char(byte);
        QCOMPARE(int(static_cast<unsigned char>(AnsiText::UpperCase(char(byte)))), int(static_cast<unsigned char>(expected)));
    }

    void upperCaseSpotChecks()
    {
        QCOMPARE(AnsiText::UpperCase('a'), 'A');
        QCOMPARE(AnsiText::UpperCase(char(0xE7)), char(0xC7));  // c cedilla
        QCOMPARE(AnsiText::UpperCase(char(0xFF)), char(0x9F));  // y diaeresis
        QCOMPARE(AnsiText::UpperCase(char(0x9A)), char(0x8A));  // s caron
        QCOMPARE(AnsiText::UpperCase(char(0xF7)), char(0xF7));  // division sign
        QCOMPARE(AnsiText::UpperCase(char(0xDF)), char(0xDF));  // sharp s has no one-byte capital
    }
};

QTEST_APPLESS_MAIN(TestAnsiText)
#include "test_ansi_text.moc"
