#include <QCheckBox>
#include <QLabel>
#include <QClipboard>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QFontInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QtTest>

#include <log4cplus/appender.h>
#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/spi/loggingevent.h>

#include "errors.h"
#include "strength_label.h"
#include "window_fixture.h"

using zelkora::GenerationRequest;

namespace {

const QStringList WIDGETS[] = {
    {"QSpinBox", "spinLength"}, {"QSpinBox", "spinCount"}, {"QCheckBox", "chkDigits"},
    {"QCheckBox", "chkLower"}, {"QCheckBox", "chkUpper"}, {"QCheckBox", "chkSymbols"},
    {"QCheckBox", "chkExcludeAmbiguous"}, {"QLineEdit", "txtSymbols"}, {"QPushButton", "btnResetSymbols"},
    {"QPushButton", "btnGenerate"}, {"QPushButton", "btnClear"}, {"QPushButton", "btnCopySelected"},
    {"QPushButton", "btnCopyAll"}, {"QPlainTextEdit", "txtResult"},
};

// A form with the fourteen widgets nested in a tab page and a group box. `changes`
// maps an object name to another class, or to "" to leave the widget out.
QByteArray form_xml(const QString& root = "QMainWindow", bool central = true,
                    const QMap<QString, QString>& changes = {})
{
    QString widgets;
    for (const auto& row : WIDGETS) {
        const QString cls = changes.value(row[1], row[0]);
        if (!cls.isEmpty())
            widgets += QString("<item><widget class=\"%1\" name=\"%2\"/></item>").arg(cls, row[1]);
    }
    const QString body = QString("<widget class=\"QTabWidget\" name=\"tabs\"><widget class=\"QWidget\" name=\"page\">"
                                 "<layout class=\"QVBoxLayout\"><item><widget class=\"QGroupBox\" name=\"group\">"
                                 "<layout class=\"QVBoxLayout\">%1</layout></widget></item></layout></widget></widget>")
                             .arg(widgets);
    const QString inner = central ? QString("<widget class=\"QWidget\" name=\"central\">"
                                            "<layout class=\"QVBoxLayout\"><item>%1</item></layout></widget>")
                                        .arg(body)
                                  : QString();
    return QString("<?xml version=\"1.0\"?><ui version=\"4.0\"><widget class=\"%1\" name=\"Root\">"
                   "<property name=\"geometry\"><rect><x>0</x><y>0</y><width>123</width><height>77</height></rect></property>"
                   "<property name=\"windowTitle\"><string>試験用の窓</string></property>%2</widget></ui>")
        .arg(root, inner)
        .toUtf8();
}

class CaptureAppender : public log4cplus::Appender {
public:
    ~CaptureAppender() override { destructorImpl(); }
    void close() override {}
    QStringList lines;

protected:
    void append(const log4cplus::spi::InternalLoggingEvent& event) override
    {
        lines << QString::fromStdString(zelkora::from_log_text(event.getMessage()));
    }
};

// A path as the program shows it in messages and log lines: with the platform's separators.
QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// Runs `action`, which is expected to throw, and names what it threw.
QString thrown(const std::function<void()>& action)
{
    try {
        action();
    } catch (const zelkora::FileNotFoundError& error) {
        return QString("FileNotFoundError: ") + QString::fromUtf8(error.what());
    } catch (const zelkora::TypeError& error) {
        return QString("TypeError: ") + QString::fromUtf8(error.what());
    } catch (const std::runtime_error& error) {
        return QString("RuntimeError: ") + QString::fromUtf8(error.what());
    }
    return "nothing";
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    CaptureAppender* _log = nullptr;
    std::unique_ptr<IsolatedSettings> _settings;
    std::unique_ptr<ProgramLayout> _layout;

    std::unique_ptr<RecordingWindow> real_window() { return std::make_unique<RecordingWindow>(); }

private slots:
    void initTestCase()
    {
        _log = new CaptureAppender;
        log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("zelkora.main_window")).addAppender(log4cplus::SharedAppenderPtr(_log));
    }
    void init()
    {
        _settings = std::make_unique<IsolatedSettings>();
        _layout = std::make_unique<ProgramLayout>();
        _log->lines.clear();
    }
    void cleanup() { _layout.reset(); _settings.reset(); }

    void resource_path_probes_bases_then_spellings_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("candidates");
        const QString form = "src/resources/ui/main_window.ui";
        const QString all = "['src/resources/ui/main_window.ui', 'resources/ui/main_window.ui', "
                            "'zelkora/resources/ui/main_window.ui']";
        QTest::newRow("first base, first spelling") << form << QStringList{"E/src/resources/ui/main_window.ui"}
                                                    << "E/src/resources/ui/main_window.ui" << all;
        QTest::newRow("first base wins over a later spelling")
            << form << QStringList{"E/zelkora/resources/ui/main_window.ui", "E/src/src/resources/ui/main_window.ui"}
            << "E/zelkora/resources/ui/main_window.ui" << all;
        QTest::newRow("second base, third spelling") << form << QStringList{"E/src/zelkora/resources/ui/main_window.ui"}
                                                     << "E/src/zelkora/resources/ui/main_window.ui" << all;
        QTest::newRow("a directory counts") << form << QStringList{"E/resources/ui/main_window.ui/"}
                                            << "E/resources/ui/main_window.ui" << all;
        QTest::newRow("nothing: the path under the first base")
            << form << QStringList{} << "E/src/resources/ui/main_window.ui" << all;
        QTest::newRow("src but not resources") << "src/a.txt" << QStringList{"E/a.txt"} << "E/a.txt"
                                               << "['src/a.txt', 'a.txt']";
        QTest::newRow("every occurrence replaced")
            << "src/resources/x/src/resources/y" << QStringList{} << "E/src/resources/x/src/resources/y"
            << "['src/resources/x/src/resources/y', 'resources/x/src/resources/y', "
               "'zelkora/resources/x/zelkora/resources/y']";
        QTest::newRow("prefixes are case-sensitive") << "SRC/resources/a" << QStringList{} << "E/SRC/resources/a"
                                                     << "['SRC/resources/a']";
        QTest::newRow("backslashes are not separators") << "src\\resources\\a" << QStringList{}
                                                        << "E/src\\resources\\a" << "['src\\resources\\a']";
    }
    void resource_path_probes_bases_then_spellings()
    {
        QFETCH(QString, relative);
        QFETCH(QStringList, existing);
        QFETCH(QString, expected);
        QFETCH(QString, candidates);
        for (const auto& entry : existing) {
            if (entry.endsWith('/'))
                QDir().mkpath(_layout->path(entry));
            else
                _layout->write(entry, "x");
        }
        const auto found = zelkora::resource_path(relative.toStdString(), _layout->context());
        // Windows takes either separator; the log shows its own.
        QCOMPARE(QDir::fromNativeSeparators(QString::fromStdString(found.string())),
                 QDir::fromNativeSeparators(_layout->path(expected)));

        const QString last =
            existing.isEmpty() ? "[resource_path] miss" : "[resource_path] hit=" + shown(_layout->path(expected));
        QCOMPARE(_log->lines, (QStringList{
                                  "[resource_path] frozen=True",
                                  "[resource_path] bases=[" + shown(_layout->path("E")) + ", "
                                      + shown(_layout->path("E/src")) + "]",
                                  "[resource_path] candidates=" + candidates,
                                  last,
                              }));
    }

    void bad_forms_stop_construction_data()
    {
        QTest::addColumn<QByteArray>("form");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty file") << QByteArray("") << "RuntimeError: UI の読み込みに失敗しました";
        QTest::newRow("not a form") << QByteArray("hello") << "RuntimeError: UI の読み込みに失敗しました";
        QTest::newRow("plain widget root")
            << form_xml("QWidget") << "TypeError: main_window.ui のルートは QMainWindow を想定しています";
        QTest::newRow("no central widget") << form_xml("QMainWindow", false)
                                           << "RuntimeError: UI に centralWidget がありません";
        QTest::newRow("spinLength of another class")
            << form_xml("QMainWindow", true, {{"spinLength", "QDoubleSpinBox"}})
            << "RuntimeError: UI からウィジェットが取得できません: spinLength";
        QTest::newRow("two missing, the first reported")
            << form_xml("QMainWindow", true, {{"txtResult", ""}, {"btnClear", ""}})
            << "RuntimeError: UI からウィジェットが取得できません: btnClear";
    }
    void bad_forms_stop_construction()
    {
        QFETCH(QByteArray, form);
        QFETCH(QString, error);
        _layout->write("E/src/resources/ui/main_window.ui", form);
        QCOMPARE(thrown([&] { RecordingWindow window(_layout->context()); }), error);
        QVERIFY(!_settings->holds_anything());
    }

    void missing_form_names_the_fallback_path()
    {
        QCOMPARE(thrown([&] { RecordingWindow window(_layout->context()); }),
                 "FileNotFoundError: .ui が見つかりません: " + shown(_layout->path("E/src/resources/ui/main_window.ui")));
        QCOMPARE(_log->lines.last(), "[resource_path] miss");
    }

    void nested_form_without_bars_builds()
    {
        _layout->write("E/zelkora/resources/ui/main_window.ui", form_xml());
        RecordingWindow window(_layout->context());
        QCOMPARE(window.windowTitle(), "試験用の窓");
        QVERIFY(window.menuBar());
        QVERIFY(window.statusBar());
        QVERIFY(window.width() != 123);
        QVERIFY(window.widget<QPlainTextEdit>("txtResult"));
        // No strength line in this form: every option still changes, and generating works.
        QVERIFY(!window.widget<QLabel>("lblStrength"));
        window.widget<QSpinBox>("spinLength")->setValue(4);
        window.widget<QCheckBox>("chkDigits")->setChecked(true);
        window.widget<QLineEdit>("txtSymbols")->setText("abc");
        window.engine = [](const GenerationRequest&) { return zelkora::PasswordBatch{U"4444"}; };
        window.widget<QPushButton>("btnGenerate")->click();
        QCOMPARE(window.widget<QPlainTextEdit>("txtResult")->toPlainText(), "4444");
    }

    // l 1 I O 0 stay apart only in a fixed-pitch face: the form's own on Linux, and one
    // still where the face the form names does not exist (as on Windows).
    void result_list_uses_a_fixed_pitch_face()
    {
        const auto window = real_window();
        auto* result = window->widget<QPlainTextEdit>("txtResult");
        const QFontInfo shown(result->font());
        QVERIFY2(shown.fixedPitch(), qPrintable(shown.family()));
#if !defined(_WIN32)
        QCOMPARE(shown.family(), "DejaVu Sans Mono");
        // Wine has neither Windows' faces nor a fixed-pitch fallback of its own to show this.
        QPlainTextEdit elsewhere;
        elsewhere.setFont(QFont(QStringLiteral("A Face No Machine Has"), 11));
        RecordingWindow::_use_fixed_pitch_font(&elsewhere);
        const QFontInfo fallback(elsewhere.font());
        QVERIFY2(fallback.fixedPitch(), qPrintable(fallback.family()));
#endif
    }

    // Each row changes one or two options from the form's defaults (16 characters, every
    // kind, nothing left out, the default symbol set): the line must follow each kind of
    // change before anything is generated.
    void strength_line_follows_the_options_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QStringList>("unchecked");
        QTest::addColumn<bool>("exclude");
        QTest::addColumn<QString>("symbols");  // null: left as it is
        QTest::addColumn<QString>("shown");
        const QStringList none;
        QTest::newRow("defaults") << 16 << none << false << QString() << "強度: 約 102 ビット（強い）";
        QTest::newRow("8 characters") << 8 << none << false << QString() << "強度: 約 50 ビット（弱い）";
        QTest::newRow("12 characters") << 12 << none << false << QString() << "強度: 約 76 ビット（普通）";
        QTest::newRow("20 characters") << 20 << none << false << QString() << "強度: 約 128 ビット（とても強い）";
        QTest::newRow("too short") << 3 << none << false << QString() << "長さが短すぎます";
        QTest::newRow("no symbols") << 16 << QStringList{"chkSymbols"} << false << QString() << "強度: 約 95 ビット（強い）";
        QTest::newRow("no kind") << 16 << QStringList{"chkDigits", "chkLower", "chkUpper", "chkSymbols"} << false << QString()
                                 << "少なくとも1種類を指定してください";
        QTest::newRow("leave out 0 1 I O l") << 16 << none << true << QString() << "強度: 約 101 ビット（強い）";
        QTest::newRow("letters in the symbol set") << 16 << none << false << "abc" << "強度: 92 ビット以上（強い）";
        QTest::newRow("only ambiguous symbols, left out") << 16 << none << true << "01" << "候補文字が空です";
    }
    void strength_line_follows_the_options()
    {
        QFETCH(int, length);
        QFETCH(QStringList, unchecked);
        QFETCH(bool, exclude);
        QFETCH(QString, symbols);
        QFETCH(QString, shown);
        auto window = real_window();
        window->widget<QSpinBox>("spinLength")->setValue(length);
        for (const auto& name : unchecked)
            window->widget<QCheckBox>(qPrintable(name))->setChecked(false);
        window->widget<QCheckBox>("chkExcludeAmbiguous")->setChecked(exclude);
        if (!symbols.isNull())
            window->widget<QLineEdit>("txtSymbols")->setText(symbols);
        const auto* label = window->widget<QLabel>("lblStrength");
        QCOMPARE(QTextDocumentFragment::fromHtml(label->text()).toPlainText(), shown);
        QVERIFY(window->requests.empty());
        if (shown.startsWith("強度"))  // the tooltip names the figure the word stands for
            QVERIFY2(label->toolTip().contains("2^-"), qPrintable(label->toolTip()));
    }

    // Exact figures to the nearest tenth; lower bounds rounded down, never up.
    void strength_tooltip_figures_data()
    {
        QTest::addColumn<QString>("symbols");
        QTest::addColumn<QStringList>("figures");
        QTest::newRow("exact, defaults") << QString() << QStringList{"約 102.8 ビット", "2^-102.1 で"};
        QTest::newRow("bounds, letters in the symbol set") << "abc" << QStringList{"92.9 ビット以上", "2^-82.3 以下"};
    }
    void strength_tooltip_figures()
    {
        QFETCH(QString, symbols);
        QFETCH(QStringList, figures);
        auto window = real_window();
        if (!symbols.isNull())
            window->widget<QLineEdit>("txtSymbols")->setText(symbols);
        const QString tip = window->widget<QLabel>("lblStrength")->toolTip();
        for (const auto& figure : figures)
            QVERIFY2(tip.contains(figure), qPrintable(tip));
    }

    // Every word on every window colour it meets reaches WCAG's 4.5:1 for normal text
    // (Fusion light and dark, Windows light and white, dark palettes down to black).
    void strength_word_readable_on_every_palette()
    {
        const auto luminance = [](const QColor& c) {
            const auto linear = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
            return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
        };
        for (const char* window : {"#efefef", "#f0f0f0", "#ffffff", "#353535", "#2d2d2d", "#202020", "#000000"})
            for (double bits : {40.0, 70.0, 100.0, 128.0}) {
                const double on = luminance(QColor(window));
                const double word = luminance(*zelkora::strength_word_colour(bits, QColor(window), false));
                QVERIFY2((std::max(on, word) + 0.05) / (std::min(on, word) + 0.05) >= 4.5, qPrintable(QStringLiteral("%1 bits on %2").arg(bits).arg(window)));
            }
        QVERIFY(!zelkora::strength_word_colour(100, QColor("#000000"), true));  // a contrast theme's own colours

        auto window = real_window();  // a new palette is followed at once
        window->setPalette(QPalette(QColor("#353535")));
        QVERIFY(window->widget<QLabel>("lblStrength")->text().contains("#a5d6a7"));
    }

    void real_form_builds_a_usable_window()
    {
        auto window = real_window();
        QVERIFY(!window->windowTitle().isEmpty());
        for (const auto& row : WIDGETS)
            QVERIFY2(window->findChild<QWidget*>(row[1])->inherits(row[0].toLatin1()), qPrintable(row[1]));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        for (const auto& row : WIDGETS)  // no control pushed out of sight at the initial size
            QVERIFY2(window->findChild<QWidget*>(row[1])->visibleRegion().boundingRect().height() > 5, qPrintable(row[1]));
    }

    void generate_passes_the_form_to_the_engine_in_kind_order()
    {
        auto window = real_window();
        window->widget<QCheckBox>("chkDigits")->setChecked(true);
        window->widget<QCheckBox>("chkLower")->setChecked(false);
        window->widget<QCheckBox>("chkUpper")->setChecked(true);
        window->widget<QCheckBox>("chkSymbols")->setChecked(false);
        window->widget<QCheckBox>("chkExcludeAmbiguous")->setChecked(true);
        window->widget<QSpinBox>("spinLength")->setValue(9);
        window->widget<QSpinBox>("spinCount")->setValue(3);
        window->widget<QLineEdit>("txtSymbols")->setText(" ab ");
        window->widget<QPushButton>("btnGenerate")->click();

        QCOMPARE(window->requests.size(), 1u);
        const GenerationRequest& request = window->requests[0];
        QCOMPARE(request.kinds, (std::vector<std::string>{"digits", "upper"}));
        QCOMPARE(request.length, 9);
        QCOMPARE(request.count, 3);
        QVERIFY(request.exclude_ambiguous);
        QVERIFY(request.symbols == U" ab ");
        const QStringList lines = window->widget<QPlainTextEdit>("txtResult")->toPlainText().split('\n');
        QCOMPARE(lines.size(), 3);
        for (const auto& line : lines)
            QVERIFY2(QRegularExpression("\\A[2-9A-HJ-NP-Z]{9}\\z").match(line).hasMatch(), qPrintable(line));
        QCOMPARE(window->statuses.back(), (std::pair<QString, int>{"3 件生成しました", 3000}));
        QCOMPARE(window->statusBar()->currentMessage(), "3 件生成しました");
    }

    void refused_request_warns_then_reports_and_keeps_the_result()
    {
        auto window = real_window();
        auto* result = window->widget<QPlainTextEdit>("txtResult");
        result->setPlainText("earlier");
        for (const char* box : {"chkDigits", "chkLower", "chkUpper", "chkSymbols"})
            window->widget<QCheckBox>(box)->setChecked(false);
        ModalBoxCloser boxes;
        window->widget<QPushButton>("btnGenerate")->click();
        const QString message = "少なくとも1種類を指定してください";
        QCOMPARE(boxes.seen, (std::vector<std::pair<QString, QString>>{{"エラー", message}}));
        QCOMPARE(window->statuses, (std::vector<std::pair<QString, int>>{{message, 5000}}));
        QCOMPARE(result->toPlainText(), "earlier");
    }

    void engine_failure_is_shown_and_the_window_stays_usable()
    {
        auto window = real_window();
        ModalBoxCloser boxes;
        window->engine = [](const GenerationRequest&) -> zelkora::PasswordBatch { throw std::bad_alloc(); };
        window->widget<QPushButton>("btnGenerate")->click();
        QCOMPARE(boxes.seen.size(), 1u);
        QCOMPARE(boxes.seen[0].first, "エラー");
        QVERIFY(boxes.seen[0].second.contains("std::bad_alloc"));

        window->engine = nullptr;
        window->widget<QPushButton>("btnGenerate")->click();
        QCOMPARE(window->widget<QPlainTextEdit>("txtResult")->toPlainText().count('\n'), 9);
    }

    void pasted_symbol_sets_give_exactly_their_characters_data()
    {
        QTest::addColumn<QString>("symbols");
        QTest::addColumn<QString>("allowed");
        const QString replacement(QChar::ReplacementCharacter);
        QTest::newRow("lone surrogates") << QString(QChar(0xD800)) + "a" + QChar(0xDC00) << replacement + "a";
        QTest::newRow("outside the basic plane") << "😀x😀" << "😀x";
        QTest::newRow("a nul and a tab") << QString(QChar(0)) + '\t' << QString(QChar(0)) + '\t';
        QTest::newRow("blanks only") << "   " << " ";
        // U+FEFF opens the text: it is a character, not a byte-order mark to drop.
        QTest::newRow("zero-width no-break space") << QString(QChar(0xFEFF)) << QString(QChar(0xFEFF));
    }
    void pasted_symbol_sets_give_exactly_their_characters()
    {
        QFETCH(QString, symbols);
        QFETCH(QString, allowed);
        auto window = real_window();
        for (const char* box : {"chkDigits", "chkLower", "chkUpper"})
            window->widget<QCheckBox>(box)->setChecked(false);
        window->widget<QLineEdit>("txtSymbols")->setText(symbols);
        window->widget<QSpinBox>("spinLength")->setValue(6);
        window->widget<QPushButton>("btnGenerate")->click();

        const QList<uint> allowed_points = allowed.toUcs4();
        const QStringList lines = window->widget<QPlainTextEdit>("txtResult")->toPlainText().split('\n');
        QCOMPARE(lines.size(), 10);
        for (const auto& line : lines) {
            const QList<uint> points = line.toUcs4();
            QCOMPARE(points.size(), 6);
            for (uint point : points)
                QVERIFY2(allowed_points.contains(point), qPrintable(QString::number(point, 16)));
        }
    }

    void largest_request_the_form_allows()
    {
        auto window = real_window();
        window->widget<QSpinBox>("spinLength")->setValue(100000);
        window->widget<QSpinBox>("spinCount")->setValue(100000);
        window->widget<QPushButton>("btnGenerate")->click();
        const QStringList lines = window->widget<QPlainTextEdit>("txtResult")->toPlainText().split('\n');
        QCOMPARE(lines.size(), 10000);
        for (const auto& line : lines)
            QCOMPARE(line.size(), 1024);
        QCOMPARE(window->statuses.back().first, "10000 件生成しました");
    }

    void copy_selected_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("copied");  // empty: the box instead
        QTest::newRow("no selection") << "abc\ndef" << 0 << 0 << "";
        QTest::newRow("blanks and line breaks only") << "abc\n  \n\ndef" << 3 << 7 << "";
        QTest::newRow("two whole lines") << "abc\ndef\nghi" << 0 << 8 << "abc\ndef";
        QTest::newRow("part of a line") << "abcdef\nghi" << 2 << 4 << "cd";
        QTest::newRow("only the line breaks at the ends go") << " ab \ncd \n" << 0 << 9 << " ab \ncd ";
        QTest::newRow("blank symbols stay") << "x  \n  y\n" << 0 << 8 << "x  \n  y";
        QTest::newRow("ideographic spaces stay") << "\u3000a\u3000\nb" << 0 << 4 << "\u3000a\u3000";
    }
    void copy_selected()
    {
        QFETCH(QString, text);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, copied);
        auto window = real_window();
        auto* result = window->widget<QPlainTextEdit>("txtResult");
        result->setPlainText(text);
        QTextCursor cursor = result->textCursor();
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        result->setTextCursor(cursor);
        QGuiApplication::clipboard()->setText("before");
        ModalBoxCloser boxes;
        window->widget<QPushButton>("btnCopySelected")->click();
        expect_copy(*window, boxes, copied, "選択行がありません");
    }

    void copy_all_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("copied");
        QTest::newRow("empty") << "" << "";
        QTest::newRow("white space only") << " \n\t\n" << "";
        QTest::newRow("every line, only the line breaks at the ends go") << "\n  ab\ncd  \nef \n" << "  ab\ncd  \nef ";
        QTest::newRow("ideographic spaces stay") << "\u3000ab\ncd\u3000" << "\u3000ab\ncd\u3000";
    }
    void copy_all()
    {
        QFETCH(QString, text);
        QFETCH(QString, copied);
        auto window = real_window();
        window->widget<QPlainTextEdit>("txtResult")->setPlainText(text);
        QGuiApplication::clipboard()->setText("before");
        ModalBoxCloser boxes;
        window->widget<QPushButton>("btnCopyAll")->click();
        expect_copy(*window, boxes, copied, "結果が空です");
    }

    // A password of a letter and a blank always has the blank at one of its ends: both
    // copies must carry it, or the clipboard holds a weaker password than the one shown.
    void copies_keep_blank_symbols_data()
    {
        QTest::addColumn<QString>("blank");
        QTest::newRow("space") << " ";
        QTest::newRow("ideographic space") << "\u3000";
    }
    void copies_keep_blank_symbols()
    {
        QFETCH(QString, blank);
        auto window = real_window();
        window->widget<QSpinBox>("spinLength")->setValue(2);
        window->widget<QSpinBox>("spinCount")->setValue(1);
        window->widget<QCheckBox>("chkDigits")->setChecked(false);
        window->widget<QCheckBox>("chkUpper")->setChecked(false);
        window->widget<QLineEdit>("txtSymbols")->setText(blank);
        window->widget<QPushButton>("btnGenerate")->click();
        auto* result = window->widget<QPlainTextEdit>("txtResult");
        const QString password = result->toPlainText();
        QCOMPARE(password.size(), 2);
        QVERIFY(password.startsWith(blank) || password.endsWith(blank));

        window->widget<QPushButton>("btnCopyAll")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), password);
        QGuiApplication::clipboard()->setText("before");
        result->selectAll();
        window->widget<QPushButton>("btnCopySelected")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), password);
    }

    void clear_and_reset_confirm_on_the_status_bar()
    {
        auto window = real_window();
        auto* symbols = window->widget<QLineEdit>("txtSymbols");
        symbols->setText("xyz");
        window->widget<QPushButton>("btnResetSymbols")->click();
        QCOMPARE(symbols->text(), QString::fromStdU32String(std::u32string(zelkora::DEFAULT_SYMBOLS)));
        window->widget<QPushButton>("btnClear")->click();
        window->widget<QPushButton>("btnClear")->click();
        QCOMPARE(window->widget<QPlainTextEdit>("txtResult")->toPlainText(), "");
        QCOMPARE(window->statuses, (std::vector<std::pair<QString, int>>{
                                       {"記号セットを既定値に戻しました", 2000},
                                       {"クリアしました", 2000},
                                       {"クリアしました", 2000},
                                   }));
    }

    void symbol_field_follows_its_check_box()
    {
        auto window = real_window();
        auto* box = window->widget<QCheckBox>("chkSymbols");
        for (bool checked : {false, true, false}) {
            box->setChecked(checked);
            QCOMPARE(window->widget<QLineEdit>("txtSymbols")->isEnabled(), checked);
            QCOMPARE(window->widget<QPushButton>("btnResetSymbols")->isEnabled(), checked);
        }
    }

    void main_reuses_the_application_and_returns_the_loop_result()
    {
        QCoreApplication* before = QCoreApplication::instance();
        QTimer::singleShot(0, [] { QApplication::closeAllWindows(); });
        int argc = 1;
        char name[] = "zelkora-desk";
        char* argv[] = {name, nullptr};
        QCOMPARE(zelkora::main(argc, argv), 0);
        QCOMPARE(QCoreApplication::instance(), before);
        QVERIFY(_settings->holds_anything());
    }

private:
    static void expect_copy(const RecordingWindow& window, const ModalBoxCloser& boxes, const QString& copied,
                            const QString& nothing_message)
    {
        if (copied.isEmpty()) {
            QCOMPARE(boxes.seen, (std::vector<std::pair<QString, QString>>{{"情報", nothing_message}}));
            QCOMPARE(QGuiApplication::clipboard()->text(), "before");
            QVERIFY(window.statuses.empty());
            return;
        }
        QVERIFY(boxes.seen.empty());
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
#if defined(Q_OS_WIN)
        // The format that Windows' clipboard history and cloud clipboard leave out.
        QVERIFY(QGuiApplication::clipboard()->mimeData()->hasFormat("ExcludeClipboardContentFromMonitorProcessing"));
#else
        QCOMPARE(QGuiApplication::clipboard()->mimeData()->data("x-kde-passwordManagerHint"), "secret");
#endif
        QCOMPARE(window.statuses, (std::vector<std::pair<QString, int>>{{"クリップボードにコピーしました", 2000}}));
    }
};

int main(int argc, char** argv)
{
    log4cplus::Initializer logging;
    QApplication application(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_main_window.moc"
