#include "cache/packet/BcdValue.h"

#include "cache/packet/PacketValueText.h"

namespace Catraca {

namespace BcdValue {

std::optional<QByteArray> FromText(const QString &text)
{
    const std::optional<QString> normalized = PacketValueText::NormalizeDecimal(text);
    if (!normalized)
        return std::nullopt;
    const bool negative = normalized->startsWith(QLatin1Char('-'));
    const QString unsignedText = negative ? normalized->mid(1) : *normalized;
    const qsizetype point = unsignedText.indexOf(QLatin1Char('.'));
    const int places = point < 0 ? 0 : int(unsignedText.size() - point - 1);
    QString digits = unsignedText;
    digits.remove(QLatin1Char('.'));
    if (digits.size() > kMaxDigits)
        return std::nullopt;

    QByteArray stored(kStoredSize, '\0');
    stored[0] = char(digits.size());
    stored[1] = char((negative ? 0x80 : 0) | places);
    for (int index = 0; index < digits.size(); ++index) {
        const int digit = digits[index].digitValue();
        const int shift = index % 2 == 0 ? 4 : 0;
        stored[2 + index / 2] = char(static_cast<unsigned char>(stored[2 + index / 2]) | (digit << shift));
    }
    return stored;
}

std::optional<QString> ToText(const QByteArray &stored)
{
    if (stored.size() < 2)
        return std::nullopt;
    const int precision = static_cast<unsigned char>(stored[0]);
    const int places = static_cast<unsigned char>(stored[1]) & 0x3F;
    const bool negative = (static_cast<unsigned char>(stored[1]) & 0x80) != 0;
    if (precision > kMaxDigits || places > precision || 2 + (precision + 1) / 2 > stored.size())
        return std::nullopt;

    QString digits;
    for (int index = 0; index < precision; ++index) {
        const int shift = index % 2 == 0 ? 4 : 0;
        const int digit = (static_cast<unsigned char>(stored[2 + index / 2]) >> shift) & 0x0F;
        if (digit > 9)
            return std::nullopt;
        digits += QChar(u'0' + digit);
    }
    QString text = QLatin1Char('0') + digits.left(precision - places);
    if (places > 0)
        text += QLatin1Char('.') + digits.right(places);
    if (negative)
        text.prepend(QLatin1Char('-'));
    return PacketValueText::NormalizeDecimal(text);
}

}  // namespace BcdValue

}  // namespace Catraca
