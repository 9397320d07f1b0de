#pragma once
// The stand-in client's own controls over its toolkit: message boxes handed to a test or a
// headless run instead of being shown. For the demo client, tests and tools; a plug-in never
// sees it. Defined in toolkit/messagebox.cpp.

#include "hosttoolkit.h"

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace standin {

// What a message box was asked to show.
struct MessageRecord
{
    enum Kind
    {
        Information,
        Warning,
        ServerMessage
    };
    Kind kind = Information;
    QString title;
    QString text;
    int serverType = -1; // for ServerMessage: the DVK::EServerCallbackMsgType
    bool success = false;
};

// Gets what a box would have shown and returns the button to report.
typedef std::function<int(const MessageRecord&)> MessageInterceptor;

// While an interceptor is set, no box is shown (WB::CMessageBox's and the client centre's server
// messages alike): the interceptor answers instead. An empty one shows boxes again.
HOST_EXPORT void setMessageInterceptor(MessageInterceptor interceptor);

// Shows record (or hands it to the interceptor) and puts the button pressed in *result.
// Returns false only when called off the GUI thread: the box is then queued to the GUI thread
// and *result is NoButton.
HOST_EXPORT bool dispatchMessage(QWidget* parent, const MessageRecord& record, QMessageBox::StandardButtons buttons,
                                 QMessageBox::StandardButton defaultButton, int* result);

} // namespace standin
