// Stands in for message boxes in tests: remembers what the window said and
// answers confirmations as the test decides.
#pragma once

#include "ui/prompter.h"

#include <QStringList>

namespace morvane::testing {

class RecordingPrompter : public Prompter {
public:
    void inform(const QString& text) override { messages << text; }

    void confirm(const QString& text, std::function<void(bool ok)> answer) override {
        questions << text;
        answer(answerOk);
    }

    QStringList messages;
    QStringList questions;
    bool answerOk = true;
};

}  // namespace morvane::testing
