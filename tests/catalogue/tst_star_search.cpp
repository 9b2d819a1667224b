// The search key and the line-by-line search over what a catalogue holds.
#include <QByteArrayList>
#include <QTest>

#include <sstream>
#include <string>

#include "catalogue/record_scanner.h"
#include "catalogue/search_key.h"
#include "catalogue/star_search.h"

using namespace morvane::catalogue;

namespace {

std::string toStd(const QByteArray& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

QByteArray fromStd(const std::string& text) {
    return {text.data(), qsizetype(text.size())};
}

QByteArray repeated(const char* piece, int times) {
    return QByteArray(piece).repeated(times);
}

// A record: name padded to 20 characters (every name here lies in the Basic
// Multilingual Plane), 27 filler columns, then the coordinate columns from 48
// on ("04:12:09  -10:28").
QByteArray record(const QByteArray& name, const QByteArray& coordinates,
                  const QByteArray& filler = QByteArray(27, '.')) {
    return name + QByteArray(20 - QString::fromUtf8(name).size(), ' ') + filler + coordinates;
}

const QByteArray kYyEri = record("ERIYY", "04:12:09  -10:28");
const QByteArray kAlgol = record("PERBET", "03:08:10  +40:57");
const QByteArrayList kYyEriFields{"04", "12", "09", "-", "10", "28"};
const QByteArrayList kNotFound{};

QByteArrayList asList(const std::optional<StarFields>& fields) {
    if (!fields)
        return {};
    return {fromStd(fields->raHours), fromStd(fields->raMinutes),  fromStd(fields->raSeconds),
            fromStd(fields->decSign), fromStd(fields->decDegrees), fromStd(fields->decArcminutes)};
}

}  // namespace

class TestStarSearch : public QObject {
    Q_OBJECT

private slots:
    void searchKeyHasTwentyCharacters_data();
    void searchKeyHasTwentyCharacters();
    void findsFirstMatchingLine_data();
    void findsFirstMatchingLine();
};

void TestStarSearch::searchKeyHasTwentyCharacters_data() {
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<QByteArray>("key");

    QTest::newRow("initial key") << QByteArray("ERIYY") << QByteArray("ERIYY               ");
    QTest::newRow("empty") << QByteArray() << QByteArray(20, ' ');
    QTest::newRow("leading spaces kept")
        << QByteArray("  ERIYY") << QByteArray("  ERIYY             ");
    QTest::newRow("25 characters cut")
        << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXY") << QByteArray("ABCDEFGHIJKLMNOPQRST");
    QTest::newRow("two-byte letters padded by character")
        << QByteArray("Ωμέγα") << QByteArray("Ωμέγα") + QByteArray(15, ' ');
    QTest::newRow("two-byte letters cut by character") << repeated("é", 25) << repeated("é", 20);
    QTest::newRow("four-byte characters cut by character")
        << repeated("😀", 21) << repeated("😀", 20);
    QTest::newRow("cut falls after a multi-byte character")
        << QByteArray(19, 'A') + "€X" << QByteArray(19, 'A') + "€";
    QTest::newRow("invalid byte is one character")
        << QByteArray("\xFF") << QByteArray("\xFF") + QByteArray(19, ' ');
    QTest::newRow("overlong form is one character per byte")
        << QByteArray("\xC0\x80") << QByteArray("\xC0\x80") + QByteArray(18, ' ');
    QTest::newRow("surrogate is one character per byte")
        << QByteArray("\xED\xA0\x80") << QByteArray("\xED\xA0\x80") + QByteArray(17, ' ');
    QTest::newRow("beyond U+10FFFF is one character per byte")
        << QByteArray("\xF4\x90\x80\x80") << QByteArray("\xF4\x90\x80\x80") + QByteArray(16, ' ');
    QTest::newRow("truncated sequence is one character per byte")
        << QByteArray("AB\xE2\x82") << QByteArray("AB\xE2\x82") + QByteArray(16, ' ');
}

void TestStarSearch::searchKeyHasTwentyCharacters() {
    QFETCH(QByteArray, typed);
    QFETCH(QByteArray, key);

    QCOMPARE(fromStd(searchKey(toStd(typed))), key);
    // The key is written back into the search box; searching again must
    // look for the same line.
    QCOMPARE(fromStd(searchKey(toStd(key))), key);
}

void TestStarSearch::findsFirstMatchingLine_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<QByteArrayList>("fields");

    const QByteArray crlf = "\r\n";
    const QByteArray catalogue = kAlgol + crlf + kYyEri + crlf;

    QTest::newRow("initial key") << catalogue << QByteArray("ERIYY") << kYyEriFields;
    QTest::newRow("lower-case key, upper-case name")
        << catalogue << QByteArray("eriyy") << kNotFound;
    QTest::newRow("upper-case key, lower-case name")
        << record("eriyy", "04:12:09  -10:28") + crlf << QByteArray("ERIYY") << kNotFound;
    QTest::newRow("leading spaces find the indented name")
        << catalogue + record("  ERIYY", "01:02:03  +04:05") << QByteArray("  ERIYY")
        << QByteArrayList{"01", "02", "03", "+", "04", "05"};
    QTest::newRow("leading spaces miss the plain name")
        << catalogue << QByteArray(" ERIYY") << kNotFound;
    QTest::newRow("trailing spaces make no difference")
        << catalogue << QByteArray("ERIYY        ") << kYyEriFields;
    QTest::newRow("25-character key matches on its first 20")
        << record("ABCDEFGHIJKLMNOPQRST", "01:02:03  +04:05")
        << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXY")
        << QByteArrayList{"01", "02", "03", "+", "04", "05"};
    QTest::newRow("first of two equal names wins")
        << catalogue + record("ERIYY", "11:22:33  +44:55") << QByteArray("ERIYY") << kYyEriFields;

    QTest::newRow("60-character line leaves arcminutes empty")
        << kYyEri.left(60) << QByteArray("ERIYY")
        << QByteArrayList{"04", "12", "09", "-", "10", ""};
    QTest::newRow("62-character line gives part of arcminutes")
        << kYyEri.left(62) + crlf << QByteArray("ERIYY")
        << QByteArrayList{"04", "12", "09", "-", "10", "2"};
    QTest::newRow("20-character line gives six empty fields")
        << kYyEri.left(20) + crlf << QByteArray("ERIYY") << QByteArrayList{"", "", "", "", "", ""};
    QTest::newRow("malformed fields copied as they stand")
        << record("ERIYY", "ab?cd!ef..X g?hi") << QByteArray("ERIYY")
        << QByteArrayList{"ab", "cd", "ef", "X", " g", "hi"};
    QTest::newRow("empty and short lines skipped")
        << crlf + crlf + "ERIYY" + crlf + kYyEri.left(19) + crlf + "\n\r" + kYyEri
        << QByteArray("ERIYY") << kYyEriFields;
    QTest::newRow("empty file") << QByteArray() << QByteArray("ERIYY") << kNotFound;
    QTest::newRow("no line matches") << catalogue << QByteArray("ORIDEL") << kNotFound;

    QTest::newRow("lone CR ends lines")
        << kAlgol + "\r" + kYyEri + "\r" << QByteArray("ERIYY") << kYyEriFields;
    QTest::newRow("lone LF ends lines") << kAlgol + "\n" + kYyEri + "\n"
                                        << QByteArray("ERIYY") << kYyEriFields;
    // A line end mistaken for content would put it before the name.
    QTest::newRow("mixed line ends") << kAlgol + "\r\n" + kAlgol + "\r" + kAlgol + "\n" + kYyEri
                                     << QByteArray("ERIYY") << kYyEriFields;
    QTest::newRow("CR LF is one line end, not an empty line then content")
        << kAlgol + "\r\n" + record("ERIYY", "01:02:03  +04:05") + "\r\n\r\n" + kYyEri
        << QByteArray("ERIYY") << QByteArrayList{"01", "02", "03", "+", "04", "05"};
    QTest::newRow("last line without line end")
        << kAlgol + crlf + kYyEri << QByteArray("ERIYY") << kYyEriFields;

    QTest::newRow("NUL bytes in unread columns")
        << record("ERIYY", "04:12:09  -10:28", QByteArray(27, '\0')) << QByteArray("ERIYY")
        << kYyEriFields;
    QTest::newRow("NUL bytes in a field copied")
        << record("ERIYY", QByteArray("0\0:12:09  -10:28", 16)) << QByteArray("ERIYY")
        << QByteArrayList{QByteArray("0\0", 2), "12", "09", "-", "10", "28"};
    QTest::newRow("NUL in a name is not a space")
        << QByteArray("ERIYY\0", 6) + kYyEri.mid(6) << QByteArray("ERIYY") << kNotFound;
    QTest::newRow("two-byte characters are one column each")
        << record("ERIYY", "04:12:09  -10:28", repeated("é", 27)) << QByteArray("ERIYY")
        << kYyEriFields;
    QTest::newRow("invalid bytes are one column each")
        << record("ERIYY", "04:12:09  -10:28", QByteArray(27, '\xFF')) << QByteArray("ERIYY")
        << kYyEriFields;
    QTest::newRow("truncated sequence is one column per byte")
        << record("ERIYY", "04:12:09  -10:28", "\xE2\x82" + QByteArray(25, '.'))
        << QByteArray("ERIYY") << kYyEriFields;
    QTest::newRow("multi-byte characters in fields")
        << record("ERIYY", "é°:12:09  −10:28") << QByteArray("ERIYY")
        << QByteArrayList{"é°", "12", "09", "−", "10", "28"};
    QTest::newRow("name beyond ASCII")
        << kAlgol + crlf + record("Ωμέγα", "01:02:03  +04:05") << QByteArray("Ωμέγα")
        << QByteArrayList{"01", "02", "03", "+", "04", "05"};
    // The key's bytes are a prefix of the line, but its 20th character is a
    // stray byte and the line's is a whole euro sign.
    QTest::newRow("stray lead byte in key against a whole character")
        << QByteArray(19, 'A') + "€" + kYyEri.mid(20) << QByteArray(19, 'A') + "\xE2" << kNotFound;

    const QByteArray longLine(10 * 1024 * 1024, 'x');
    QTest::newRow("10 MB line then the match")
        << longLine + "\n" + kYyEri << QByteArray("ERIYY") << kYyEriFields;
    QTest::newRow("10 MB line that matches")
        << kYyEri + longLine + "\r\n" + record("ERIYY", "11:22:33  +44:55") << QByteArray("ERIYY")
        << kYyEriFields;
    QTest::newRow("10 MB line without end") << longLine << QByteArray("ERIYY") << kNotFound;
}

void TestStarSearch::findsFirstMatchingLine() {
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, typed);
    QFETCH(QByteArrayList, fields);

    std::istringstream stream(toStd(content));
    QCOMPARE(asList(findStar(stream, toStd(typed))), fields);

    // Fed in small pieces, every line end and every character falls across a
    // piece boundary somewhere; the outcome must not change.
    RecordScanner scanner(searchKey(toStd(typed)));
    const qsizetype pieceSize = content.size() < 1024 * 1024 ? 1 : 4093;
    for (qsizetype at = 0; at < content.size() && !scanner.matched(); at += pieceSize) {
        const QByteArray piece = content.mid(at, pieceSize);
        scanner.feed({piece.constData(), std::size_t(piece.size())});
    }
    scanner.finish();
    QCOMPARE(asList(scanner.match()), fields);
}

QTEST_APPLESS_MAIN(TestStarSearch)
#include "tst_star_search.moc"
