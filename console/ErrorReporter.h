// How the console reports a failure of its environment to the operator: a
// modal box titled "ERROR" with an OK button. The window installs one that
// shows real boxes; tests install one that records the texts.
#pragma once

#include <string>

namespace quillet {

class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    // Shows `text` (UTF-8) and returns when the operator has closed the box.
    // Callable from any thread; a listener thread waits until it is closed.
    virtual void ShowError(const std::string& text) = 0;
    // The toolkit's own report of a text that is not a number, e.g.
    // "'1a' is not a valid integer value". GUI thread only.
    virtual void ShowConversionError(const std::string& text) = 0;
};

}  // namespace quillet
