// Stellarium's messages: the reader against whole, cut, skipped and
// untrustworthy streams; the position message's bytes; the conversion of its
// angles against the window's codec, word by word.
#include "mount/codec.h"
#include "remote/stellarium_protocol.h"

#include <QtTest/QtTest>
#include <string>

using namespace morvane;
using namespace morvane::stellarium;

namespace {

QByteArray header(quint16 length, quint16 type) {
    const char bytes[] = {char(length & 0xFF), char(length >> 8), char(type & 0xFF),
                          char(type >> 8)};
    return QByteArray(bytes, sizeof bytes);
}

// A goto: TIME 0x0807060504030201, RA 0x3B798000, DEC -0x00018000.
const QByteArray kGoto = QByteArray::fromHex(
    "14000000"
    "0102030405060708"
    "0080793b"
    "0080feff");
const GotoMessage kGotoRead{0x0807060504030201, 0x3B798000, -0x00018000};

// The codec's word for an angle given in Stellarium's units, or nothing when
// the codec refuses it.
std::optional<std::uint16_t> codecWord(const codec::Encoding& encoding) {
    if (!encoding.ok()) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(std::stoul(encoding.field, nullptr, 16) & 0xFFFF);
}

}  // namespace

class TestStellariumProtocol : public QObject {
    Q_OBJECT
private slots:
    void reader_data();
    void reader();
    void positionMessageBytes();
    void positionReply_data();
    void positionReply();
    void everyWordAsTheCodecRoundsIt();
};

void TestStellariumProtocol::reader_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("gotos");
    QTest::addColumn<bool>("trustworthy");
    QTest::addColumn<int>("skipped");
    QTest::newRow("goto") << kGoto << 1 << true << 0;
    QTest::newRow("two gotos") << kGoto + kGoto << 2 << true << 0;
    QTest::newRow("cut short waits") << kGoto + kGoto.left(19) << 1 << true << 0;
    QTest::newRow("header only waits") << kGoto.left(3) << 0 << true << 0;
    QTest::newRow("LENGTH 3") << header(3, 0) + kGoto << 0 << false << 0;
    QTest::newRow("LENGTH 0") << header(0, 0) + kGoto << 0 << false << 0;
    QTest::newRow("LENGTH 257") << header(257, 0) + kGoto << 0 << false << 0;
    QTest::newRow("LENGTH 300 after a goto") << kGoto + header(300, 0) + kGoto << 1 << false << 0;
    QTest::newRow("LENGTH 4 skipped") << header(4, 7) + kGoto << 1 << true << 1;
    QTest::newRow("LENGTH 256 skipped")
        << header(256, 0) + QByteArray(252, '\x14') + kGoto << 1 << true << 1;
    QTest::newRow("TYPE 1 of goto length skipped")
        << header(20, 1) + QByteArray(16, '\0') + kGoto << 1 << true << 1;
    QTest::newRow("TYPE 0 of position length skipped")
        << header(24, 0) + QByteArray(20, '\xFF') + kGoto << 1 << true << 1;
    QTest::newRow("skipped message cut short")
        << header(40, 2) + QByteArray(30, '\x03') << 0 << true << 1;
}

void TestStellariumProtocol::reader() {
    QFETCH(QByteArray, stream);
    QFETCH(int, gotos);
    QFETCH(bool, trustworthy);
    QFETCH(int, skipped);
    // Whole, and in every piece size from one byte up: the same outcome.
    for (qsizetype piece = 1; piece <= stream.size(); piece = piece < 24 ? piece + 1 : piece * 2) {
        MessageReader reader;
        std::vector<GotoMessage> read;
        bool kept = true;
        for (qsizetype at = 0; at < stream.size(); at += piece) {
            const QByteArray part = stream.mid(at, piece);
            kept = reader.read({part.constData(), std::size_t(part.size())}, read) && kept;
        }
        QCOMPARE(kept, trustworthy);
        QCOMPARE(read.size(), std::size_t(gotos));
        for (const GotoMessage& message : read) {
            QVERIFY(message == kGotoRead);
        }
        QCOMPARE(reader.skipped(), std::uint64_t(skipped));
    }
}

void TestStellariumProtocol::positionMessageBytes() {
    const PositionMessage message = positionMessage(0x0102030405060708, 0x80000000, -0x40000000);
    QCOMPARE(QByteArray(message.data(), message.size()).toHex(), QByteArray("18000000"
                                                                            "0807060504030201"
                                                                            "00000080"
                                                                            "000000c0"
                                                                            "00000000"));
}

void TestStellariumProtocol::positionReply_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("rightAscension");  // -1: no position
    QTest::addColumn<int>("declination");
    QTest::newRow("upper case") << QByteArray("3B79,FC2C#") << 0x3B79 << 0xFC2C;
    QTest::newRow("lower case") << QByteArray("ffff,8000#") << 0xFFFF << 0x8000;
    QTest::newRow("no terminator") << QByteArray("3B79,FC2C ") << -1 << 0;
    QTest::newRow("no comma") << QByteArray("3B79;FC2C#") << -1 << 0;
    QTest::newRow("not hex") << QByteArray("3B7G,FC2C#") << -1 << 0;
    QTest::newRow("short") << QByteArray("3B79,FC2#") << -1 << 0;
}

void TestStellariumProtocol::positionReply() {
    QFETCH(QByteArray, reply);
    QFETCH(int, rightAscension);
    QFETCH(int, declination);
    const auto words = wordsFromPositionReply({reply.constData(), std::size_t(reply.size())});
    QCOMPARE(words.has_value(), rightAscension >= 0);
    if (words) {
        QCOMPARE(int(words->rightAscension), rightAscension);
        QCOMPARE(int(words->declination), declination);
    }
}

// Each word's centre and both half-way points, as Stellarium values and as
// the same angle typed into the window. Stellarium's value v is the angle
// v * 24 / 2^32 hours or v * 360 / 2^32 degrees, exact in a double, so the
// codec sees the very tie.
void TestStellariumProtocol::everyWordAsTheCodecRoundsIt() {
    constexpr double kTurn = 4294967296.0;
    for (std::uint32_t word = 0; word < 65536; ++word) {
        const std::uint32_t centre = word << 16;
        for (const std::uint32_t value : {centre, centre - 0x8000, centre + 0x8000}) {
            const auto ra = codecWord(codec::encodeRightAscension(value * 24.0 / kTurn, 0, 0));
            if (rightAscensionWord(value) != ra) {
                QFAIL(qPrintable(QStringLiteral("RA %1").arg(value, 8, 16, QChar('0'))));
            }
            const auto dec = static_cast<std::int32_t>(value);
            const double degrees = dec * 360.0 / kTurn;
            const auto expected =
                codecWord(codec::encodeDeclination(degrees < 0 ? "-" : "+", std::fabs(degrees), 0));
            // The codec refuses 180 degrees, the one word that cannot be sent.
            if (declinationWord(dec) != expected.value_or(0x8000)) {
                QFAIL(qPrintable(QStringLiteral("DEC %1").arg(value, 8, 16, QChar('0'))));
            }
        }
        // Back: the word's own angle, as the readout decodes it.
        const std::string field = codec::formatWord(static_cast<std::uint16_t>(word));
        const double readout = codec::decodeField(field);
        const auto w = static_cast<std::uint16_t>(word);
        if (declinationFromWord(w) * 360.0 / kTurn != readout ||
            rightAscensionFromWord(w) * 360.0 / kTurn != (readout < 0 ? readout + 360 : readout)) {
            QFAIL(qPrintable(QStringLiteral("word %1 back").arg(word, 4, 16, QChar('0'))));
        }
    }
}

QTEST_APPLESS_MAIN(TestStellariumProtocol)
#include "test_stellarium_protocol.moc"
