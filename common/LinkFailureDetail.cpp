#include "LinkFailureDetail.h"

#include "ConnectionText.h"

#include <QMessageBox>

void LinkFailureDetail::addTo(QMessageBox& box, ZORVI::LinkFailure failure)
{
    if (failure != ZORVI::LinkFailure::None)
        // Translated like the connection's reasons, under the controller's name.
        box.setDetailedText(ZORVI::ConnectionText::linkReason(failure));
}
