#include "result_font.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainterPath>
#include <QStringList>

#include <vector>

namespace zelkora {

namespace {

constexpr char AMBIGUOUS[] = "01IOl";

}  // namespace

bool tells_ambiguous_apart(const QFont& font) {
    const QFontMetricsF metrics(font);
    const qreal advance = metrics.horizontalAdvance(QLatin1Char('0'));
    for (char c = '!'; c <= '~'; ++c) {
        if (!qFuzzyCompare(metrics.horizontalAdvance(QLatin1Char(c)), advance))
            return false;
    }
    // Compared as outlines, which no hinting or anti-aliasing blurs: one glyph drawn for
    // two of them makes the face useless here.
    std::vector<QPainterPath> outlines;
    for (const char* c = AMBIGUOUS; *c != '\0'; ++c) {
        QPainterPath outline;
        outline.addText(0, 0, font, QString(QLatin1Char(*c)));
        for (const QPainterPath& other : outlines) {
            if (outline == other)
                return false;
        }
        outlines.push_back(outline);
    }
    return true;
}

QFont result_list_font(const QFont& form_font) {
    const QStringList faces{QStringLiteral("Consolas"), QStringLiteral("MS Gothic"), form_font.family(),
                            QStringLiteral("DejaVu Sans Mono")};
    QFont font = form_font;
    font.setStyleHint(QFont::Monospace);
    for (const QString& face : faces) {
        if (!QFontDatabase::hasFamily(face))
            continue;
        font.setFamilies({face});
        if (tells_ambiguous_apart(font))
            return font;
    }
    font.setFamilies(faces);
    return font;
}

}  // namespace zelkora
