#include "checks.h"

#include <framework/core/abort.h>
#include <framework/core/dialogs.h>

#include <algorithm>

namespace fw {
namespace {

bool allSame(const QString &digits)
{
    return std::all_of(digits.cbegin(), digits.cend(),
                       [&](QChar c) { return c == digits.front(); });
}

// Modulo-11 check digit over the digits with the weights given, as CPF and CNPJ use it.
int checkDigit(const QString &digits, qsizetype count, const int *weights)
{
    int sum = 0;
    for (qsizetype i = 0; i < count; ++i)
        sum += digits.at(i).digitValue() * weights[i];
    const int rest = sum % 11;
    return rest < 2 ? 0 : 11 - rest;
}

bool validCpf(const QString &d)
{
    static constexpr int first[] = {10, 9, 8, 7, 6, 5, 4, 3, 2};
    static constexpr int second[] = {11, 10, 9, 8, 7, 6, 5, 4, 3, 2};
    return d.size() == 11 && !allSame(d) && checkDigit(d, 9, first) == d.at(9).digitValue()
        && checkDigit(d, 10, second) == d.at(10).digitValue();
}

bool validCnpj(const QString &d)
{
    static constexpr int first[] = {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
    static constexpr int second[] = {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
    return d.size() == 14 && !allSame(d) && checkDigit(d, 12, first) == d.at(12).digitValue()
        && checkDigit(d, 13, second) == d.at(13).digitValue();
}

} // namespace

bool EmptyString(const QString &text)
{
    return text.trimmed().isEmpty();
}

void MensErro(const QString &text, bool abort)
{
    showError(text);
    if (abort)
        throw Abort();
}

QString Ajusta(const QString &code, int width)
{
    const QString trimmed = code.trimmed();
    if (trimmed.size() >= width)
        return trimmed;
    return QString(width - trimmed.size(), u'0') + trimmed;
}

QString Ajusta_Inscricao(QString &number)
{
    QString digits;
    digits.reserve(number.size());
    for (QChar c : std::as_const(number)) {
        if (c >= u'0' && c <= u'9')
            digits.append(c);
    }
    number = digits;
    if (validCpf(digits))
        return PessoaFisica;
    if (validCnpj(digits))
        return PessoaJuridica;
    return PessoaIndefinida;
}

QString PictPess(const QString &personType)
{
    if (personType == PessoaFisica)
        return QStringLiteral("999.999.999-99;_");
    if (personType == PessoaJuridica)
        return QStringLiteral("99.999.999/9999-99;_");
    return QStringLiteral("000000000000000000000;_");
}

QString FormatInscricao(const QString &number, const QString &personType)
{
    const QString mask = PictPess(personType).section(u';', 0, 0);
    QString shown;
    qsizetype next = 0;
    for (QChar m : mask) {
        if (m == u'9' || m == u'0') {
            if (next < number.size() && number[next].isDigit())
                shown.append(number[next++]);
            else if (m == u'9')
                return number;
        } else {
            shown.append(m);
        }
    }
    return next == number.size() ? shown : number;
}

} // namespace fw
