#include "main_window.h"

#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTextCursor>
#include <QUiLoader>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "clipboard_copy.h"
#include "errors.h"
#include "logging.h"
#include "qt_text.h"
#include "resource_lookup.h"
#include "result_fill.h"
#include "result_font.h"
#include "strength_label.h"

namespace zelkora {

namespace {

constexpr std::string_view FORM_FILE = "src/resources/ui/main_window.ui";
// Short enough for the status bar of the window at its opening width.
const QString COPY_REFUSED =
    QStringLiteral("コピーできませんでした。他のプログラムがクリップボードを使用中のようです。再度コピーしてください");

}  // namespace

void initialize_main_window_unit() {
    static std::once_flag once;
    std::call_once(once, [] {
        init_logging();
        main_window_logger();
    });
}

MainWindow::MainWindow(Policy policy) : MainWindow(current_run_context(), std::move(policy)) {}

MainWindow::MainWindow(const RunContext& context, Policy policy)
    : QMainWindow(nullptr),
      _settings(QStringLiteral("orvanel-works"), QStringLiteral("zelkora-desk")),
      _policy(std::move(policy)) {
    std::unique_ptr<QMainWindow> loaded = _load_ui(context);
    _apply_loaded_main_window(*loaded);

    spinLength = _find<QSpinBox>(QStringLiteral("spinLength"));
    spinCount = _find<QSpinBox>(QStringLiteral("spinCount"));
    chkDigits = _find<QCheckBox>(QStringLiteral("chkDigits"));
    chkLower = _find<QCheckBox>(QStringLiteral("chkLower"));
    chkUpper = _find<QCheckBox>(QStringLiteral("chkUpper"));
    chkSymbols = _find<QCheckBox>(QStringLiteral("chkSymbols"));
    chkExcludeAmbiguous = _find<QCheckBox>(QStringLiteral("chkExcludeAmbiguous"));
    txtSymbols = _find<QLineEdit>(QStringLiteral("txtSymbols"));
    btnResetSymbols = _find<QPushButton>(QStringLiteral("btnResetSymbols"));
    btnGenerate = _find<QPushButton>(QStringLiteral("btnGenerate"));
    btnClear = _find<QPushButton>(QStringLiteral("btnClear"));
    btnCopySelected = _find<QPushButton>(QStringLiteral("btnCopySelected"));
    btnCopyAll = _find<QPushButton>(QStringLiteral("btnCopyAll"));
    txtResult = _find<QPlainTextEdit>(QStringLiteral("txtResult"));
    lblStrength = findChild<QLabel*>(QStringLiteral("lblStrength"));
    lblPolicy = findChild<QLabel*>(QStringLiteral("lblPolicy"));
    _use_fixed_pitch_font(txtResult);

    _restore_settings();
    // Told to quit, or with the session ending (sign-out, shutdown, an installer's Restart
    // Manager), the window gets no close event: the options are written then too.
    connect(qApp, &QGuiApplication::commitDataRequest, this, &MainWindow::_save_settings);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &MainWindow::_save_settings);
    _apply_policy();
    _connect_signals();
    _connect_clipboard();
    _connect_strength();
    loaded.reset();

    // The form's own size is not carried over; open large enough to show every control
    // and a useful number of result lines.
    resize(sizeHint().expandedTo(QSize(640, 560)));
}

// The form names the Linux face only. No Windows has it, and where it is missing Qt's
// fallback may be a proportional face (Windows' interface font) or one drawing Latin at
// a Japanese face's widths, in which l 1 I O 0 would look alike in the very list the
// ambiguity option is for.
void MainWindow::_use_fixed_pitch_font(QWidget* widget) {
    widget->setFont(result_list_font(widget->font()));
}

std::unique_ptr<QMainWindow> MainWindow::_load_ui(const RunContext& context) {
    const std::filesystem::path ui_path = resource_path(FORM_FILE, context);
    std::error_code error;
    if (!std::filesystem::exists(ui_path, error))
        throw FileNotFoundError(".ui が見つかりません: " + native_text(ui_path));

    QUiLoader loader;
    QFile file(QString::fromStdString(native_text(ui_path)));
    std::unique_ptr<QWidget> widget;
    if (file.open(QIODevice::ReadOnly)) {
        // The loader also prints its own complaint about a damaged form; the error below
        // says it already, and a failed start reports itself in one line.
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        widget.reset(loader.load(&file, nullptr));
        qInstallMessageHandler(previous);
    }
    if (!widget)
        throw std::runtime_error("UI の読み込みに失敗しました");

    auto* window = qobject_cast<QMainWindow*>(widget.get());
    if (!window)
        throw TypeError("main_window.ui のルートは QMainWindow を想定しています");
    widget.release();
    return std::unique_ptr<QMainWindow>(window);
}

void MainWindow::_apply_loaded_main_window(QMainWindow& loaded) {
    setWindowTitle(loaded.windowTitle());
    if (QMenuBar* bar = loaded.menuBar())
        setMenuBar(bar);
    if (QStatusBar* bar = loaded.statusBar())
        setStatusBar(bar);
    QWidget* central = loaded.centralWidget();
    if (!central)
        throw std::runtime_error("UI に centralWidget がありません");
    setCentralWidget(central);
}

template <typename TWidget>
TWidget* MainWindow::_find(const QString& object_name) const {
    auto* widget = findChild<TWidget*>(object_name);
    if (!widget)
        throw std::runtime_error("UI からウィジェットが取得できません: " + object_name.toStdString());
    return widget;
}

void MainWindow::_connect_signals() {
    connect(btnGenerate, &QPushButton::clicked, this, &MainWindow::on_generate_clicked);
    connect(btnClear, &QPushButton::clicked, this, &MainWindow::on_clear_clicked);
    connect(btnCopySelected, &QPushButton::clicked, this, &MainWindow::on_copy_selected_clicked);
    connect(btnCopyAll, &QPushButton::clicked, this, &MainWindow::on_copy_all_clicked);
    connect(btnResetSymbols, &QPushButton::clicked, this, &MainWindow::on_reset_symbols_clicked);
    connect(chkSymbols, &QCheckBox::toggled, this, &MainWindow::_update_symbols_enabled);
    _update_symbols_enabled(chkSymbols->isChecked());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    _save_settings();
    QMainWindow::closeEvent(event);
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ThemeChange)
        _polish_again();
    QMainWindow::changeEvent(event);
}

void MainWindow::_polish_again() {
    QStyle* style = this->style();
    for (QWidget* widget : findChildren<QWidget*>()) {
        style->unpolish(widget);
        style->polish(widget);
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblStrength && event->type() == QEvent::PaletteChange)
        _update_strength();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::on_generate_clicked() {
    const GenerationRequest request = _form_request();
    std::size_t count = 0;
    try {
        if (const auto refusal = policy_refusal(_policy, request))
            throw ValueError(*refusal);
        count = fill_result(*txtResult, request, [this](const GenerationRequest& chunk) { return _generate(chunk); });
    } catch (const ValueError& refusal) {
        const QString message = QString::fromUtf8(refusal.what());
        QMessageBox::warning(this, QStringLiteral("エラー"), message);
        _show_status(message, 5000, StatusKind::refusal);
        return;
    } catch (const std::exception& failure) {
        // Not a refusal of the request but a failure underneath it (memory, the random
        // source). Letting it reach the event loop would end the program; say what
        // happened and keep the window usable instead.
        QMessageBox::warning(
            this, QStringLiteral("エラー"),
            QStringLiteral("パスワードを生成できませんでした: %1").arg(QString::fromUtf8(failure.what())));
        return;
    }
    _show_status(QString::number(count) + QStringLiteral(" 件生成しました"), 3000);
}

GenerationRequest MainWindow::_form_request() const {
    std::vector<std::string> kinds;
    if (chkDigits->isChecked())
        kinds.emplace_back("digits");
    if (chkLower->isChecked())
        kinds.emplace_back("lower");
    if (chkUpper->isChecked())
        kinds.emplace_back("upper");
    if (chkSymbols->isChecked())
        kinds.emplace_back("symbols");
    return {
        .length = spinLength->value(),
        .kinds = std::move(kinds),
        .count = spinCount->value(),
        .exclude_ambiguous = chkExcludeAmbiguous->isChecked(),
        .symbols = txtSymbols->text().toStdU32String(),
    };
}

void MainWindow::_connect_strength() {
    if (!lblStrength)
        return;
    connect(spinLength, &QSpinBox::valueChanged, this, &MainWindow::_update_strength);
    for (QCheckBox* box : {chkDigits, chkLower, chkUpper, chkSymbols, chkExcludeAmbiguous})
        connect(box, &QCheckBox::toggled, this, &MainWindow::_update_strength);
    connect(txtSymbols, &QLineEdit::textChanged, this, &MainWindow::_update_strength);
    lblStrength->installEventFilter(this);
    _update_strength();
}

void MainWindow::_update_strength() {
    const GenerationRequest request = _form_request();
    if (const auto refusal = policy_refusal(_policy, request))
        show_refusal(*lblStrength, QString::fromStdString(*refusal));
    else
        show_strength(*lblStrength, request);
}

void MainWindow::on_clear_clicked() {
    txtResult->clear();
    _show_status(QStringLiteral("クリアしました"), 2000);
}

void MainWindow::_copy_to_clipboard(const QString& text) {
    _clipboard->copy(text);
}

void MainWindow::_connect_clipboard() {
    _clipboard = new ClipboardCopy([this](QMimeData* data) { _put_on_clipboard(data); }, this);
    connect(_clipboard, &ClipboardCopy::copied, this,
            [this] { _show_status(QStringLiteral("クリップボードにコピーしました"), 2000); });
    // Shown until the next message: the clipboard goes on holding what it held before.
    connect(_clipboard, &ClipboardCopy::refused, this, [this] { _show_status(COPY_REFUSED, 0, StatusKind::refusal); });
}

void MainWindow::_put_on_clipboard(QMimeData* data) {
    QGuiApplication::clipboard()->setMimeData(data);
}

void MainWindow::on_copy_selected_clicked() {
    QString text = txtResult->textCursor().selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    if (text.trimmed().isEmpty()) {
        QMessageBox::information(this, QStringLiteral("情報"), QStringLiteral("選択行がありません"));
        return;
    }
    _copy_to_clipboard(without_outer_line_breaks(text));
}

void MainWindow::on_copy_all_clicked() {
    const QString text = txtResult->toPlainText();
    if (text.trimmed().isEmpty()) {
        QMessageBox::information(this, QStringLiteral("情報"), QStringLiteral("結果が空です"));
        return;
    }
    _copy_to_clipboard(without_outer_line_breaks(text));
}

void MainWindow::_update_symbols_enabled(bool enabled) {
    // A set the policy fixes stays as it is, whatever the box.
    enabled = enabled && !_policy.symbols;
    txtSymbols->setEnabled(enabled);
    btnResetSymbols->setEnabled(enabled);
}

void MainWindow::on_reset_symbols_clicked() {
    txtSymbols->setText(to_qstring(DEFAULT_SYMBOLS));
    _show_status(QStringLiteral("記号セットを既定値に戻しました"), 2000);
}

PasswordBatch MainWindow::_generate(const GenerationRequest& request) {
    return generate_passwords(request);
}

void MainWindow::_show_status(const QString& text, int timeout_ms, StatusKind kind) {
    statusBar()->showMessage(text, timeout_ms);
    // Screen readers do not read a status bar of their own accord: without this, a user
    // who cannot see it is never told that the passwords or the copy are ready.
    _announce(statusBar(), text, kind);
}

void MainWindow::_announce(QObject* source, const QString& text, StatusKind kind) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent announcement(source, text);
    announcement.setPoliteness(kind == StatusKind::refusal ? QAccessible::AnnouncementPoliteness::Assertive
                                                           : QAccessible::AnnouncementPoliteness::Polite);
    QAccessible::updateAccessibility(&announcement);
#else
    Q_UNUSED(source)
    Q_UNUSED(text)
    Q_UNUSED(kind)
#endif
}

}  // namespace zelkora
