#pragma once

#include <QString>
#include <exception>

#include "platform/MessageBoxes.h"

namespace keldara::shell {

// The text of an error for the user: a data-access error's own description, otherwise what
// the exception says.
QString errorDescription(const std::exception& error);

// Reports a failed window procedure in a message box titled "Vostrel" with an OK button:
// "An Error occured in [frmMain] (Sub) <procedure> : Line <line> - <description>".
void showProcedureError(platform::MessageBoxes& messages, const QString& procedure, int line,
                        const QString& description);
// The same for a procedure without line numbers: "... (Sub) <procedure> : <description>".
void showProcedureError(platform::MessageBoxes& messages, const QString& procedure,
                        const QString& description);

}  // namespace keldara::shell
