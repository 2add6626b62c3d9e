// The window built from its form: what a bad form stops, what a good one gives, the
// strength line kept in step with the options, and the application run around it.
#include <QCheckBox>
#include <QFontInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTextDocumentFragment>
#include <QtTest>

#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>

#include "application.h"
#include "errors.h"
#include "strength_label.h"
#include "symbol_set_warnings.h"
#include "window_fixture.h"

using zelkora::GenerationRequest;

namespace {

const QStringList WIDGETS[] = {
    {"QSpinBox", "spinLength"},
    {"QSpinBox", "spinCount"},
    {"QCheckBox", "chkDigits"},
    {"QCheckBox", "chkLower"},
    {"QCheckBox", "chkUpper"},
    {"QCheckBox", "chkSymbols"},
    {"QCheckBox", "chkExcludeAmbiguous"},
    {"QLineEdit", "txtSymbols"},
    {"QPushButton", "btnResetSymbols"},
    {"QPushButton", "btnGenerate"},
    {"QPushButton", "btnClear"},
    {"QPushButton", "btnCopySelected"},
    {"QPushButton", "btnCopyAll"},
    {"QPlainTextEdit", "txtResult"},
};

// A form with the fourteen widgets nested in a tab page and a group box. `changes`
// maps an object name to another class, or to "" to leave the widget out.
QByteArray form_xml(const QString& root = "QMainWindow", bool central = true,
                    const QMap<QString, QString>& changes = {}) {
    QString widgets;
    for (const auto& row : WIDGETS) {
        const QString cls = changes.value(row[1], row[0]);
        if (!cls.isEmpty())
            widgets += QString("<item><widget class=\"%1\" name=\"%2\"/></item>").arg(cls, row[1]);
    }
    const QString body = QString(
                             "<widget class=\"QTabWidget\" name=\"tabs\"><widget class=\"QWidget\" name=\"page\">"
                             "<layout class=\"QVBoxLayout\"><item><widget class=\"QGroupBox\" name=\"group\">"
                             "<layout class=\"QVBoxLayout\">%1</layout></widget></item></layout></widget></widget>")
                             .arg(widgets);
    const QString inner = central ? QString(
                                        "<widget class=\"QWidget\" name=\"central\">"
                                        "<layout class=\"QVBoxLayout\"><item>%1</item></layout></widget>")
                                        .arg(body)
                                  : QString();
    return QString(
               "<?xml version=\"1.0\"?><ui version=\"4.0\"><widget class=\"%1\" name=\"Root\">"
               "<property "
               "name=\"geometry\"><rect><x>0</x><y>0</y><width>123</width><height>77</height></rect></property>"
               "<property name=\"windowTitle\"><string>試験用の窓</string></property>%2</widget></ui>")
        .arg(root, inner)
        .toUtf8();
}

// Runs `action`, which is expected to throw, and names what it threw.
QString thrown(const std::function<void()>& action) {
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
    void initTestCase() {
        _log = new CaptureAppender;
        log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("zelkora.main_window"))
            .addAppender(log4cplus::SharedAppenderPtr(_log));
    }
    void init() {
        _settings = std::make_unique<IsolatedSettings>();
        _layout = std::make_unique<ProgramLayout>();
        _log->lines.clear();
    }
    void cleanup() {
        _layout.reset();
        _settings.reset();
    }

    void bad_forms_stop_construction_data() {
        QTest::addColumn<QByteArray>("form");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty file") << QByteArray("") << "RuntimeError: UI の読み込みに失敗しました";
        QTest::newRow("not a form") << QByteArray("hello") << "RuntimeError: UI の読み込みに失敗しました";
        QTest::newRow("plain widget root")
            << form_xml("QWidget") << "TypeError: main_window.ui のルートは QMainWindow を想定しています";
        QTest::newRow("no central widget")
            << form_xml("QMainWindow", false) << "RuntimeError: UI に centralWidget がありません";
        QTest::newRow("spinLength of another class")
            << form_xml("QMainWindow", true, {{"spinLength", "QDoubleSpinBox"}})
            << "RuntimeError: UI からウィジェットが取得できません: spinLength";
        QTest::newRow("two missing, the first reported")
            << form_xml("QMainWindow", true, {{"txtResult", ""}, {"btnClear", ""}})
            << "RuntimeError: UI からウィジェットが取得できません: btnClear";
    }
    void bad_forms_stop_construction() {
        QFETCH(QByteArray, form);
        QFETCH(QString, error);
        _layout->write("E/src/resources/ui/main_window.ui", form);
        QCOMPARE(thrown([&] { RecordingWindow window(_layout->context()); }), error);
        QVERIFY(!_settings->holds_anything());
    }

    void missing_form_names_the_fallback_path() {
        QCOMPARE(
            thrown([&] { RecordingWindow window(_layout->context()); }),
            "FileNotFoundError: .ui が見つかりません: " + shown(_layout->path("E/src/resources/ui/main_window.ui")));
        QCOMPARE(_log->lines.last(), "[resource_path] miss");
    }

    void nested_form_without_bars_builds() {
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

    // l 1 I O 0 stay apart only at one advance and each drawn its own way: in the form's
    // face, and still where the form names a face that is missing (as on Windows) or one
    // that does not keep them apart, whatever face the locale makes the fallback.
    void result_list_uses_a_fixed_pitch_face_data() {
        QTest::addColumn<QString>("face");  // null: the form's own
        QTest::newRow("the form's face") << QString();
#if !defined(_WIN32)  // Wine has neither Windows' faces nor a fallback of its own to show these
        QTest::newRow("a face no machine has") << "A Face No Machine Has";
        QTest::newRow("a proportional face") << "DejaVu Sans";
#endif
    }
    void result_list_uses_a_fixed_pitch_face() {
        QFETCH(QString, face);
        const auto window = real_window();
        auto* result = window->widget<QPlainTextEdit>("txtResult");
        if (!face.isNull()) {
            result->setFont(QFont(face, 11));
            RecordingWindow::_use_fixed_pitch_font(result);
        }
        const QString ambiguous = QStringLiteral("01IOl");
        const QFontMetricsF metrics(result->font());
        QList<QImage> glyphs;
        for (const QChar c : ambiguous) {
            QCOMPARE(metrics.horizontalAdvance(c), metrics.horizontalAdvance(ambiguous[0]));
            QImage& glyph = glyphs.emplace_back(32, 32, QImage::Format_Grayscale8);
            glyph.fill(Qt::white);
            QPainter painter(&glyph);
            painter.setFont(result->font());
            painter.drawText(glyph.rect(), Qt::AlignCenter, c);
        }
        for (qsizetype i = 0; i < glyphs.size(); ++i)
            for (qsizetype j = i + 1; j < glyphs.size(); ++j)
                QVERIFY2(glyphs[i] != glyphs[j], qPrintable(QString(ambiguous[i]) + ambiguous[j]));
#if !defined(_WIN32)
        QCOMPARE(QFontInfo(result->font()).family(), "DejaVu Sans Mono");
#endif
    }

    // Each row changes one or two options from the form's defaults (16 characters, every
    // kind, nothing left out, the default symbol set): the line must follow each kind of
    // change before anything is generated.
    void strength_line_follows_the_options_data() {
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
        QTest::newRow("no symbols") << 16 << QStringList{"chkSymbols"} << false << QString()
                                    << "強度: 約 95 ビット（強い）";
        QTest::newRow("no kind") << 16 << QStringList{"chkDigits", "chkLower", "chkUpper", "chkSymbols"} << false
                                 << QString() << "少なくとも1種類を指定してください";
        QTest::newRow("leave out 0 1 I O l") << 16 << none << true << QString() << "強度: 約 101 ビット（強い）";
        QTest::newRow("letters in the symbol set") << 16 << none << false << "abc"
                                                   << "強度: 92 ビット以上（強い）";
        QTest::newRow("only ambiguous symbols, left out") << 16 << none << true << "01"
                                                          << "候補文字が空です";
        QTest::newRow("a line break in the symbol set")
            << 16 << none << false << "#\n$"
            << "記号セットに改行などの制御文字 1 個（U+000A）があるため生成できません";
    }
    void strength_line_follows_the_options() {
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

    // The console program's test has the same rows: the line says what the set holds that
    // the user may not have meant, and only while the set is drawn from.
    void strength_line_names_what_the_symbol_set_holds_data() {
        QTest::addColumn<QString>("symbols");
        QTest::addColumn<QString>("warning");
        for (const QJsonValue row : QJsonDocument::fromJson(SYMBOL_SET_WARNINGS).array())
            QTest::newRow(qPrintable(row["case"].toString())) << row["symbols"].toString() << row["warning"].toString();
    }
    void strength_line_names_what_the_symbol_set_holds() {
        QFETCH(QString, symbols);
        QFETCH(QString, warning);
        auto window = real_window();
        const auto* label = window->widget<QLabel>("lblStrength");
        window->widget<QLineEdit>("txtSymbols")->setText(symbols);
        QCOMPARE(QTextDocumentFragment::fromHtml(label->text()).toPlainText().section("）", 1).trimmed(), warning);
        window->widget<QCheckBox>("chkSymbols")->setChecked(false);
        QVERIFY(!label->text().contains("記号セット"));
    }

    // Exact figures to the nearest tenth; lower bounds rounded down, never up.
    void strength_tooltip_figures_data() {
        QTest::addColumn<QString>("symbols");
        QTest::addColumn<QStringList>("figures");
        QTest::newRow("exact, defaults") << QString() << QStringList{"約 102.8 ビット", "2^-102.1 で"};
        QTest::newRow("bounds, letters in the symbol set") << "abc" << QStringList{"92.9 ビット以上", "2^-82.3 以下"};
    }
    void strength_tooltip_figures() {
        QFETCH(QString, symbols);
        QFETCH(QStringList, figures);
        auto window = real_window();
        if (!symbols.isNull())
            window->widget<QLineEdit>("txtSymbols")->setText(symbols);
        const QString tip = window->widget<QLabel>("lblStrength")->toolTip();
        for (const auto& figure : figures)
            QVERIFY2(tip.contains(figure), qPrintable(tip));
    }

    // Every word reaches WCAG's 4.5:1 for normal text on the window it is drawn on, in its
    // own hue (that of the light palettes' colours), on Fusion light and dark, Qt's KDE
    // theme without kdeglobals, Windows light and white, the windows11 style's light and
    // dark, dark palettes down to black, and mid grey, the hardest; a new palette is followed at once.
    void strength_word_readable_on_every_palette_data() {
        QTest::addColumn<QString>("window");
        for (const char* window : {"#d6d2d0", "#efefef", "#f0f0f0", "#f3f3f3", "#ffffff", "#353535", "#2d2d2d",
                                   "#202020", "#1e1e1e", "#000000", "#757575"})
            QTest::newRow(window) << window;
    }
    void strength_word_readable_on_every_palette() {
        QFETCH(QString, window);
        const auto luminance = [](const QColor& c) {
            const auto linear = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
            return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
        };
        const int hues[] = {0, 36, 123, 211};  // red, amber, green, blue
        for (int rating = 0; rating < 4; ++rating) {
            const QColor word = *zelkora::strength_word_colour(zelkora::StrengthRating(rating), QColor(window), false);
            const double on = luminance(QColor(window));
            QVERIFY2((std::max(on, luminance(word)) + 0.05) / (std::min(on, luminance(word)) + 0.05) >= 4.5,
                     qPrintable(word.name()));
            QVERIFY2(std::abs(word.hslHue() - hues[rating]) <= 4, qPrintable(word.name()));
        }
        QVERIFY(!zelkora::strength_word_colour(zelkora::StrengthRating::strong, QColor(window), true));

        auto shown = real_window();
        shown->setPalette(QPalette(QColor(window)));
        const QColor strong = *zelkora::strength_word_colour(zelkora::StrengthRating::strong, QColor(window), false);
        QVERIFY(shown->widget<QLabel>("lblStrength")->text().contains(strong.name()));
    }

    void real_form_builds_a_usable_window() {
        auto window = real_window();
        QVERIFY(!window->windowTitle().isEmpty());
        for (const auto& row : WIDGETS)
            QVERIFY2(window->findChild<QWidget*>(row[1])->inherits(row[0].toLatin1()), qPrintable(row[1]));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        for (const auto& row : WIDGETS)  // no control pushed out of sight at the initial size
            QVERIFY2(window->findChild<QWidget*>(row[1])->visibleRegion().boundingRect().height() > 5,
                     qPrintable(row[1]));
    }

    void run_application_reuses_the_application_and_returns_the_loop_result() {
        QCoreApplication* before = QCoreApplication::instance();
        QTimer::singleShot(0, [] { QApplication::closeAllWindows(); });
        int argc = 1;
        char name[] = "zelkora-desk";
        char* argv[] = {name, nullptr};
        QCOMPARE(zelkora::run_application(argc, argv, {}), 0);
        QCOMPARE(QCoreApplication::instance(), before);
        QVERIFY(_settings->holds_anything());
    }

    void options_changed_in_an_open_window_survive_the_application_being_told_to_quit() {
        // As at sign-out or an installer's shutdown: the loop ends with the window open.
        QTimer::singleShot(0, [] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* window = qobject_cast<zelkora::MainWindow*>(widget))
                    window->findChild<QSpinBox*>(QStringLiteral("spinLength"))->setValue(37);
            QCoreApplication::exit(0);
        });
        int argc = 1;
        char name[] = "zelkora-desk";
        char* argv[] = {name, nullptr};
        QCOMPARE(zelkora::run_application(argc, argv, {}), 0);
        QCOMPARE(QSettings(QStringLiteral("orvanel-works"), QStringLiteral("zelkora-desk")).value("length").toInt(),
                 37);
    }
};

int main(int argc, char** argv) {
    log4cplus::Initializer logging;
    QApplication application(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_main_window.moc"
