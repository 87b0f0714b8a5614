#include "about/cSobre.h"

#include "about/uFrmSobre.h"

#include <memory>

namespace Catraca {

TSobre::TSobre(QObject *owner)
    : QObject(owner)
{
}

void TSobre::ExecutaAutor()
{
    auto window = std::make_unique<T_FrmAutor>();
    window->ShowAuthor(*this);
    window->exec();
}

}  // namespace Catraca
