// The catalogue search: the 20-character key, the line-by-line search in
// whole and in pieces, and the fallback from the working directory's
// catalogue to the installed one.
#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sstream>

#include "catalogue/catalogue_lookup.h"
#include "catalogue/record_scanner.h"
#include "catalogue/search_key.h"
#include "catalogue/star_search.h"

using namespace morvane::catalogue;

namespace {

std::string toStd(const QByteArray& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

// A record: name padded to 20 characters, 27 filler columns, then the
// coordinate columns from 48 on ("04:12:09  -10:28").
QByteArray record(const QByteArray& name, const QByteArray& coordinates,
                  const QByteArray& filler = QByteArray(27, '.')) {
    return name + QByteArray(20 - QString::fromUtf8(name).size(), ' ') + filler + coordinates;
}

const QByteArray kYyEri = record("ERIYY", "04:12:09  -10:28");
const QByteArray kAlgol = record("PERBET", "03:08:10  +40:57");
const QByteArrayList kYyEriFields{"04", "12", "09", "-", "10", "28"};
const QByteArrayList kOther{"01", "02", "03", "+", "04", "05"};

QByteArrayList asList(const std::optional<StarFields>& f) {
    if (!f) {
        return {};
    }
    return {QByteArray::fromStdString(f->raHours),    QByteArray::fromStdString(f->raMinutes),
            QByteArray::fromStdString(f->raSeconds),  QByteArray::fromStdString(f->decSign),
            QByteArray::fromStdString(f->decDegrees), QByteArray::fromStdString(f->decArcminutes)};
}

}  // namespace

class TestCatalogue : public QObject {
    Q_OBJECT
private slots:
    void searchKey_data();
    void searchKey();
    void findsFirstMatchingLine_data();
    void findsFirstMatchingLine();
    void triesCandidatesInOrder();
};

void TestCatalogue::searchKey_data() {
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<QByteArray>("key");
    QTest::newRow("padded") << QByteArray("ERIYY") << QByteArray("ERIYY               ");
    QTest::newRow("leading spaces kept")
        << QByteArray("  ERIYY") << QByteArray("  ERIYY             ");
    QTest::newRow("cut at 20") << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXY")
                               << QByteArray("ABCDEFGHIJKLMNOPQRST");
    QTest::newRow("counted in characters")
        << QByteArray("é").repeated(25) << QByteArray("é").repeated(20);
    QTest::newRow("cut after a whole character")
        << QByteArray(19, 'A') + "€X" << QByteArray(19, 'A') + "€";
    QTest::newRow("an invalid byte is one character")
        << QByteArray("AB\xE2\x82") << QByteArray("AB\xE2\x82") + QByteArray(16, ' ');
}

void TestCatalogue::searchKey() {
    QFETCH(QByteArray, typed);
    QFETCH(QByteArray, key);
    QCOMPARE(QByteArray::fromStdString(morvane::catalogue::searchKey(toStd(typed))), key);
    // Written back into the box, the key must find the same line again.
    QCOMPARE(QByteArray::fromStdString(morvane::catalogue::searchKey(toStd(key))), key);
}

void TestCatalogue::findsFirstMatchingLine_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<QByteArrayList>("fields");
    const QByteArray catalogue = kAlgol + "\r\n" + kYyEri + "\r\n";
    const QByteArray other = record("ERIYY", "01:02:03  +04:05");  // kOther's fields
    QTest::newRow("found") << catalogue << QByteArray("ERIYY") << kYyEriFields;
    QTest::newRow("case counts") << catalogue << QByteArray("eriyy") << QByteArrayList{};
    QTest::newRow("leading spaces miss the plain name")
        << catalogue << QByteArray(" ERIYY") << QByteArrayList{};
    QTest::newRow("first of two equal names wins") << catalogue + other + "\r\n"
                                                   << QByteArray("ERIYY") << kYyEriFields;
    QTest::newRow("short line leaves fields short")
        << kYyEri.left(62) << QByteArray("ERIYY")
        << QByteArrayList{"04", "12", "09", "-", "10", "2"};
    // Each line end before the first match; the later one answers if it is missed.
    QTest::newRow("lone CR ends a line")
        << kAlgol + "\r" + kYyEri + "\n" + other << QByteArray("ERIYY") << kYyEriFields;
    QTest::newRow("lone LF ends a line")
        << kAlgol + "\n" + kYyEri + "\r" + other << QByteArray("ERIYY") << kYyEriFields;
    QTest::newRow("CR LF is one line end")
        << kAlgol + "\r\n" + other + "\r\n\r\n" + kYyEri << QByteArray("ERIYY") << kOther;
    QTest::newRow("multi-byte characters are one column each")
        << record("ERIYY", "04:12:09  -10:28", QByteArray("é").repeated(27)) << QByteArray("ERIYY")
        << kYyEriFields;
    QTest::newRow("name beyond ASCII")
        << kAlgol + "\r\n" + record("Ωμέγα", "01:02:03  +04:05") << QByteArray("Ωμέγα") << kOther;
    QTest::newRow("NUL in a name is not a space")
        << QByteArray("ERIYY\0", 6) + kYyEri.mid(6) << QByteArray("ERIYY") << QByteArrayList{};
    const QByteArray longLine(10 * 1024 * 1024, 'x');
    QTest::newRow("10 MB line then the match")
        << longLine + "\n" + kYyEri << QByteArray("ERIYY") << kYyEriFields;
    QTest::newRow("10 MB line that matches")
        << kYyEri + longLine + "\r\n" + other << QByteArray("ERIYY") << kYyEriFields;
}

void TestCatalogue::findsFirstMatchingLine() {
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, typed);
    QFETCH(QByteArrayList, fields);
    std::istringstream stream(toStd(content));
    QCOMPARE(asList(findStar(stream, toStd(typed))), fields);
    // Fed in small pieces of changing sizes, every line end and character
    // falls across a piece boundary somewhere, and lines end in the middle of
    // a piece too; the outcome must not change.
    RecordScanner scanner(morvane::catalogue::searchKey(toStd(typed)));
    qsizetype pieceSize = 0;
    for (qsizetype at = 0; at < content.size() && !scanner.matched(); at += pieceSize) {
        pieceSize = content.size() < 1024 * 1024 ? pieceSize % 7 + 1 : 4093;  // 1, 2, ... 7, 1, ...
        const QByteArray piece = content.mid(at, pieceSize);
        scanner.feed({piece.constData(), std::size_t(piece.size())});
    }
    scanner.finish();
    QCOMPARE(asList(scanner.match()), fields);
}

// The working directory's catalogue answers when it can be read, found or
// not; else the installed one; when none can be read, every file tried is
// named with the system's reason.
void TestCatalogue::triesCandidatesInOrder() {
    QTemporaryDir dir;
    const QString installed = dir.filePath("installed/star.dat");
    QVERIFY(QDir().mkpath(dir.filePath("installed")) && QDir().mkpath(dir.filePath("work")));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.filePath("work")));
    const auto candidates = catalogueCandidates(installed.toStdString());
    const auto search = [&] { return searchCatalogue(candidates, "ERIYY"); };
    const auto write = [](const QString& path, const QByteArray& content) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    };

    QVERIFY(QDir().mkdir("star.dat"));  // a directory: opens, but cannot be read
    const CatalogueSearchResult none = search();
    QVERIFY(QDir().rmdir("star.dat"));
    QVERIFY(write(installed, record("ERIYY", "01:02:03  +04:05")));
    const CatalogueSearchResult fallback = search();
    QVERIFY(write("star.dat", kAlgol));
    const CatalogueSearchResult own = search();
    QVERIFY(QDir::setCurrent(previous));

    QCOMPARE(none.status, SearchStatus::Unreadable);
    QCOMPARE(none.failures.size(), std::size_t(2));
    QCOMPARE(none.failures[0].reason, std::string("Is a directory"));
    QCOMPARE(none.failures[1].path.string(), installed.toStdString());
    QCOMPARE(none.failures[1].reason, std::string("No such file or directory"));
    QCOMPARE(asList(fallback.fields), kOther);
    QCOMPARE(fallback.failures[0].path, std::filesystem::path("star.dat"));
    QCOMPARE(own.status, SearchStatus::NotFound);  // not looked for elsewhere
}

QTEST_APPLESS_MAIN(TestCatalogue)
#include "test_catalogue.moc"
