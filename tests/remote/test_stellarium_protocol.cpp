// The conversion of Stellarium's angles against the window's codec, word by
// word. (The reader is fuzzed against a reference; it, the position message
// and the words back to angles are driven over TCP in test_stellarium_server.)
#include "mount/codec.h"
#include "remote/stellarium_protocol.h"

#include <QtTest/QtTest>

using namespace morvane;
using namespace morvane::remote;

class TestStellariumProtocol : public QObject {
    Q_OBJECT
private slots:
    void everyWordAsTheCodecRoundsIt();
};

// Each word's centre and both half-way points, as Stellarium values and as
// the same angle typed into the window. Stellarium's value v is the angle
// v * 24 / 2^32 hours or v * 360 / 2^32 degrees, exact in a double, so the
// codec sees the very tie.
void TestStellariumProtocol::everyWordAsTheCodecRoundsIt() {
    constexpr double kTurn = 4294967296.0;
    // The codec's word, or 0x8000 where it refuses the angle: 180 degrees,
    // the one declination word that cannot be sent.
    const auto codecWord = [](const codec::Encoding& encoding) {
        return encoding.ok() ? std::stoul(encoding.field, nullptr, 16) & 0xFFFF : 0x8000;
    };
    QList<std::uint32_t> wrong;
    for (std::uint32_t word = 0; word < 65536; ++word) {
        const std::uint32_t centre = word << 16;
        for (const std::uint32_t value : {centre, centre - 0x8000, centre + 0x8000}) {
            const double degrees = static_cast<std::int32_t>(value) * 360.0 / kTurn;
            if (rightAscensionWord(value) !=
                    codecWord(codec::encodeRightAscension(value * 24.0 / kTurn, 0, 0)) ||
                declinationWord(static_cast<std::int32_t>(value)) !=
                    codecWord(
                        codec::encodeDeclination(degrees < 0 ? "-" : "+", std::fabs(degrees), 0))) {
                wrong << value;
            }
        }
    }
    QCOMPARE(wrong, QList<std::uint32_t>());
}

QTEST_APPLESS_MAIN(TestStellariumProtocol)
#include "test_stellarium_protocol.moc"
