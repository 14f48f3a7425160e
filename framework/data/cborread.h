#pragma once

#include <framework/data/dataexport.h>

#include <QCborStreamReader>
#include <QString>

#include <optional>

namespace fw {

// Reads a whole text string, every chunk of it; nullopt when the reader is not on a text
// string or the text is broken.
FW_DATA_EXPORT std::optional<QString> readCborText(QCborStreamReader &reader);

} // namespace fw
