// SIGINT and SIGTERM turned into a Qt signal, so the program can end through
// its event loop and clean up (the device link) instead of dying mid-write.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace morvane::sim {

class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    bool install(QString* error = nullptr);

signals:
    void received(int signalNumber);

private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace morvane::sim
