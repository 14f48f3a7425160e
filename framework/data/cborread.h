#pragma once

#include <QCborStreamReader>
#include <QString>

#include <optional>

namespace fw {

// Reads a whole text string, every chunk of it; nullopt when the reader is not on a text
// string or the text is broken.
std::optional<QString> readCborText(QCborStreamReader &reader);

} // namespace fw
