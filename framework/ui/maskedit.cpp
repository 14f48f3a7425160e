#include "maskedit.h"

namespace fw {

QString TMaskEdit::Text() const
{
    const QString typed = text();
    const bool anything = std::any_of(typed.cbegin(), typed.cend(), [](QChar c) { return c.isLetterOrNumber(); });
    return anything ? typed : QString();
}

} // namespace fw
