#pragma once
// The one window: its layout comes from the form file at run time, and it only wires the
// form's widgets to the engine, to the strength line, to the settings store and to the
// administrators' policy.

#include <QMainWindow>
#include <QSettings>

#include <memory>

#include "generator.h"
#include "paths.h"
#include "policy.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace zelkora {

class ClipboardCopy;

// Configures logging and obtains this unit's logger, which the resource lookup writes
// to. Runs once per process, before the application object exists; later calls do
// nothing. Throws what the logging set-up throws, and a failed call may be retried.
void initialize_main_window_unit();

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // The window under the administrators' policy, which the entry reads (an empty one
    // where they set none).
    explicit MainWindow(Policy policy);
    // Builds the window in the layout a given run context describes, so a form can be
    // tried without moving the program's own files.
    MainWindow(const RunContext& context, Policy policy);

protected:
    std::unique_ptr<QMainWindow> _load_ui(const RunContext& context);
    void _apply_loaded_main_window(QMainWindow& loaded);
    static void _use_fixed_pitch_font(QWidget* widget);

    template <typename TWidget>
    TWidget* _find(const QString& object_name) const;

    void _connect_signals();

    void _restore_settings();
    void _save_settings();
    // The administrators' policy on the restored options and on the controls: the
    // controls it fixes disabled and saying why, the length's minimum raised.
    void _apply_policy();
    void closeEvent(QCloseEvent* event) override;
    // The system switching between light and dark while the window is open. Qt 6.8's
    // windows11 style colours some widgets as it polishes them (a disabled button's text
    // among them), for the scheme of that moment, and Qt polishes them only once: without
    // a new polish, the reset button's text would stay white on a window turned light.
    void changeEvent(QEvent* event) override;
    void _polish_again();
    // A new palette on the strength line (a contrast theme switched on or off, a dark
    // palette) may change its word's colour.
    bool eventFilter(QObject* watched, QEvent* event) override;

    void on_generate_clicked();
    void on_clear_clicked();
    void _copy_to_clipboard(const QString& text);
    void _connect_clipboard();
    void on_copy_selected_clicked();
    void on_copy_all_clicked();
    void _update_symbols_enabled(bool enabled);
    void on_reset_symbols_clicked();

    // The options as the form holds them, read in the order the generate action reads them.
    GenerationRequest _form_request() const;
    // Keeps the strength line, when the form has one, in step with every option that
    // changes the passwords.
    void _connect_strength();
    void _update_strength();

    // How a status message is spoken where Qt can tell screen readers: a confirmation waits
    // until the reader has finished, a refusal interrupts it.
    enum class StatusKind { confirmation, refusal };

    // The engine call behind the generate action, and the status-bar message every action
    // ends with: tests replace them to see the request and the message with its timeout.
    virtual PasswordBatch _generate(const GenerationRequest& request);
    virtual void _show_status(const QString& text, int timeout_ms, StatusKind kind = StatusKind::confirmation);
    // Tells screen readers `text`, which `source` shows.
    static void _announce(QObject* source, const QString& text, StatusKind kind);
    // Hands a copy to the system clipboard: tests replace it with a clipboard that refuses.
    virtual void _put_on_clipboard(QMimeData* data);

private:
    QSettings _settings;
    const Policy _policy;

    QSpinBox* spinLength = nullptr;
    QSpinBox* spinCount = nullptr;
    QCheckBox* chkDigits = nullptr;
    QCheckBox* chkLower = nullptr;
    QCheckBox* chkUpper = nullptr;
    QCheckBox* chkSymbols = nullptr;
    QCheckBox* chkExcludeAmbiguous = nullptr;
    QLineEdit* txtSymbols = nullptr;
    QPushButton* btnResetSymbols = nullptr;
    QPushButton* btnGenerate = nullptr;
    QPushButton* btnClear = nullptr;
    QPushButton* btnCopySelected = nullptr;
    QPushButton* btnCopyAll = nullptr;
    QPlainTextEdit* txtResult = nullptr;
    // Not one of the widgets every form must have: a form without it works as before.
    QLabel* lblStrength = nullptr;
    // The same: the line that says an administrator set some options.
    QLabel* lblPolicy = nullptr;
    ClipboardCopy* _clipboard = nullptr;
};

}  // namespace zelkora
