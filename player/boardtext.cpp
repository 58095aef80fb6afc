#include "boardtext.h"

#include <QList>
#include <QStringDecoder>

namespace boardtext {

QString fromBytes(const std::string& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    return utf8.hasError() ? QString::fromLatin1(bytes.data(), qsizetype(bytes.size())) : text;
}

std::string toLatin1(const QString& text)
{
    std::string out;
    out.reserve(size_t(text.size()));
    for (uint c : text.toUcs4())
        out += c <= 0xFF ? char(c) : '?';
    return out;
}

QString playTime(int32_t seconds)
{
    return seconds < 0 ? QString("--:--")
                       : QString::asprintf("%.2d:%.2d", seconds / 60, seconds % 60);
}

} // namespace boardtext
