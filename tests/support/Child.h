#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QtGlobal>

namespace Catraca {

// A component of a window, found by the object name its layout file gives
// it: the windows keep their generated layout to themselves. A name that
// finds no component of that class, or more than one, stops the test with
// the name and the count, where a null or wrong pointer would crash later
// or silently test another component.
template <class T>
T *Child(const QObject *parent, const QString &name)
{
    const QList<T *> found = parent->findChildren<T *>(name);
    if (found.size() != 1)
        qFatal("%d components of class %s named \"%s\" in %s \"%s\"; the test needs exactly one", int(found.size()),
               T::staticMetaObject.className(), qUtf8Printable(name), parent->metaObject()->className(),
               qUtf8Printable(parent->objectName()));
    return found.first();
}

}  // namespace Catraca
