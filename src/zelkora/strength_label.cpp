#include "strength_label.h"

#include <QColor>
#include <QLabel>
#include <QPalette>
#include <QString>

#include <cmath>

#include "errors.h"
#include "strength.h"
#include "windows_api.h"

namespace zelkora {

namespace {

struct Rating {
    const char* word;
    // Red, amber, green, blue: each reaches 4.5:1, the contrast normal-size text needs,
    // on the window colours it meets, light (#efefef to white) or dark (black to #353535).
    const char* on_light;
    const char* on_dark;
};

// Judged by the most likely password: it is the one an attacker who knows the options
// tries first.
Rating rating_for(double min_entropy_bits) {
    if (min_entropy_bits < 60)
        return {"弱い", "#c62828", "#ef9a9a"};
    if (min_entropy_bits < 80)
        return {"普通", "#9a5b00", "#ffcc80"};
    if (min_entropy_bits < 112)
        return {"強い", "#2d7731", "#a5d6a7"};
    return {"とても強い", "#1565c0", "#90caf9"};
}

// A contrast theme gives the user colours they can read; the word must not override
// them with ours. Asked each time, so switching the theme takes effect at the next
// update.
bool contrast_theme_on() {
#ifdef _WIN32
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, contrast.cbSize, &contrast, 0) != 0 &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
#else
    return false;
#endif
}

// Rounded down, so the label never claims a bit the options do not give; the tolerance
// keeps a figure that is whole in exact arithmetic from losing one to rounding.
int whole_bits(double bits) {
    return static_cast<int>(std::floor(bits + 1e-9));
}

QString figures_text(const PasswordStrength& strength, const std::optional<QColor>& colour, const QString& word) {
    const int bits = whole_bits(strength.shannon_bits);
    const QString amount =
        strength.exact ? QStringLiteral("約 %1 ビット").arg(bits) : QStringLiteral("%1 ビット以上").arg(bits);
    const QString shown =
        colour ? QStringLiteral("<span style=\"color:%1\">%2</span>").arg(colour->name(), word) : word;
    return QStringLiteral("強度: %1（%2）").arg(amount, shown);
}

// To a tenth of a bit: the nearest for an exact figure, rounded down (with the same
// tolerance) for a lower bound, which rounding up could overstate.
QString tenths(double bits, bool exact) {
    return QString::number(exact ? bits : std::floor(bits * 10 + 1e-9) / 10, 'f', 1);
}

QString figures_tooltip(const PasswordStrength& strength, const QString& word) {
    const QString shannon = tenths(strength.shannon_bits, strength.exact);
    const QString min_entropy = tenths(strength.min_entropy_bits, strength.exact);
    if (strength.exact)
        return QStringLiteral(
                   "この設定の生成器が作るパスワード1件のエントロピーは約 %1 ビットです。"
                   "最も出やすい1件でも出る確率は 2^-%2 で、「%3」の評価はこの %2 ビットによります。")
            .arg(shannon, min_entropy, word);
    return QStringLiteral(
               "記号セットに他の種類と同じ文字があるため下限を示します: パスワード1件のエントロピーは %1 "
               "ビット以上です。"
               "最も出やすい1件でも出る確率は 2^-%2 以下で、「%3」の評価はこの %2 ビットによります。")
        .arg(shannon, min_entropy, word);
}

}  // namespace

std::optional<QColor> strength_word_colour(double min_entropy_bits, const QColor& window, bool contrast_theme) {
    if (contrast_theme)
        return std::nullopt;
    const Rating rating = rating_for(min_entropy_bits);
    return QColor(QString::fromLatin1(window.lightness() < 128 ? rating.on_dark : rating.on_light));
}

void show_strength(QLabel& label, const GenerationRequest& request) {
    PasswordStrength strength;
    try {
        strength = password_strength(request);
    } catch (const ValueError& refusal) {
        label.setText(QString::fromUtf8(refusal.what()).toHtmlEscaped());
        label.setToolTip(QStringLiteral("この設定ではパスワードを生成できません。"));
        return;
    }
    const QString word = QString::fromUtf8(rating_for(strength.min_entropy_bits).word);
    const auto colour =
        strength_word_colour(strength.min_entropy_bits, label.palette().color(QPalette::Window), contrast_theme_on());
    label.setText(figures_text(strength, colour, word));
    label.setToolTip(figures_tooltip(strength, word));
}

}  // namespace zelkora
