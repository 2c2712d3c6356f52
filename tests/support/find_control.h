#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QtGlobal>

// A window's control by its design name and type: control<QPushButton>(window, "CmdStart").
// Controls are private to their windows and pages; tests reach them as a user's tools would,
// by name. A control that is not there (or not of that type) stops the test at once with its
// name, rather than as a null pointer somewhere later.
template <class T> T* control(const QObject* root, const char* name) {
    T* found = root ? root->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    if (!found)
        qFatal("no %s named \"%s\" under %s", T::staticMetaObject.className(), name,
               root ? qPrintable(root->objectName()) : "nothing");
    return found;
}
