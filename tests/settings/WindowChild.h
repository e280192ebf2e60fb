#pragma once

// The settings window tests reach its widgets by their object names, as the
// form names them; a name that is not there ends the test at once.

#include <QAnyStringView>
#include <QString>
#include <QWidget>
#include <QtGlobal>

template <typename T>
T* child(QWidget& window, QAnyStringView name)
{
    T* widget = window.findChild<T*>(name.toString());
    if (!widget)
        qFatal("no widget %s", qPrintable(name.toString()));
    return widget;
}
