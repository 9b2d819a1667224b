#include "ui/message_box_prompter.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace morvane {

void MessageBoxPrompter::inform(const QString& text) {
    if (m_showing.contains(text)) {
        return;
    }
    m_showing << text;
    auto* box = new QMessageBox(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(),
                                text, QMessageBox::Ok, m_parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box, [this, text] { m_showing.removeOne(text); });
    box->open();
}

void MessageBoxPrompter::confirm(const QString& text, std::function<void(bool ok)> answer) {
    auto* box = new QMessageBox(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(),
                                text, QMessageBox::Ok | QMessageBox::Cancel, m_parent);
    box->setDefaultButton(QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box, [answer = std::move(answer)](int result) {
        answer(result == QMessageBox::Ok);
    });
    box->open();
}

}  // namespace morvane
