// How the window speaks to the user in message boxes. The real one shows
// window-modal boxes without a nested event loop; tests put in their own.
#pragma once

#include <QString>
#include <functional>

namespace morvane {

class Prompter {
public:
    virtual ~Prompter() = default;

    // Tells the user something (a failure, a search that found nothing).
    virtual void inform(const QString& text) = 0;

    // Asks OK / Cancel with OK the default; `answer` runs once with true only
    // for OK. Closing the box counts as Cancel.
    virtual void confirm(const QString& text, std::function<void(bool ok)> answer) = 0;
};

}  // namespace morvane
