#pragma once

#include "LinkFailure.h"

class QMessageBox;

// Why an exchange with the device failed, as a message box's detailed text:
// the box keeps its own wording, and the user (or the support the user
// calls) can open the details to read what failed on the line.
class LinkFailureDetail {
public:
    // Nothing for LinkFailure::None.
    static void addTo(QMessageBox& box, ZORVI::LinkFailure failure);
};
