#include "cache/ReleaseCache.h"

#include "cache/base/Platform.h"

#include <array>

namespace Catraca {

namespace {

// The empty cache as the window description carries it: the binary packet
// of a table with the columns ID, COD_BARRA and EVENTO, no rows, and the
// counter of ID at 1.
constexpr std::array<unsigned char, 137> kDesignTimePacket = {
    0x96, 0x19, 0xE0, 0xBD,                          // magic
    0x01, 0x00, 0x00, 0x00,                          // header field
    0x18, 0x00, 0x00, 0x00,                          // header length 24
    0x03, 0x00,                                      // 3 columns
    0x00, 0x00, 0x00, 0x00,                          // 0 rows
    0x03, 0x00, 0x00, 0x00,                          // header field
    0x89, 0x00,                                      // 137 bytes before the rows
    0x02, 'I', 'D',                                  // column ID
    0x04, 0x00, 0x01, 0x00,                          //   signed integer, 4 bytes
    0x02, 0x00,                                      //   read-only
    0x01, 0x00,                                      //   1 attribute
    0x07, 'S', 'U', 'B', 'T', 'Y', 'P', 'E',         //   SUBTYPE
    0x02, 0x00, 0x49, 0x00,                          //   8-bit string, 2-byte length
    0x08, 0x00, 'A', 'u', 't', 'o', 'i', 'n', 'c', 0x00,
    0x09, 'C', 'O', 'D', '_', 'B', 'A', 'R', 'R', 'A',  // column COD_BARRA
    0x01, 0x00, 0x49, 0x00,                          //   8-bit string, 1-byte length
    0x00, 0x00,                                      //   no flags
    0x01, 0x00,                                      //   1 attribute
    0x05, 'W', 'I', 'D', 'T', 'H',                   //   WIDTH
    0x02, 0x00, 0x02, 0x00,                          //   unsigned, 2 bytes
    0x0A, 0x00,                                      //   10
    0x06, 'E', 'V', 'E', 'N', 'T', 'O',              // column EVENTO
    0x01, 0x00, 0x49, 0x00,
    0x00, 0x00,
    0x01, 0x00,
    0x05, 'W', 'I', 'D', 'T', 'H',
    0x02, 0x00, 0x02, 0x00,
    0x01, 0x00,                                      //   1
    0x01, 0x00,                                      // 1 table attribute
    0x0C, 'A', 'U', 'T', 'O', 'I', 'N', 'C', 'V', 'A', 'L', 'U', 'E',
    0x04, 0x00, 0x01, 0x00,                          //   signed integer, 4 bytes
    0x01, 0x00, 0x00, 0x00,                          //   next ID: 1
};

}  // namespace

ReleaseCache::ReleaseCache()
{
    cdsEmuladorID = cdsEmulador.DeclareField<TAutoIncField>(QStringLiteral("ID"));
    cdsEmuladorID->SetReadOnly(true);
    cdsEmuladorCOD_BARRA = cdsEmulador.DeclareField<TStringField>(QStringLiteral("COD_BARRA"), 10);
    cdsEmuladorEVENTO = cdsEmulador.DeclareField<TStringField>(QStringLiteral("EVENTO"), 1);
    cdsEmulador.SetHeldPacket(DesignTimePacket());
    cdsEmulador.Open();
}

QByteArray ReleaseCache::DesignTimePacket()
{
    return QByteArray(reinterpret_cast<const char *>(kDesignTimePacket.data()), qsizetype(kDesignTimePacket.size()));
}

QString ReleaseCache::FilePath()
{
    return Platform::ProgramFolder() + QStringLiteral("data.cds");
}

}  // namespace Catraca
