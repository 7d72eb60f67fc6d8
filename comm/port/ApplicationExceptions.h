#pragma once
// The application's exception handler: where the port component reports exceptions that no
// caller can receive (those raised by event handlers inside the notification window, and a
// failed open while a stored form is loaded). A program sets it once, on its main thread;
// the Qt program shows a message box. The default writes the message to standard error.
//
// The main thread is the thread that set the handler; until a handler is set, the thread
// that created the first port component.

#include <exception>
#include <functional>
#include <string>

namespace apd {

using ApplicationExceptionHandler = std::function<void(std::exception_ptr error)>;

// Sets the handler (empty: the default) and makes the calling thread the main thread.
void SetApplicationExceptionHandler(ApplicationExceptionHandler handler);

// Passes the exception to the handler; an exception the handler itself raises is written to
// standard error.
void HandleApplicationException(const std::exception_ptr& error);

// The message of an exception: what() of a standard exception, else "Unknown exception".
std::string ExceptionMessage(const std::exception_ptr& error);

// True on the main thread.
bool IsMainThread();

// Makes the calling thread the main thread unless one is known already.
void NoteMainThreadCandidate();

} // namespace apd
