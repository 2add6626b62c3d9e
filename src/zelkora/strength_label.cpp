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

struct Colours {
    // Red, amber, green, blue: each reaches 4.5:1, the contrast normal-size text needs,
    // on the window colours it meets, light (#efefef to white) or dark (black to #353535).
    const char* on_light;
    const char* on_dark;
};

// By StrengthRating: weak, fair, strong, very strong. The words and the figure are the
// engine's, which zelkora-cli prints too.
constexpr Colours RATING_COLOURS[] = {
    {"#c62828", "#ef9a9a"}, {"#9a5b00", "#ffcc80"}, {"#2d7731", "#a5d6a7"}, {"#1565c0", "#90caf9"}};

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

QString figures_text(const PasswordStrength& strength, const std::optional<QColor>& colour, const QString& word) {
    const QString shown =
        colour ? QStringLiteral("<span style=\"color:%1\">%2</span>").arg(colour->name(), word) : word;
    return QStringLiteral("強度: %1（%2）").arg(QString::fromStdString(strength_amount(strength)), shown);
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

std::optional<QColor> strength_word_colour(StrengthRating rating, const QColor& window, bool contrast_theme) {
    if (contrast_theme)
        return std::nullopt;
    const Colours& colours = RATING_COLOURS[static_cast<int>(rating)];
    return QColor(QString::fromLatin1(window.lightness() < 128 ? colours.on_dark : colours.on_light));
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
    const StrengthRating rating = strength_rating(strength);
    const std::string_view word_text = strength_word(rating);
    const QString word = QString::fromUtf8(word_text.data(), static_cast<qsizetype>(word_text.size()));
    const auto colour = strength_word_colour(rating, label.palette().color(QPalette::Window), contrast_theme_on());
    label.setText(figures_text(strength, colour, word));
    label.setToolTip(figures_tooltip(strength, word));
}

}  // namespace zelkora
