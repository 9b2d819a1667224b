// The JSON written for an Alpaca reply, against Qt's JSON writer for the
// same object: byte for byte the same. Input: the transaction numbers, the
// error number, the kind of Value, a double, then text split into the error
// message and a string Value.
#include "fuzz_support.h"
#include "remote/alpaca_reply_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>

using namespace morvane;
using namespace morvane::remote;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto client = quint32(fuzz::takeNumber(input, 4));
    const auto server = quint32(fuzz::takeNumber(input, 4));
    Answer answer;
    answer.errorNumber = int(qint16(fuzz::takeNumber(input, 2)));
    const auto kind = fuzz::takeNumber(input, 1);
    const std::uint64_t bits = fuzz::takeNumber(input, 8);
    double number = 0;
    std::memcpy(&number, &bits, sizeof number);
    const std::size_t cut = std::min<std::size_t>(fuzz::takeNumber(input, 1), input.size());
    answer.errorMessage = QString::fromUtf8(input.data(), qsizetype(cut));
    const QString text = QString::fromUtf8(input.data() + cut, qsizetype(input.size() - cut));
    const QJsonValue values[] = {QJsonValue::Undefined,      QJsonValue(),
                                 QJsonValue(bool(bits & 1)), number,
                                 double(qint32(bits)),       text,
                                 QJsonArray{number, text},   QJsonObject{{text, number}}};
    answer.value = values[kind % std::size(values)];
    const bool withValue = kind & 0x80;

    QJsonObject reply{{QStringLiteral("ClientTransactionID"), double(client)},
                      {QStringLiteral("ServerTransactionID"), double(server)},
                      {QStringLiteral("ErrorNumber"), answer.errorNumber},
                      {QStringLiteral("ErrorMessage"), answer.errorMessage}};
    if (withValue || !answer.value.isUndefined()) {
        reply.insert(QStringLiteral("Value"),
                     answer.value.isUndefined() ? QJsonValue() : answer.value);
    }
    fuzz::require(alpacaReplyJson(client, server, answer, withValue) ==
                      QJsonDocument(reply).toJson(QJsonDocument::Compact),
                  "the reply reads as Qt's JSON writer writes it");
    return 0;
}
