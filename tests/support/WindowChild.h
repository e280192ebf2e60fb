#pragma once

// The window tests reach widgets by their object names, as the forms name
// them; a name that is not there ends the test at once.

#include <QAnyStringView>
#include <QMainWindow>
#include <QStatusBar>
#include <QString>
#include <QWidget>
#include <QtGlobal>

template <typename T>
T* child(const QWidget& window, QAnyStringView name)
{
    T* widget = window.findChild<T*>(name.toString());
    if (!widget)
        qFatal("no widget %s", qPrintable(name.toString()));
    return widget;
}

// What the window's status bar says now.
inline QString statusText(QMainWindow& window)
{
    return window.statusBar()->currentMessage();
}
