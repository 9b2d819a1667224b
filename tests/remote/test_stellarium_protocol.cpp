// Stellarium's position message, byte by byte, and the conversion of its
// angles against the window's codec, word by word. (The reader is fuzzed
// against a reference and driven over TCP in test_stellarium_server.)
#include "mount/codec.h"
#include "remote/stellarium_protocol.h"

#include <QtTest/QtTest>
#include <string>

using namespace morvane;
using namespace morvane::stellarium;

namespace {

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
    void positionMessageBytes();
    void everyWordAsTheCodecRoundsIt();
};

void TestStellariumProtocol::positionMessageBytes() {
    const PositionMessage message = positionMessage(0x0102030405060708, 0x80000000, -0x40000000);
    QCOMPARE(QByteArray(message.data(), message.size()).toHex(), QByteArray("18000000"
                                                                            "0807060504030201"
                                                                            "00000080"
                                                                            "000000c0"
                                                                            "00000000"));
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
