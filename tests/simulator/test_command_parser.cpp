// The simulated mount is a test tool; what the program's tests rely on is
// its reading of the byte stream: a well-formed command is a Command, a
// wrong byte Malformed, a command cut short Partial, so that the fault tests
// can tell a wrong or broken command from a right one.
#include "simulator/command_parser.h"

#include <QtTest>

using namespace morvane::sim;
using std::chrono::milliseconds;

class TestCommandParser : public QObject {
    Q_OBJECT
private slots:
    void splitsTheStream_data();
    void splitsTheStream();
};

void TestCommandParser::splitsTheStream_data() {
    QTest::addColumn<QByteArrayList>("pieces");  // each piece 100 ms after the last
    QTest::addColumn<QByteArray>("records");     // kind letter and bytes, per record
    const auto row = [](const char* name, QByteArrayList pieces, std::string_view records) {
        QTest::newRow(name) << pieces << QByteArray(records.data(), qsizetype(records.size()));
    };
    using namespace std::literals;
    row("back to back", {"ER0000,0000L"}, "C:E C:R0000,0000 C:L"sv);
    row("raw bytes", {QByteArray("T\x02H\x15\x05\x09\x03\x05\x18\x09\x00\x01", 12)},
        "C:T\x02 C:H\x15\x05\x09\x03\x05\x18\x09\x00\x01"sv);
    row("letter in RA", {"R3BZE"}, "M:R3BZ C:E"sv);
    row("wrong fixed byte", {"T\x01"}, "M:T\x01"sv);
    row("motor data", {QByteArray("P\x02\x10\x24\x01\x05\x00\x00", 8)},
        "M:P\x02\x10\x24\x01\x05\x00\x00"sv);
    row("cut short, then late", {"R3B", "E"}, "P:R3B C:E"sv);
    row("unknown lead byte", {"X"}, "U:X"sv);
}

void TestCommandParser::splitsTheStream() {
    QFETCH(QByteArrayList, pieces);
    QFETCH(QByteArray, records);
    CommandParser parser;
    QByteArray seen;
    const auto add = [&](const ParsedCommand& r) {
        seen += QByteArray(" ") + "CMPU"[int(r.kind)] + ':' + QByteArray::fromStdString(r.bytes);
    };
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        for (char byte : pieces[i]) {
            for (const auto& r : parser.feed(std::uint8_t(byte), milliseconds(100 * i))) {
                add(r);
            }
        }
    }
    if (auto partial = parser.flush()) {
        add(*partial);
    }
    QCOMPARE(seen.mid(1), records);
}

QTEST_APPLESS_MAIN(TestCommandParser)
#include "test_command_parser.moc"
