#include "strength_label.h"

#include <QColor>
#include <QLabel>
#include <QPalette>
#include <QString>

#include <algorithm>
#include <cmath>

#include "errors.h"
#include "strength.h"
#include "symbol_warning.h"
#include "windows_api.h"

namespace zelkora {

namespace {

// What WCAG asks of normal-size text against its background.
constexpr double MINIMUM_CONTRAST = 4.5;

// By StrengthRating: weak, fair, strong, very strong, in red, amber, green and blue. The
// words and the figure are the engine's, which zelkora-cli prints too.
constexpr QRgb RATING_COLOURS[] = {0xc62828, 0x9a5b00, 0x2d7731, 0x1565c0};

// WCAG's relative luminance and contrast ratio.
double luminance(const QColor& colour) {
    const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

double contrast_ratio(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// How far `colour` is from `hue`, in turns; a grey is half a turn from every hue.
float hue_distance(const QColor& colour, float hue) {
    const float off = colour.hslHueF() < 0 ? 0.5F : std::abs(colour.hslHueF() - hue);
    return std::min(off, 1 - off);
}

// The 8-bit colour drawn for `exact`, each channel rounded down or up: of the eight, one
// that reaches the contrast if any does, and of those the nearest to `hue`. Rounding each
// channel alone can turn a pale tint to another hue, and against a mid grey only pale
// tints (or near black) reach 4.5:1.
QColor drawn(const QColor& exact, float hue, const QColor& window) {
    QColor best;
    float best_score = 3;
    for (int corner = 0; corner < 8; ++corner) {
        const auto channel = [corner](float value, int bit) {
            return std::min(255, static_cast<int>(std::floor(value * 255)) + ((corner >> bit) & 1));
        };
        const QColor candidate(channel(exact.redF(), 0), channel(exact.greenF(), 1), channel(exact.blueF(), 2));
        const float score =
            hue_distance(candidate, hue) + (contrast_ratio(candidate, window) < MINIMUM_CONTRAST ? 1.0F : 0.0F);
        if (score < best_score) {
            best = candidate;
            best_score = score;
        }
    }
    return best;
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
    const QColor base(RATING_COLOURS[static_cast<int>(rating)]);
    // Towards black or white, whichever the window leaves more room for: one of them is
    // always at least 4.58:1 from it. Each step is measured as drawn, in 8-bit channels.
    const bool darker = contrast_ratio(window, Qt::black) >= contrast_ratio(window, Qt::white);
    float hue = 0;
    float saturation = 0;
    float lightness = 0;
    base.getHslF(&hue, &saturation, &lightness);
    // The first step that reaches the contrast in the word's own hue, to 2 degrees, or else
    // the first that reaches it at all: near white or black, 8-bit channels hold few hues.
    QColor colour = base;
    std::optional<QColor> readable;
    for (;;) {
        if (contrast_ratio(colour, window) >= MINIMUM_CONTRAST) {
            if (hue_distance(colour, hue) <= 2.0F / 360)
                return colour;
            readable = readable.value_or(colour);
        }
        if (lightness <= 0 || lightness >= 1)
            return readable.value_or(colour);
        lightness = std::clamp(lightness + (darker ? -0.01F : 0.01F), 0.0F, 1.0F);
        colour = drawn(QColor::fromHslF(hue, saturation, lightness), hue, window);
    }
}

void show_refusal(QLabel& label, const QString& why) {
    label.setText(why.toHtmlEscaped());
    label.setToolTip(QStringLiteral("この設定ではパスワードを生成できません。"));
}

void show_strength(QLabel& label, const GenerationRequest& request) {
    PasswordStrength strength;
    try {
        strength = password_strength(request);
    } catch (const ValueError& refusal) {
        show_refusal(label, QString::fromUtf8(refusal.what()));
        return;
    }
    const StrengthRating rating = strength_rating(strength);
    const std::string_view word_text = strength_word(rating);
    const QString word = QString::fromUtf8(word_text.data(), static_cast<qsizetype>(word_text.size()));
    const auto colour = strength_word_colour(rating, label.palette().color(QPalette::Window), contrast_theme_on());
    QString text = figures_text(strength, colour, word);
    QString tooltip = figures_tooltip(strength, word);
    // The generator uses the set as it is; the line says what the user may not have meant.
    if (const std::string warning = symbol_set_warning(request); !warning.empty()) {
        text += QStringLiteral("　") + QString::fromStdString(warning).toHtmlEscaped();
        tooltip += QStringLiteral(
            "\n\n記号セットの文字は、そのままパスワードに入ります。見えない文字や全角文字などは、"
            "登録を断るサイトや、別のキーボードでは同じように打てないことがあります。");
    }
    label.setText(text);
    label.setToolTip(tooltip);
}

}  // namespace zelkora
