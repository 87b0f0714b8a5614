#pragma once

#include <QByteArray>
#include <QString>

namespace Catraca {

// Reads little-endian numbers and byte runs from a packet, checking every
// read against the bytes that remain; running past the end raises the
// EDBClient error of a truncated packet instead of reading outside the data.
class ByteReader {
public:
    explicit ByteReader(const QByteArray &bytes, qsizetype start = 0);

    qsizetype Position() const { return position_; }
    qsizetype Remaining() const { return bytes_.size() - position_; }
    void Seek(qsizetype position);

    // Fails unless count bytes remain; what names the part being read.
    void Require(qint64 count, const char *what) const;

    quint8 U8(const char *what);
    quint16 U16(const char *what);
    quint32 U32(const char *what);
    qint32 I32(const char *what) { return qint32(U32(what)); }
    quint64 U64(const char *what);
    // Unsigned little-endian number of 1, 2, 4 or 8 bytes.
    quint64 Unsigned(int size, const char *what);
    QByteArray Bytes(qint64 count, const char *what);
    // The next count bytes in place, valid while the packet lives; for runs
    // that are only looked at, such as a record's flags.
    const char *View(qint64 count, const char *what);

private:
    const QByteArray &bytes_;
    qsizetype position_;
};

}  // namespace Catraca
