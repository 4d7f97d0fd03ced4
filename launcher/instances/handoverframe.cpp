#include "instances/handoverframe.h"

#include <QStringDecoder>
#include <QtEndian>

namespace vadok {

namespace {

constexpr char kMagic[4] = {'V', 'H', 'O', '1'};

DecodedHandOver refused(const char* why) {
    DecodedHandOver decoded;
    decoded.error = QString::fromLatin1(why);
    return decoded;
}

} // namespace

QByteArray EncodeHandOverFrame(const QString& request) {
    const QByteArray text = request.toUtf8();
    QByteArray frame(kMagic, sizeof kMagic);
    char length[4];
    qToBigEndian(quint32(text.size()), length);
    frame.append(length, sizeof length);
    return frame + text;
}

DecodedHandOver DecodeHandOverFrame(const QByteArray& bytes) {
    if (bytes.size() < kHandOverFrameHeader)
        return refused("shorter than its header");
    if (!bytes.startsWith(QByteArrayView(kMagic, sizeof kMagic)))
        return refused("not a hand-over request");
    const quint32 length = qFromBigEndian<quint32>(bytes.constData() + sizeof kMagic);
    if (length == 0 || length > quint32(kMaxHandOverText))
        return refused("text length out of range");
    if (quint32(bytes.size() - kHandOverFrameHeader) < length)
        return refused("text cut short");
    if (quint32(bytes.size() - kHandOverFrameHeader) > length)
        return refused("more than one request");
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    DecodedHandOver decoded;
    decoded.request = utf8(QByteArrayView(bytes).sliced(kHandOverFrameHeader));
    if (utf8.hasError())
        return refused("text is not UTF-8");
    // A path handed to the system ends at its first NUL: the text would name another file.
    if (decoded.request.contains(QChar(0)))
        return refused("text holds a NUL");
    decoded.ok = true;
    return decoded;
}

} // namespace vadok
