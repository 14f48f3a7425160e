#pragma once

#include <framework/data/dataexport.h>

#include <QList>
#include <QSslError>
#include <QString>

namespace fw {

// What the operator reads when the secure connection to the server at `where` could not be made:
// what is wrong with its certificate (not trusted, expired, another name) and what to do, or, with
// no certificate error at all, that the server did not answer in TLS.
FW_DATA_EXPORT QString tlsFailureMessage(const QString &where, const QList<QSslError> &errors);

// Qt's own words for the errors, for the details under the message.
FW_DATA_EXPORT QString tlsFailureDetails(const QList<QSslError> &errors, const QString &socketError);

} // namespace fw
