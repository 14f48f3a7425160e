#include "amountinwords.h"

#include <QStringList>

#include <cmath>

namespace fw {
namespace {

const char *const units[] = {"zero", "um", "dois", "três", "quatro", "cinco", "seis", "sete", "oito", "nove",
                             "dez", "onze", "doze", "treze", "catorze", "quinze", "dezesseis", "dezessete",
                             "dezoito", "dezenove"};
const char *const tens[] = {"", "", "vinte", "trinta", "quarenta", "cinquenta", "sessenta", "setenta", "oitenta",
                            "noventa"};
const char *const hundreds[] = {"", "cento", "duzentos", "trezentos", "quatrocentos", "quinhentos", "seiscentos",
                                "setecentos", "oitocentos", "novecentos"};

// 1 to 999.
QString group(int n)
{
    if (n == 100)
        return QStringLiteral("cem");
    QStringList parts;
    if (n >= 100)
        parts.append(QString::fromUtf8(hundreds[n / 100]));
    const int rest = n % 100;
    if (rest >= 20) {
        parts.append(QString::fromUtf8(tens[rest / 10]));
        if (rest % 10)
            parts.append(QString::fromUtf8(units[rest % 10]));
    } else if (rest > 0) {
        parts.append(QString::fromUtf8(units[rest]));
    }
    return parts.join(QStringLiteral(" e "));
}

struct Scale
{
    qint64 value;
    const char *one;
    const char *many;
};

// A whole number in words. Groups are joined by a blank, and by "e" before a last group under
// a hundred or of whole hundreds ("mil e cem", "mil e vinte", "mil duzentos e trinta").
QString whole(qint64 n)
{
    if (n == 0)
        return QStringLiteral("zero");
    static const Scale scales[] = {{1'000'000'000'000, "um trilhão", "trilhões"},
                                   {1'000'000'000, "um bilhão", "bilhões"},
                                   {1'000'000, "um milhão", "milhões"},
                                   {1'000, "mil", "mil"}};
    QStringList parts;
    for (const Scale &s : scales) {
        const qint64 count = n / s.value;
        n %= s.value;
        if (count == 0)
            continue;
        if (count == 1)
            parts.append(QString::fromUtf8(s.one));
        else
            parts.append(whole(count) + u' ' + QString::fromUtf8(s.many));
    }
    if (n > 0) {
        const bool joined = !parts.isEmpty() && (n < 100 || n % 100 == 0);
        parts.append((joined ? QStringLiteral("e ") : QString()) + group(int(n)));
    }
    return parts.join(u' ');
}

} // namespace

QString ValorExtenso(double amount)
{
    const qint64 cents = std::llround(std::fabs(amount) * 100);
    const qint64 reais = cents / 100;
    const int centavos = int(cents % 100);
    QString text;
    if (reais > 0 || centavos == 0) {
        text = whole(reais);
        // "um milhão de reais", but "um milhão e dez reais"
        const bool roundMillions = reais >= 1'000'000 && reais % 1'000'000 == 0;
        text += reais == 1 ? QStringLiteral(" real") : roundMillions ? QStringLiteral(" de reais") : QStringLiteral(" reais");
    }
    if (centavos > 0) {
        if (!text.isEmpty())
            text += QStringLiteral(" e ");
        text += group(centavos) + (centavos == 1 ? QStringLiteral(" centavo") : QStringLiteral(" centavos"));
    }
    return amount < 0 && cents > 0 ? QStringLiteral("menos ") + text : text;
}

} // namespace fw
