// Runs a test in a folder of its own, so that the working directory's
// star.dat is the one the test puts there (or none).
#pragma once

#include <QDir>
#include <QTemporaryDir>

namespace morvane::testing {

class InFolder {
public:
    InFolder() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~InFolder() { QDir::setCurrent(m_previous); }
    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

}  // namespace morvane::testing
