#include "strength_label.h"

#include <QLabel>
#include <QPalette>
#include <QString>

#include <cmath>

#include "errors.h"
#include "strength.h"

namespace zelkora {

namespace {

struct Colours {
    const char* on_light;  // colours that keep their contrast on the palette they are for
    const char* on_dark;
};

// By StrengthRating: weak, fair, strong, very strong. The words and the figure are the
// engine's, which zelkora-cli prints too.
constexpr Colours RATING_COLOURS[] = {
    {"#c62828", "#ef9a9a"}, {"#9a5b00", "#ffcc80"}, {"#2e7d32", "#a5d6a7"}, {"#1565c0", "#90caf9"}};

QString figures_text(const PasswordStrength& strength, const QString& colour, const QString& word) {
    return QStringLiteral("強度: %1（<span style=\"color:%2\">%3</span>）")
        .arg(QString::fromStdString(strength_amount(strength)), colour, word);
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
    const Colours& colours = RATING_COLOURS[static_cast<int>(rating)];
    const bool dark = label.palette().color(QPalette::Window).lightness() < 128;
    const std::string_view word_text = strength_word(rating);
    const QString word = QString::fromUtf8(word_text.data(), static_cast<qsizetype>(word_text.size()));
    label.setText(figures_text(strength, QString::fromLatin1(dark ? colours.on_dark : colours.on_light), word));
    label.setToolTip(figures_tooltip(strength, word));
}

}  // namespace zelkora
