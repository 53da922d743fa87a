// How the console reports a failure of its environment to the operator: a
// modal box titled "ERROR" with an OK button (or, for a notice, one that
// blocks nobody). The window installs one that shows real boxes; tests
// install one that records the texts.
#pragma once

#include <string>

namespace quillet {

class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    // Shows `text` (UTF-8) and returns when the operator has closed the box.
    // Callable from any thread; a listener thread waits until it is closed.
    virtual void ShowError(const std::string& text) = 0;
    // Shows `text` (UTF-8) in a box titled "ERROR" that waits for nobody:
    // returns at once, and the box stays until the operator closes it.
    // Callable from any thread, under any lock of the caller's.
    virtual void ShowNotice(const std::string& text) = 0;
};

}  // namespace quillet
