// What a handler of an Alpaca request answers: a value, an Alpaca error
// (HTTP 200 with ErrorNumber and ErrorMessage), or a request the server
// cannot take at all (HTTP 400 with a one-line reason).
#pragma once

#include <QJsonValue>
#include <QString>
#include <functional>

namespace morvane::remote {

namespace error {
inline constexpr int kNotImplemented = 0x400;
inline constexpr int kInvalidValue = 0x401;
inline constexpr int kValueNotSet = 0x402;
inline constexpr int kNotConnected = 0x407;
inline constexpr int kInvalidOperation = 0x40B;
inline constexpr int kActionNotImplemented = 0x40C;
// The driver's own, 0x500 and above.
inline constexpr int kMountFailed = 0x500;  // no answer, port lost, command not sent
inline constexpr int kOpenFailed = 0x501;   // the port could not be opened
inline constexpr int kBusy = 0x502;         // too many remote commands waiting
}  // namespace error

struct Answer {
    QJsonValue value = QJsonValue::Undefined;  // Undefined: the member's own default
    int errorNumber = 0;
    QString errorMessage;
    QString badRequest;  // not empty: HTTP 400 with this line

    static Answer ok(QJsonValue value = QJsonValue::Undefined) {
        Answer answer;
        answer.value = std::move(value);
        return answer;
    }
    static Answer error(int number, QString message) {
        Answer answer;
        answer.errorNumber = number;
        answer.errorMessage = std::move(message);
        return answer;
    }
    static Answer bad(QString reason) {
        Answer answer;
        answer.badRequest = std::move(reason);
        return answer;
    }
};

using Reply = std::function<void(const Answer&)>;

}  // namespace morvane::remote
