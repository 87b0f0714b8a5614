#pragma once

#include "cache/table/ClientDataSet.h"

#include <QByteArray>
#include <memory>

namespace Catraca {

// The release cache: the client table cdsEmulador with its declared columns,
// opened on its empty design-time content.
class ReleaseCache {
public:
    ReleaseCache();

    TClientDataSet &Table() { return cdsEmulador; }

    // The 137-byte binary packet of the empty cache with its three columns.
    static QByteArray DesignTimePacket();
    // The program's folder followed by "data.cds".
    static QString FilePath();

    TClientDataSet cdsEmulador{QStringLiteral("cdsEmulador")};
    TAutoIncField *cdsEmuladorID;
    TStringField *cdsEmuladorCOD_BARRA;
    TStringField *cdsEmuladorEVENTO;
};

}  // namespace Catraca
