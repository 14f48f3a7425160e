#include "maskedit.h"

namespace fw {

QString TMaskEdit::Text() const
{
    if (inputMask().isEmpty())
        return text();
    QString typed;
    for (QChar c : text()) {
        if (c.isLetterOrNumber())
            typed.append(c);
    }
    return typed;
}

} // namespace fw
