#pragma once

#include <QString>

namespace Catraca {

// One column of a data grid: the field it shows, its title and its width in
// pixels. A hidden column keeps its place but is not drawn.
struct TGridColumn {
    QString FieldName;
    QString Title;
    int Width = 64;
    bool Visible = true;
};

}  // namespace Catraca
