#include "main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QIcon>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QUiLoader>

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include <mutex>
#include <algorithm>
#include <stdexcept>

#include "errors.h"
#include "strength_label.h"

namespace zelkora {

namespace {

constexpr std::string_view FORM_FILE = "src/resources/ui/main_window.ui";

log4cplus::Logger& unit_logger()
{
    static log4cplus::Logger logger = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("zelkora.main_window"));
    return logger;
}

std::filesystem::path utf8_path(std::string_view text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// The path as the platform writes it, in UTF-8: what messages and log lines show.
std::string native_text(const std::filesystem::path& path)
{
    const std::u8string text = std::filesystem::path(path).make_preferred().u8string();
    return std::string(text.begin(), text.end());
}

bool starts_with(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

std::string replace_all(std::string text, std::string_view from, std::string_view to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::vector<std::string> resource_candidates(std::string_view relative_path)
{
    std::vector<std::string> candidates{std::string(relative_path)};
    if (starts_with(relative_path, "src/"))
        candidates.emplace_back(relative_path.substr(4));
    if (starts_with(relative_path, "src/resources/"))
        candidates.push_back(replace_all(std::string(relative_path), "src/resources/", "zelkora/resources/"));
    return candidates;
}

std::filesystem::path join(const std::filesystem::path& base, const std::string& candidate)
{
    return candidate.empty() ? base : base / utf8_path(candidate);
}

// Only the separators between passwords go: a blank or an ideographic space at either
// end may be a character of a password, and a copy must not weaken what it copies.
QString without_outer_line_breaks(const QString& text)
{
    const auto line_break = [](QChar c) { return c == QLatin1Char('\n') || c == QLatin1Char('\r'); };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && line_break(text[begin]))
        ++begin;
    while (end > begin && line_break(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

QString to_qstring(std::u32string_view text)
{
    return QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size()));
}

// One password in UTF-16 at out; returns where it ends. Unlike fromUcs4 it keeps a
// U+FEFF at the very start of the text (fromUcs4 takes it for a byte-order mark and
// drops it); a value beyond Unicode becomes U+FFFD.
char16_t* put_utf16(char16_t* out, std::u32string_view password, bool all_in_bmp)
{
    if (all_in_bmp)
        return std::transform(password.begin(), password.end(), out, [](char32_t c) { return static_cast<char16_t>(c); });
    for (const char32_t c : password) {
        if (c > QChar::LastValidCodePoint) {
            *out++ = QChar::ReplacementCharacter;
        } else if (QChar::requiresSurrogates(c)) {
            *out++ = QChar::highSurrogate(c);
            *out++ = QChar::lowSurrogate(c);
        } else {
            *out++ = static_cast<char16_t>(c);
        }
    }
    return out;
}

// The result area's text in the form the document takes, UTF-16 with its line breaks,
// made in one pass without a joined copy.
QString result_text(const PasswordBatch& passwords)
{
    const std::u32string_view chars = passwords.characters();
    const auto pairs = std::count_if(chars.begin(), chars.end(), [](char32_t c) {
        return QChar::requiresSurrogates(c) && c <= QChar::LastValidCodePoint;
    });
    const bool all_in_bmp = std::none_of(chars.begin(), chars.end(), [](char32_t c) { return c > 0xFFFF; });
    const auto breaks = passwords.empty() ? 0 : passwords.size() - 1;
    QString text(static_cast<qsizetype>(chars.size() + breaks) + pairs, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (std::size_t i = 0; i < passwords.size(); ++i) {
        if (i > 0)
            *out++ = u'\n';
        out = put_utf16(out, passwords[i], all_in_bmp);
    }
    return text;
}

}  // namespace

void initialize_main_window_unit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        init_logging();
        unit_logger();
    });
}

std::filesystem::path resource_path(std::string_view relative_path)
{
    return resource_path(relative_path, current_run_context());
}

std::filesystem::path resource_path(std::string_view relative_path, const RunContext& context)
{
    const std::vector<std::filesystem::path> bases = get_resource_bases(context);
    const std::vector<std::string> candidates = resource_candidates(relative_path);

    std::string bases_text;
    for (const auto& base : bases)
        bases_text += (bases_text.empty() ? "" : ", ") + native_text(base);
    std::string candidates_text;
    for (const auto& candidate : candidates)
        candidates_text += (candidates_text.empty() ? "'" : ", '") + candidate + "'";

    log4cplus::Logger& logger = unit_logger();
    LOG4CPLUS_INFO(logger, to_log_text(std::string("[resource_path] frozen=") + (context.packaged ? "True" : "False")));
    LOG4CPLUS_INFO(logger, to_log_text("[resource_path] bases=[" + bases_text + "]"));
    LOG4CPLUS_INFO(logger, to_log_text("[resource_path] candidates=[" + candidates_text + "]"));

    for (const auto& base : bases) {
        for (const auto& candidate : candidates) {
            const std::filesystem::path path = join(base, candidate);
            std::error_code error;
            if (std::filesystem::exists(path, error)) {
                LOG4CPLUS_INFO(logger, to_log_text("[resource_path] hit=" + native_text(path)));
                return path;
            }
        }
    }
    LOG4CPLUS_INFO(logger, LOG4CPLUS_TEXT("[resource_path] miss"));
    return join(bases.front(), candidates.front());
}

MainWindow::MainWindow()
    : MainWindow(current_run_context())
{
}

MainWindow::MainWindow(const RunContext& context)
    : QMainWindow(nullptr)
    , _settings(QStringLiteral("orvanel-works"), QStringLiteral("zelkora-desk"))
{
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
    _use_fixed_pitch_font(txtResult);

    _restore_settings();
    _connect_signals();
    _connect_strength();
    loaded.reset();

    // The form's own size is not carried over; open large enough to show every control
    // and a useful number of result lines.
    resize(sizeHint().expandedTo(QSize(640, 560)));
}

// The form names the Linux face only. No Windows has it, and Qt would fall back to the
// proportional interface font there, in which l 1 I O 0 look alike in the very list the
// ambiguity option is for. Every Windows has Consolas and Japanese Windows MS Gothic:
// ask for those first, the form's face after them, and any fixed-pitch face last.
void MainWindow::_use_fixed_pitch_font(QWidget* widget)
{
    QFont font = widget->font();
    font.setFamilies({QStringLiteral("Consolas"), QStringLiteral("MS Gothic"), font.family()});
    font.setStyleHint(QFont::Monospace);
    widget->setFont(font);
}

std::unique_ptr<QMainWindow> MainWindow::_load_ui(const RunContext& context)
{
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
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
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

void MainWindow::_apply_loaded_main_window(QMainWindow& loaded)
{
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
TWidget* MainWindow::_find(const QString& object_name) const
{
    auto* widget = findChild<TWidget*>(object_name);
    if (!widget)
        throw std::runtime_error("UI からウィジェットが取得できません: " + object_name.toStdString());
    return widget;
}

void MainWindow::_connect_signals()
{
    connect(btnGenerate, &QPushButton::clicked, this, &MainWindow::on_generate_clicked);
    connect(btnClear, &QPushButton::clicked, this, &MainWindow::on_clear_clicked);
    connect(btnCopySelected, &QPushButton::clicked, this, &MainWindow::on_copy_selected_clicked);
    connect(btnCopyAll, &QPushButton::clicked, this, &MainWindow::on_copy_all_clicked);
    connect(btnResetSymbols, &QPushButton::clicked, this, &MainWindow::on_reset_symbols_clicked);
    connect(chkSymbols, &QCheckBox::toggled, this, &MainWindow::_update_symbols_enabled);
    _update_symbols_enabled(chkSymbols->isChecked());
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    _save_settings();
    QMainWindow::closeEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lblStrength && event->type() == QEvent::PaletteChange)
        _update_strength();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::on_generate_clicked()
{
    const GenerationRequest request = _form_request();

    PasswordBatch passwords;
    try {
        passwords = _generate(request);
    } catch (const ValueError& refusal) {
        const QString message = QString::fromUtf8(refusal.what());
        QMessageBox::warning(this, QStringLiteral("エラー"), message);
        _show_status(message, 5000);
        return;
    } catch (const std::exception& failure) {
        // Not a refusal of the request but a failure underneath it (memory, the random
        // source). Letting it reach the event loop would end the program; say what
        // happened and keep the window usable instead.
        QMessageBox::warning(this, QStringLiteral("エラー"),
                             QStringLiteral("パスワードを生成できませんでした: %1").arg(QString::fromUtf8(failure.what())));
        return;
    }

    const std::size_t count = passwords.size();
    QString text = result_text(passwords);
    // The batch is gone before the area copies the text: the largest one is twice the
    // size of the text.
    passwords = PasswordBatch();
    txtResult->setPlainText(text);
    _show_status(QString::number(count) + QStringLiteral(" 件生成しました"), 3000);
}

GenerationRequest MainWindow::_form_request() const
{
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

void MainWindow::_connect_strength()
{
    if (!lblStrength)
        return;
    connect(spinLength, &QSpinBox::valueChanged, this, &MainWindow::_update_strength);
    for (QCheckBox* box : {chkDigits, chkLower, chkUpper, chkSymbols, chkExcludeAmbiguous})
        connect(box, &QCheckBox::toggled, this, &MainWindow::_update_strength);
    connect(txtSymbols, &QLineEdit::textChanged, this, &MainWindow::_update_strength);
    lblStrength->installEventFilter(this);
    _update_strength();
}

void MainWindow::_update_strength()
{
    show_strength(*lblStrength, _form_request());
}

void MainWindow::on_clear_clicked()
{
    txtResult->clear();
    _show_status(QStringLiteral("クリアしました"), 2000);
}

void MainWindow::_copy_to_clipboard(const QString& text)
{
    // Besides the plain text, mark the copy as a secret, so clipboard managers and
    // clipboard histories leave the password out. What is pasted stays the same.
    auto* data = new QMimeData;
    data->setText(text);
#if defined(Q_OS_WIN)
    data->setData(QStringLiteral("ExcludeClipboardContentFromMonitorProcessing"), QByteArray(4, '\0'));
#elif defined(Q_OS_MACOS)
    data->setData(QStringLiteral("application/x-nspasteboard-concealed-type"), QByteArray());
#else
    data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
#endif
    QGuiApplication::clipboard()->setMimeData(data);
    _show_status(QStringLiteral("クリップボードにコピーしました"), 2000);
}

void MainWindow::on_copy_selected_clicked()
{
    QString text = txtResult->textCursor().selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    if (text.trimmed().isEmpty()) {
        QMessageBox::information(this, QStringLiteral("情報"), QStringLiteral("選択行がありません"));
        return;
    }
    _copy_to_clipboard(without_outer_line_breaks(text));
}

void MainWindow::on_copy_all_clicked()
{
    const QString text = txtResult->toPlainText();
    if (text.trimmed().isEmpty()) {
        QMessageBox::information(this, QStringLiteral("情報"), QStringLiteral("結果が空です"));
        return;
    }
    _copy_to_clipboard(without_outer_line_breaks(text));
}

void MainWindow::_update_symbols_enabled(bool enabled)
{
    txtSymbols->setEnabled(enabled);
    btnResetSymbols->setEnabled(enabled);
}

void MainWindow::on_reset_symbols_clicked()
{
    txtSymbols->setText(to_qstring(DEFAULT_SYMBOLS));
    _show_status(QStringLiteral("記号セットを既定値に戻しました"), 2000);
}

PasswordBatch MainWindow::_generate(const GenerationRequest& request)
{
    return generate_passwords(request);
}

void MainWindow::_show_status(const QString& text, int timeout_ms)
{
    if (QStatusBar* bar = statusBar())
        bar->showMessage(text, timeout_ms);
}

int main(int& argc, char** argv)
{
    std::unique_ptr<QApplication> created;
    QCoreApplication* application = QCoreApplication::instance();
    if (!application) {
        created = std::make_unique<QApplication>(argc, argv);
        application = created.get();
    }
    // A desktop shell finds the desktop entry, and with it the icon, by this name (the
    // Wayland app id); under X11 the window carries the icon itself, in every size the
    // executable holds, so each place can take the one that fits.
    QGuiApplication::setDesktopFileName(QStringLiteral(ZELKORA_APP_ID));
    QIcon icon;
    for (const QFileInfo& size : QDir(QStringLiteral(":/icons/window")).entryInfoList(QDir::Files))
        icon.addFile(size.filePath());
    QApplication::setWindowIcon(icon);
    MainWindow window;
    window.show();
    return application->exec();
}

}  // namespace zelkora
