// Real message boxes. They are opened window-modal and answered through
// signals, so no nested event loop runs while one is on screen.
#pragma once

#include "ui/prompter.h"

#include <QPointer>
#include <QStringList>

class QWidget;

namespace morvane {

class MessageBoxPrompter : public Prompter {
public:
    explicit MessageBoxPrompter(QWidget* parent) : m_parent(parent) {}

    void inform(const QString& text) override;
    void confirm(const QString& text, std::function<void(bool ok)> answer) override;

private:
    QPointer<QWidget> m_parent;
    QStringList m_showing;  // texts on screen now: the same news is shown once
};

}  // namespace morvane
