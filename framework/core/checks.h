#pragma once

#include <framework/core/coreexport.h>

#include <QString>

namespace fw {

// True when the text holds nothing but white space.
FW_CORE_EXPORT bool EmptyString(const QString &text);

// Shows the text as an error through the dialogs service; with abort true it then raises
// Abort, so the running handler ends there.
FW_CORE_EXPORT void MensErro(const QString &text, bool abort = true);

// Codes are fixed-width: surrounding blanks are dropped and a shorter code is filled with
// zeros on the left up to the width ("123" → "000…0123"). A code already as wide or wider is
// returned trimmed and otherwise unchanged: it is never cut, so an over-long code stays
// visible and is refused where it is checked.
FW_CORE_EXPORT QString Ajusta(const QString &code, int width);

// Person types implied by a registration number.
inline const QString PessoaFisica = QStringLiteral("F");   // CPF, 11 digits
inline const QString PessoaJuridica = QStringLiteral("J"); // CNPJ, 14 digits
inline const QString PessoaIndefinida = QStringLiteral("I");

// Normalises a tax registration number in place to its digits alone (dots, dashes, slashes,
// blanks and any other character are dropped) and returns the person type it implies:
// - "F" for 11 digits forming a valid CPF (both check digits right, not all digits equal);
// - "J" for 14 digits forming a valid CNPJ (both check digits right, not all digits equal);
// - "I" (undetermined) for anything else: other lengths, wrong check digits, or no digits at
//   all (the text then becomes empty).
FW_CORE_EXPORT QString Ajusta_Inscricao(QString &number);

// The edit mask for a person type, in QLineEdit input-mask syntax, blank shown as "_":
// "F" → "999.999.999-99", "J" → "99.999.999/9999-99", and "I" (or any unknown type) → 21
// optional digits, so a number of any length can be typed before its type is known.
FW_CORE_EXPORT QString PictPess(const QString &personType);

// A stored registration number shown through the mask of its person type ("52998224725" with
// "F" → "529.982.247-25"). A number whose digits do not fill the mask is shown as stored.
FW_CORE_EXPORT QString FormatInscricao(const QString &number, const QString &personType);

} // namespace fw
