// The administrators' policy in the window: the options restored brought inside it, and
// the controls it fixes disabled, each saying that the organisation set it.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "logging.h"
#include "main_window.h"
#include "qt_text.h"
#include "resource_lookup.h"

namespace zelkora {

namespace {

const QString SET_BY_ORGANISATION = QStringLiteral("この設定は組織の管理者が決めているため、変更できません。");

// The form's own explanation stays, above the reason the control cannot be changed.
void lock(QWidget* control) {
    control->setEnabled(false);
    const QString own = control->toolTip();
    control->setToolTip(own.isEmpty() ? SET_BY_ORGANISATION : own + QStringLiteral("\n\n") + SET_BY_ORGANISATION);
}

}  // namespace

void MainWindow::_apply_policy() {
    // Where an administrator looks first when the window refuses to generate.
    for (const std::string& problem : _policy.problems)
        LOG4CPLUS_WARN(main_window_logger(), to_log_text("[policy] " + problem));
    if (_policy.empty())
        return;

    GenerationRequest request = _form_request();
    bring_inside(_policy, request);

    if (_policy.minimum_length > 0) {
        // Raises a shorter length with it.
        spinLength->setMinimum(std::max(spinLength->minimum(), _policy.minimum_length));
        spinLength->setToolTip(
            QStringLiteral("組織の管理者が、%1 文字以上と決めています。").arg(_policy.minimum_length));
    }
    QCheckBox* const kinds[] = {chkDigits, chkLower, chkUpper, chkSymbols};
    const char* const names[] = {"digits", "lower", "upper", "symbols"};
    for (std::size_t kind = 0; kind < std::size(kinds); ++kind) {
        kinds[kind]->setChecked(std::find(request.kinds.begin(), request.kinds.end(), names[kind]) !=
                                request.kinds.end());
        if (_policy.kinds[kind] != PolicyRule::user)
            lock(kinds[kind]);
        else if (_policy.minimum_kinds > 1)
            kinds[kind]->setToolTip(QStringLiteral("組織の管理者が、数字・英小文字・英大文字・記号のうち %1 "
                                                   "種類以上を使うと決めています。")
                                        .arg(_policy.minimum_kinds));
    }
    chkExcludeAmbiguous->setChecked(request.exclude_ambiguous);
    if (_policy.exclude_ambiguous != PolicyRule::user)
        lock(chkExcludeAmbiguous);
    if (_policy.symbols) {
        txtSymbols->setText(to_qstring(*_policy.symbols));
        lock(txtSymbols);
        lock(btnResetSymbols);
    }
}

}  // namespace zelkora
