// The program's entry into the window system: the application (title, task bar button), the
// main window built from the program's layout, and the message loop. No windows.h here: the
// entry routine includes this header only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/form.h"

namespace platform::win32 {

// Makes the form that handles the main window's events, once the window and its controls exist.
using FormFactory = std::function<std::unique_ptr<FormEvents>(FormParts&, const Services&)>;

class Application {
public:
    // Initialises the common controls and reads the program's own path.
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Labels the task bar button and captions plain notices and the error box.
    void setTitle(const std::string& title);

    // Creates the main window and its controls from the layout (not shown), makes the form
    // through the factory and runs its FormCreate. The layout must outlive the application.
    void createForm(const FormLayout& layout, const FormFactory& factory);

    // Shows the main window and dispatches messages until the quit request is taken; then
    // destroys the window (FormDestroy). An exception from a handler is shown with
    // showException and the loop goes on.
    void run();

    // The system's message box with the application title, the stop icon and "OK"; the text
    // gets the period rule.
    void showException(const std::string& message);

    // The entry routine's rules in one: the title, the form, the loop; an exception thrown by
    // any of them is shown with showException and ends the run.
    void runMainForm(const std::string& title, const FormLayout& layout,
                     const FormFactory& factory);

    // The error box for an exception caught outside the application's own rules (its making
    // failed): the text of the exception being handled, under `title`.
    static void showUncaught(const std::string& title) noexcept;

    // The window procedure reaches the state through it.
    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace platform::win32
