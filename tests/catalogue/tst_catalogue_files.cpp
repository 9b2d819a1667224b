// Searching catalogue files on disk: failures to read, the fallback from the
// working directory's catalogue to the installed one, and the shipped file.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

#include "catalogue/catalogue_lookup.h"
#include "catalogue/search_key.h"
#include "catalogue/star_search.h"

using namespace morvane::catalogue;

Q_DECLARE_METATYPE(morvane::catalogue::SearchStatus)

namespace {

QByteArray record(const QByteArray& name, const QByteArray& coordinates) {
    return name.leftJustified(20, ' ') + QByteArray(27, '.') + coordinates + "\r\n";
}

const QByteArray kFirst = record("ERIYY", "04:12:09  -10:28");
const QByteArray kSecond = record("ERIYY", "11:22:33  +44:55");
const QByteArray kOther = record("PERBET", "03:08:10  +40:57");

// What stands at a candidate path: nothing, a directory, or a file with this
// content.
enum class Entry { Missing, Directory, File };

struct Candidate {
    Entry entry = Entry::Missing;
    QByteArray content;
};

bool create(const QString& path, const Candidate& candidate) {
    switch (candidate.entry) {
        case Entry::Missing:
            return true;
        case Entry::Directory:
            return QDir().mkpath(path);
        case Entry::File: {
            QFile file(path);
            return file.open(QIODevice::WriteOnly) &&
                   file.write(candidate.content) == candidate.content.size();
        }
    }
    return false;
}

std::filesystem::path toPath(const QString& path) {
    return path.toStdString();
}

QString hours(const StarFields& fields) {
    return QString::fromStdString(fields.raHours);
}

}  // namespace

Q_DECLARE_METATYPE(Candidate)

class TestCatalogueFiles : public QObject {
    Q_OBJECT

private slots:
    void reportsPermissionDenied();
    void triesCandidatesInOrder_data();
    void triesCandidatesInOrder();
    void looksInWorkingDirectoryFirst();
    void shippedCatalogue_data();
    void shippedCatalogue();
};

void TestCatalogueFiles::reportsPermissionDenied() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("star.dat");
    QVERIFY(create(path, {Entry::File, kFirst}));
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    QFile probe(path);
    if (probe.open(QIODevice::ReadOnly))
        QSKIP("file permissions do not bind this user");

    const SearchResult result = searchFile(toPath(path), searchKey("ERIYY"));
    QCOMPARE(result.status, SearchStatus::Unreadable);
    QCOMPARE(QString::fromStdString(result.reason), "Permission denied");
}

void TestCatalogueFiles::triesCandidatesInOrder_data() {
    QTest::addColumn<Candidate>("first");
    QTest::addColumn<Candidate>("second");
    QTest::addColumn<SearchStatus>("status");
    QTest::addColumn<QString>("raHours");
    QTest::addColumn<int>("answeredBy");  // candidate index, -1 for none
    QTest::addColumn<QStringList>("failures");

    const Candidate missing{};
    const Candidate directory{Entry::Directory, {}};
    QTest::newRow("first readable file answers")
        << Candidate{Entry::File, kFirst} << Candidate{Entry::File, kSecond} << SearchStatus::Found
        << "04" << 0 << QStringList{};
    QTest::newRow("missing first falls back to second")
        << missing << Candidate{Entry::File, kSecond} << SearchStatus::Found << "11" << 1
        << QStringList{"0: No such file or directory"};
    QTest::newRow("unreadable first falls back to second")
        << directory << Candidate{Entry::File, kSecond} << SearchStatus::Found << "11" << 1
        << QStringList{"0: Is a directory"};
    QTest::newRow("not found in a readable first file is the answer")
        << Candidate{Entry::File, kOther} << Candidate{Entry::File, kSecond}
        << SearchStatus::NotFound << "" << 0 << QStringList{};
    QTest::newRow("nothing readable names every file tried")
        << missing << directory << SearchStatus::Unreadable << "" << -1
        << QStringList{"0: No such file or directory", "1: Is a directory"};
}

void TestCatalogueFiles::triesCandidatesInOrder() {
    QFETCH(Candidate, first);
    QFETCH(Candidate, second);
    QFETCH(SearchStatus, status);
    QFETCH(QString, raHours);
    QFETCH(int, answeredBy);
    QFETCH(QStringList, failures);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::vector<std::filesystem::path> candidates{toPath(dir.filePath("0/star.dat")),
                                                        toPath(dir.filePath("1/star.dat"))};
    QVERIFY(QDir().mkpath(dir.filePath("0")) && QDir().mkpath(dir.filePath("1")));
    QVERIFY(create(dir.filePath("0/star.dat"), first));
    QVERIFY(create(dir.filePath("1/star.dat"), second));

    const CatalogueSearchResult result = searchCatalogue(candidates, searchKey("ERIYY"));
    QCOMPARE(result.status, status);
    QCOMPARE(hours(result.fields), raHours);
    QCOMPARE(result.answeredBy, answeredBy < 0 ? std::filesystem::path() : candidates[answeredBy]);
    QStringList reported;
    for (const ReadFailure& failure : result.failures) {
        const auto index = failure.path == candidates[0]   ? 0
                           : failure.path == candidates[1] ? 1
                                                           : -1;
        reported << QString("%1: %2").arg(index).arg(QString::fromStdString(failure.reason));
    }
    QCOMPARE(reported, failures);
}

void TestCatalogueFiles::looksInWorkingDirectoryFirst() {
    QTemporaryDir workDir;
    QTemporaryDir installDir;
    QVERIFY(workDir.isValid() && installDir.isValid());
    const QString installed = installDir.filePath("star.dat");
    QVERIFY(create(installed, {Entry::File, kSecond}));

    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workDir.path()));
    const auto candidates = catalogueCandidates(toPath(installed));
    const CatalogueSearchResult withoutLocal = searchCatalogue(candidates, searchKey("ERIYY"));
    QVERIFY(create(workDir.filePath("star.dat"), {Entry::File, kFirst}));
    const CatalogueSearchResult withLocal = searchCatalogue(candidates, searchKey("ERIYY"));
    QVERIFY(QDir::setCurrent(previous));

    QCOMPARE(hours(withoutLocal.fields), "11");
    QCOMPARE(withoutLocal.failures.size(), 1u);
    QCOMPARE(withoutLocal.failures[0].path, std::filesystem::path("star.dat"));
    QCOMPARE(hours(withLocal.fields), "04");
    QVERIFY(withLocal.failures.empty());
}

void TestCatalogueFiles::shippedCatalogue_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("YY Eri") << "ERIYY" << QStringList{"04", "12", "09", "-", "10", "28"};
    QTest::newRow("bet Per") << "PERBET" << QStringList{"03", "08", "10", "+", "40", "57"};
    QTest::newRow("mu. Eri") << "ERIMU" << QStringList{"04", "45", "30", "-", "03", "15"};
    QTest::newRow("last line") << "ANDV400" << QStringList{"23", "58", "58", "+", "40", "48"};
}

void TestCatalogueFiles::shippedCatalogue() {
    QFETCH(QString, typed);
    QFETCH(QStringList, fields);

    const SearchResult result =
        searchFile(MORVANE_SHIPPED_CATALOGUE, searchKey(typed.toStdString()));
    QCOMPARE(result.status, SearchStatus::Found);
    const StarFields& f = result.fields;
    QCOMPARE((QStringList{QString::fromStdString(f.raHours), QString::fromStdString(f.raMinutes),
                          QString::fromStdString(f.raSeconds), QString::fromStdString(f.decSign),
                          QString::fromStdString(f.decDegrees),
                          QString::fromStdString(f.decArcminutes)}),
             fields);
}

QTEST_APPLESS_MAIN(TestCatalogueFiles)
#include "tst_catalogue_files.moc"
