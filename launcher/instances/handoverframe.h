#pragma once

#include <QByteArray>
#include <QString>

namespace vadok {

// One request of a later start, as one connection to the running instance carries it:
//
//   bytes 0-3   "VHO1"
//   bytes 4-7   the length N of the text, an unsigned big-endian number, 1..kMaxHandOverText
//   N bytes     the request's text in UTF-8
//
// and nothing after it: a connection carries exactly one request, so no text can smuggle in a
// second one.
inline constexpr int kMaxHandOverText = 32 * 1024;
inline constexpr int kHandOverFrameHeader = 8;

QByteArray EncodeHandOverFrame(const QString& request);

struct DecodedHandOver {
    bool ok = false;
    QString request;
    QString error; // why the bytes are no request
};

// bytes: everything the connection carried, up to its end.
DecodedHandOver DecodeHandOverFrame(const QByteArray& bytes);

} // namespace vadok
