// The administrators' policy in the window: the options restored brought inside it, the
// controls it fixes disabled, each saying that the organisation set it, a line saying so
// for all to see and hear, and no generating under a policy that is wrong.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

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
const QString POLICY_IN_FORCE = QStringLiteral("一部の設定は組織の管理者が決めています");

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
    if (lblPolicy) {
        lblPolicy->setText(POLICY_IN_FORCE);
        lblPolicy->setVisible(true);
        // Once the window is up: a keyboard user cannot reach the tooltips of disabled
        // controls, and a screen reader says nothing of a label it is not on.
        QTimer::singleShot(0, lblPolicy,
                           [label = lblPolicy] { _announce(label, POLICY_IN_FORCE, StatusKind::confirmation); });
    }
    // The strength line says why, and the log what is wrong.
    if (!_policy.problems.empty())
        btnGenerate->setEnabled(false);

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
    // A minimum of every kind the policy leaves is every one of them, for good.
    const bool all_needed =
        std::count(_policy.kinds.begin(), _policy.kinds.end(), PolicyRule::never) + _policy.minimum_kinds >= 4;
    for (std::size_t kind = 0; kind < std::size(kinds); ++kind) {
        kinds[kind]->setChecked(std::find(request.kinds.begin(), request.kinds.end(), names[kind]) !=
                                request.kinds.end());
        if (_policy.kinds[kind] != PolicyRule::user || all_needed)
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
        // Never empty, so the field's word on an empty set would mislead.
        txtSymbols->setPlaceholderText(QString());
        lock(txtSymbols);
        lock(btnResetSymbols);
    }
}

}  // namespace zelkora
