#include "cborread.h"

namespace fw {

std::optional<QString> readCborText(QCborStreamReader &reader)
{
    if (!reader.isString())
        return std::nullopt;
    QString text;
    auto chunk = reader.readString();
    while (chunk.status == QCborStreamReader::Ok) {
        text += chunk.data;
        chunk = reader.readString();
    }
    if (chunk.status == QCborStreamReader::Error)
        return std::nullopt;
    return text;
}

} // namespace fw
