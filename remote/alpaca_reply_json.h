// The JSON of an Alpaca reply, written directly: the text Qt's JSON writer
// gives for the same object (its key order, numbers in the shortest form
// that reads back, strings in UTF-8), at a small part of its cost for the
// one scalar most answers carry. A list or an object as the Value goes
// through Qt's writer.
#pragma once

#include "remote/alpaca_answer.h"

#include <QByteArray>

namespace morvane::remote {

// With `withValue` a missing Value is written as null (a GET always has one).
QByteArray alpacaReplyJson(quint32 clientTransaction, quint32 serverTransaction,
                           const Answer& answer, bool withValue);

}  // namespace morvane::remote
