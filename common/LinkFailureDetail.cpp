#include "LinkFailureDetail.h"

#include "Control.h"

#include <QCoreApplication>
#include <QMessageBox>

void LinkFailureDetail::addTo(QMessageBox& box, ZORVI::LinkFailure failure)
{
    if (failure != ZORVI::LinkFailure::None)
        // Translated like the connection's reasons, under the controller's name.
        box.setDetailedText(
            QCoreApplication::translate("ZORVI::Control", ZORVI::Control::describe(failure)));
}
