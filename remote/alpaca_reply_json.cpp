#include "remote/alpaca_reply_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <charconv>
#include <cmath>

namespace morvane::remote {
namespace {

void appendString(QByteArray& out, const QString& text) {
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text.toUtf8()) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 0xF];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

void appendValue(QByteArray& out, const QJsonValue& value) {
    switch (value.type()) {
        case QJsonValue::Null:
        case QJsonValue::Undefined:
            out += "null";
            break;
        case QJsonValue::Bool:
            out += value.toBool() ? "true" : "false";
            break;
        case QJsonValue::Double: {
            const double d = value.toDouble();
            out += std::isfinite(d) ? QByteArray::number(d, 'g', QLocale::FloatingPointShortest)
                                    : QByteArray("null");
            break;
        }
        case QJsonValue::String:
            appendString(out, value.toString());
            break;
        case QJsonValue::Array:
            out += QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
            break;
        case QJsonValue::Object:
            out += QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
            break;
    }
}

template <class Integer>
void appendInteger(QByteArray& out, Integer value) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
}

}  // namespace

QByteArray alpacaReplyJson(quint32 clientTransaction, quint32 serverTransaction,
                           const Answer& answer, bool withValue) {
    QByteArray out;
    out.reserve(128 + answer.errorMessage.size());
    out += "{\"ClientTransactionID\":";
    appendInteger(out, clientTransaction);
    out += ",\"ErrorMessage\":";
    appendString(out, answer.errorMessage);
    out += ",\"ErrorNumber\":";
    appendInteger(out, answer.errorNumber);
    out += ",\"ServerTransactionID\":";
    appendInteger(out, serverTransaction);
    if (withValue || !answer.value.isUndefined()) {
        out += ",\"Value\":";
        appendValue(out, answer.value);
    }
    out += '}';
    return out;
}

}  // namespace morvane::remote
