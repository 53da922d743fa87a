// Error boxes shown with the toolkit: modal, titled "ERROR", OK only. A call
// from a listener thread is carried out on the GUI thread and waits there
// until the operator has closed the box.
#pragma once

#include <atomic>

#include "console/ErrorReporter.h"

namespace quillet {

class MessageBoxReporter : public ErrorReporter {
public:
    void ShowError(const std::string& text) override;
    void ShowConversionError(const std::string& text) override;
    // Once the window is closing, boxes from other threads are dropped, so a
    // listener never holds up the shutdown waiting for one.
    void SetClosing() { closing_ = true; }

private:
    std::atomic<bool> closing_{false};
};

}  // namespace quillet
