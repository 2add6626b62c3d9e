// The window's options between runs: read back when the window is built, written when
// it closes.
#include <QCheckBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSpinBox>

#include <algorithm>
#include <climits>
#include <optional>
#include <utility>

#include "main_window.h"
#include "qt_text.h"

namespace zelkora {

namespace {

// Stores that keep no types give values back as text: the INI file on Linux gives back
// everything so, the Windows registry its booleans. Such text is taken only in the exact
// form the store itself writes; anything else is ignored, as a value of a wrong type is.
std::optional<int> stored_int(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Long:
        case QMetaType::LongLong:
            return static_cast<int>(std::clamp<qlonglong>(value.toLongLong(), INT_MIN, INT_MAX));
        case QMetaType::UInt:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
            return static_cast<int>(std::min<qulonglong>(value.toULongLong(), INT_MAX));
        case QMetaType::QString: {
            static const QRegularExpression decimal(QStringLiteral("\\A-?[0-9]+\\z"));
            const QString text = value.toString();
            bool fits = false;
            const int number = text.toInt(&fits);
            if (decimal.match(text).hasMatch() && fits)
                return number;
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

std::optional<bool> stored_bool(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (text == QLatin1String("true"))
            return true;
        if (text == QLatin1String("false"))
            return false;
    }
    return std::nullopt;
}

QString default_symbols() {
    return to_qstring(DEFAULT_SYMBOLS);
}

}  // namespace

void MainWindow::_restore_settings() {
    const QVariant length = _settings.value(QStringLiteral("length"));
    const QVariant count = _settings.value(QStringLiteral("count"));
    if (const auto value = stored_int(length))
        spinLength->setValue(*value);
    if (const auto value = stored_int(count))
        spinCount->setValue(*value);

    const std::pair<const char*, QCheckBox*> boxes[] = {
        {"digits", chkDigits},
        {"lower", chkLower},
        {"upper", chkUpper},
        {"symbols", chkSymbols},
        {"exclude_ambiguous", chkExcludeAmbiguous},
    };
    for (const auto& [kind, box] : boxes) {
        if (const auto checked = stored_bool(_settings.value(QStringLiteral("chk/") + QLatin1String(kind))))
            box->setChecked(*checked);
    }

    const QVariant symbols = _settings.value(QStringLiteral("symbols"));
    if (symbols.typeId() == QMetaType::QString && !symbols.toString().isEmpty())
        txtSymbols->setText(symbols.toString());
    else
        txtSymbols->setText(default_symbols());
}

void MainWindow::_save_settings() {
    _settings.setValue(QStringLiteral("length"), spinLength->value());
    _settings.setValue(QStringLiteral("count"), spinCount->value());

    const QString symbols = txtSymbols->text();
    _settings.setValue(QStringLiteral("symbols"), symbols.isEmpty() ? default_symbols() : symbols);

    _settings.setValue(QStringLiteral("chk/digits"), chkDigits->isChecked());
    _settings.setValue(QStringLiteral("chk/lower"), chkLower->isChecked());
    _settings.setValue(QStringLiteral("chk/upper"), chkUpper->isChecked());
    _settings.setValue(QStringLiteral("chk/symbols"), chkSymbols->isChecked());
    _settings.setValue(QStringLiteral("chk/exclude_ambiguous"), chkExcludeAmbiguous->isChecked());
    // At the session's end the process may be ended before the store's own deferred write.
    _settings.sync();
}

}  // namespace zelkora
