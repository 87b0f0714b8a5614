#include "cache/packet/ByteReader.h"

#include "cache/packet/PacketCodec.h"

namespace Catraca {

ByteReader::ByteReader(const QByteArray &bytes, qsizetype start)
    : bytes_(bytes), position_(0)
{
    Seek(start);
}

void ByteReader::Seek(qsizetype position)
{
    if (position < 0 || position > bytes_.size())
        PacketCodec::Refuse(QStringLiteral("an offset points outside the packet"));
    position_ = position;
}

void ByteReader::Require(qint64 count, const char *what) const
{
    if (count < 0 || count > Remaining())
        PacketCodec::Refuse(QStringLiteral("the packet ends inside %1").arg(QLatin1String(what)));
}

quint8 ByteReader::U8(const char *what)
{
    return quint8(Unsigned(1, what));
}

quint16 ByteReader::U16(const char *what)
{
    return quint16(Unsigned(2, what));
}

quint32 ByteReader::U32(const char *what)
{
    return quint32(Unsigned(4, what));
}

quint64 ByteReader::U64(const char *what)
{
    return Unsigned(8, what);
}

quint64 ByteReader::Unsigned(int size, const char *what)
{
    Require(size, what);
    quint64 value = 0;
    for (int index = size - 1; index >= 0; --index)
        value = (value << 8) | static_cast<unsigned char>(bytes_[position_ + index]);
    position_ += size;
    return value;
}

QByteArray ByteReader::Bytes(qint64 count, const char *what)
{
    Require(count, what);
    const QByteArray run = bytes_.mid(position_, qsizetype(count));
    position_ += qsizetype(count);
    return run;
}

const char *ByteReader::View(qint64 count, const char *what)
{
    Require(count, what);
    const char *run = bytes_.constData() + position_;
    position_ += qsizetype(count);
    return run;
}

}  // namespace Catraca
