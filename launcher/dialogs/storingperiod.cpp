#include "dialogs/storingperiod.h"

#include "catalog/valueconv.h"

#include <cmath>

namespace vadok {

std::optional<qint16> parseStoringPeriod(const QString& text, QString* message) {
    const std::optional<double> number = textToNumber(text);
    if (!number) {
        *message = QStringLiteral("格納期間には数値を設定してください");
        return std::nullopt;
    }
    const double days = std::floor(*number);
    if (days < -1) {
        *message = QStringLiteral("格納期間には-1以上の値を入力してください");
        return std::nullopt;
    }
    if (days > 32765) {
        *message = QStringLiteral("格納期間には32765以下の値を入力してください");
        return std::nullopt;
    }
    return qint16(days);
}

} // namespace vadok
