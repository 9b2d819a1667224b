#include "simulator/command_meaning.h"
#include "simulator/command_parser.h"

#include <QtTest>

using namespace morvane::sim;
using namespace std::chrono_literals;

namespace {

QString kindName(CommandKind kind) {
    switch (kind) {
        case CommandKind::Command:
            return QStringLiteral("Command");
        case CommandKind::Malformed:
            return QStringLiteral("Malformed");
        case CommandKind::Partial:
            return QStringLiteral("Partial");
        case CommandKind::Unknown:
            return QStringLiteral("Unknown");
    }
    return {};
}

// "Partial 52 33 42": enough to tell records apart in a stream.
QString summary(const ParsedCommand& command) {
    return kindName(command.kind) + ' ' + QString::fromStdString(hexBytes(command.bytes));
}

std::vector<ParsedCommand> feedAll(CommandParser& parser, const QByteArray& bytes,
                                   std::chrono::milliseconds time) {
    std::vector<ParsedCommand> records;
    for (char byte : bytes) {
        for (auto& record : parser.feed(std::uint8_t(byte), time)) {
            records.push_back(std::move(record));
        }
    }
    return records;
}

}  // namespace

class CommandParserTest : public QObject {
    Q_OBJECT

private slots:
    void readsOneCommand_data();
    void readsOneCommand();
    void splitsTheStream_data();
    void splitsTheStream();
    void givesUpAfterTheQuietGap();
};

void CommandParserTest::readsOneCommand_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("meaning");

    const auto row = [](const char* name, QByteArray bytes, const char* kind, const char* meaning) {
        QTest::newRow(name) << bytes << QString::fromLatin1(kind) << QString::fromUtf8(meaning);
    };
    row("position", "E", "Command", "position query");
    row("status", "L", "Command", "goto status query");
    row("goto", "R3B79,FC2C", "Command", "goto RA 3B79 (05:34:32) Dec FC2C (-05d23')");
    row("sync", "S34AB,12CE", "Command", "sync RA 34AB (04:56:15) Dec 12CE (+26d27')");
    row("home", "B0000,0000", "Command", "home goto RA 0000 (00:00:00) Dec 0000 (+00d00')");
    row("24 hours", "R10000,0000", "Command",
        "goto RA 10000 (taken as 0000, 00:00:00) Dec 0000 (+00d00')");
    row("minus 1 hour", "RFFFFFFF555,FFFD", "Command",
        "goto RA FFFFFFF555 (taken as F555, 23:00:00) Dec FFFD (-00d01')");
    row("clock", QByteArray("H\x15\x05\x09\x03\x05\x18\x09\x00\x01", 10), "Command",
        "set clock 21:05:09 2024-03-05 (fixed 09 00 01)");
    row("clock at midnight", QByteArray("H\x00\x00\x00\x01\x01\x00\x09\x00\x01", 10), "Command",
        "set clock 00:00:00 2000-01-01 (fixed 09 00 01)");
    row("tracking on", QByteArray("T\x02", 2), "Command", "tracking on");
    row("tracking off", QByteArray("T\x00", 2), "Command", "tracking off");
    row("slow goto RA", QByteArray("P\x04\x10\x17\x3B\x78\xFC\x00", 8), "Command",
        "motor 16 slow goto to 3B78FC");
    row("move positive", QByteArray("P\x02\x10\x24\x01\x00\x00\x00", 8), "Command",
        "motor 16 move positive at rate 1");
    row("move negative", QByteArray("P\x02\x11\x25\x01\x00\x00\x00", 8), "Command",
        "motor 17 move negative at rate 1");

    row("letter in RA", "R3B7X", "Malformed",
        "malformed goto: 'X' (58) where a hex digit or ',' belongs");
    row("lowercase hex", "R3b", "Malformed",
        "malformed goto: 'b' (62) where a hex digit or ',' belongs");
    row("no RA digits", "S,", "Malformed", "malformed sync: no right-ascension digits before ','");
    row("RA too long", "R12345678901", "Malformed",
        "malformed goto: right-ascension field longer than 10 digits");
    row("comma in Dec", "R0000,00,", "Malformed",
        "malformed goto: ',' (2C) where a declination hex digit belongs");
    row("clock fixed bytes", QByteArray("H\x15\x05\x09\x03\x05\x18\x09\x00\x02", 10), "Malformed",
        "malformed set clock: fixed bytes 09 00 02, expected 09 00 01");
    row("clock hour 24", QByteArray("H\x18\x00\x00\x01\x01\x18\x09\x00\x01", 10), "Malformed",
        "malformed set clock: time 24:00:00 out of range");
    row("clock 30 February", QByteArray("H\x00\x00\x00\x02\x1E\x18\x09\x00\x01", 10), "Malformed",
        "malformed set clock: date month 2 day 30 year 24 out of range");
    row("tracking mode 1", QByteArray("T\x01", 2), "Malformed",
        "malformed tracking: mode byte 01, expected 02 or 00");
    row("slow goto count 2", QByteArray("P\x02\x10\x17\x3B\x78\xFC\x00", 8), "Malformed",
        "malformed motor command: count byte 2 for slow goto, expected 4");
    row("move count 4", QByteArray("P\x04\x10\x24\x01\x00\x00\x00", 8), "Malformed",
        "malformed motor command: count byte 4 for a move, expected 2");
    row("motor 18", QByteArray("P\x02\x12\x24\x01\x00\x00\x00", 8), "Malformed",
        "malformed motor command: unknown motor 18");
    row("function 48", QByteArray("P\x02\x10\x30\x01\x00\x00\x00", 8), "Malformed",
        "malformed motor command: unknown function 48");
    row("move data", QByteArray("P\x02\x10\x24\x01\x05\x00\x00", 8), "Malformed",
        "malformed motor command: data bytes 2 and 3 of a move must be 00");
    row("final byte", QByteArray("P\x04\x10\x17\x00\x00\x00\x01", 8), "Malformed",
        "malformed motor command: final byte 01, expected 00");

    row("letter", "X", "Unknown", "unknown command 'X' (58)");
    row("zero byte", QByteArray(1, '\0'), "Unknown", "unknown command byte 00");
}

void CommandParserTest::readsOneCommand() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, kind);
    QFETCH(QString, meaning);

    CommandParser parser;
    const auto records = feedAll(parser, bytes, 0ms);

    QCOMPARE(records.size(), size_t(1));
    QCOMPARE(kindName(records[0].kind), kind);
    QCOMPARE(QByteArray::fromStdString(records[0].bytes), bytes);
    QCOMPARE(QString::fromStdString(records[0].meaning), meaning);
    QVERIFY(!parser.hasPending());
}

void CommandParserTest::splitsTheStream_data() {
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QList<int>>("times");
    QTest::addColumn<QStringList>("records");

    QTest::newRow("back to back") << QByteArrayList{"ER0000,0000L"} << QList<int>{0}
                                  << QStringList{"Command 45",
                                                 "Command 52 30 30 30 30 2C 30 30 30 30",
                                                 "Command 4C"};
    QTest::newRow("pair across feeds")
        << QByteArrayList{"R3B", "79,F", "C2C"} << QList<int>{0, 60, 120}
        << QStringList{"Command 52 33 42 37 39 2C 46 43 32 43"};
    QTest::newRow("zeros across feeds")
        << QByteArrayList{QByteArray("P\x04\x11\x17\x00", 5), QByteArray("\x00\x00\x00"
                                                                         "E",
                                                                         4)}
        << QList<int>{0, 5} << QStringList{"Command 50 04 11 17 00 00 00 00", "Command 45"};
    QTest::newRow("resumes after malformed") << QByteArrayList{"R3BZE"} << QList<int>{0}
                                             << QStringList{"Malformed 52 33 42 5A", "Command 45"};
    QTest::newRow("late byte ends a partial") << QByteArrayList{"R3B", "E"} << QList<int>{0, 100}
                                              << QStringList{"Partial 52 33 42", "Command 45"};
    QTest::newRow("just inside the gap") << QByteArrayList{"R3B79,", "FC2C"} << QList<int>{0, 99}
                                         << QStringList{"Command 52 33 42 37 39 2C 46 43 32 43"};
    QTest::newRow("unfinished clock at the end")
        << QByteArrayList{QByteArray("H\x00\x00", 3)} << QList<int>{0}
        << QStringList{"Partial 48 00 00"};
}

void CommandParserTest::splitsTheStream() {
    QFETCH(QByteArrayList, pieces);
    QFETCH(QList<int>, times);
    QFETCH(QStringList, records);

    CommandParser parser;
    QStringList seen;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        for (const auto& record : feedAll(parser, pieces[i], std::chrono::milliseconds(times[i]))) {
            seen << summary(record);
        }
    }
    if (auto partial =
            parser.expire(std::chrono::milliseconds(times.last()) + CommandParser::kQuietGap)) {
        seen << summary(*partial);
    }
    QCOMPARE(seen, records);
}

void CommandParserTest::givesUpAfterTheQuietGap() {
    CommandParser parser;
    QVERIFY(feedAll(parser, "S12", 1000ms).empty());
    QCOMPARE(parser.deadline(), std::optional(1000ms + CommandParser::kQuietGap));
    QVERIFY(!parser.expire(1099ms));

    const auto partial = parser.expire(1100ms);
    QVERIFY(partial);
    QCOMPARE(partial->kind, CommandKind::Partial);
    QCOMPARE(partial->meaning, std::string("incomplete sync (3 bytes)"));
    QVERIFY(!parser.hasPending());
    QVERIFY(!parser.deadline());

    // The port going away gives up a command at once, whatever the time.
    feedAll(parser, "P", 2000ms);
    const auto flushed = parser.flush();
    QVERIFY(flushed);
    QCOMPARE(flushed->bytes, std::string("P"));
    QVERIFY(!parser.flush());
}

QTEST_APPLESS_MAIN(CommandParserTest)
#include "tst_command_parser.moc"
