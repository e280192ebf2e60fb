#pragma once

// What the settings window tests wait for instead of sleeping: the window's
// write cycle and its port-list check, both run by the window's own timers.

#include "WindowChild.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

// While connected, the write cycle keeps Disconnect disabled from a change
// until the change is written (the write delay after the last change, then
// the exchange with the device). Once this is false, nothing is left to be
// written: a change the window wrongly stored would have gone out by then.
inline bool isWritePending(QWidget& window)
{
    return child<QTabWidget>(window, "m_tabControl")->isEnabled()
        && !child<QPushButton>(window, "m_btnDisconnect")->isEnabled();
}

// The window checks the port list once a second. Spied on from some moment
// (QSignalSpy on its timeout), this many checks prove that a whole interval
// has passed with the event loop running, and so that every timer that was
// due within it has fired too (Qt fires due timers in the order of their
// time-outs): the write cycle's, the keep-alive's.
constexpr int PORT_LIST_CHECKS_FOR_A_WHOLE_INTERVAL = 2;
// Generous: two intervals of one second on a loaded machine.
constexpr int PORT_LIST_CHECKS_TIMEOUT_MS = 10000;

inline QTimer* portListTimer(QWidget& window)
{
    return child<QTimer>(window, "portListTimer");
}
