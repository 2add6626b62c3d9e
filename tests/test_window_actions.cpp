// The window's buttons: generate with the options the form holds, refusals and failures
// shown, copies that keep every character, clear, and the symbol set's reset.
#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QtTest>

#include <log4cplus/initializer.h>

#include <memory>
#include <new>

#include "window_fixture.h"

using zelkora::GenerationRequest;

class TestWindowActions : public QObject {
    Q_OBJECT

    std::unique_ptr<IsolatedSettings> _settings;

    std::unique_ptr<RecordingWindow> real_window() { return std::make_unique<RecordingWindow>(); }

private slots:
    void init() { _settings = std::make_unique<IsolatedSettings>(); }
    void cleanup() { _settings.reset(); }

    void generate_passes_the_form_to_the_engine_in_kind_order() {
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

    void refused_request_warns_then_reports_and_keeps_the_result() {
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

    void engine_failure_is_shown_and_the_window_stays_usable() {
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

        // Failing after its first chunk is shown, a request leaves none of itself shown.
        window->widget<QSpinBox>("spinLength")->setValue(1024);
        window->widget<QSpinBox>("spinCount")->setValue(1000);
        int chunks = 0;
        window->engine = [&chunks](const GenerationRequest& request) {
            return ++chunks < 2 ? zelkora::generate_passwords(request) : throw std::bad_alloc();
        };
        window->widget<QPushButton>("btnGenerate")->click();
        QCOMPARE(boxes.seen.size(), 2u);
        QCOMPARE(window->widget<QPlainTextEdit>("txtResult")->toPlainText(), "");
    }

    void pasted_symbol_sets_give_exactly_their_characters_data() {
        QTest::addColumn<QString>("symbols");
        QTest::addColumn<QString>("allowed");
        const QString replacement(QChar::ReplacementCharacter);
        QTest::newRow("lone surrogates") << QString(QChar(0xD800)) + "a" + QChar(0xDC00) << replacement + "a";
        QTest::newRow("outside the basic plane") << "😀x😀"
                                                 << "😀x";
        QTest::newRow("a Hangul filler and a zero-width joiner") << "\u3164\u200D"
                                                                 << "\u3164\u200D";
        QTest::newRow("blanks only") << "   "
                                     << " ";
        // U+FEFF opens the text: it is a character, not a byte-order mark to drop.
        QTest::newRow("zero-width no-break space") << QString(QChar(0xFEFF)) << QString(QChar(0xFEFF));
    }
    void pasted_symbol_sets_give_exactly_their_characters() {
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

    void largest_request_the_form_allows() {
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

    void copy_selected_data() {
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
    void copy_selected() {
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

    void copy_all_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("copied");
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("white space only") << " \n\t\n"
                                          << "";
        QTest::newRow("every line, only the line breaks at the ends go") << "\n  ab\ncd  \nef \n"
                                                                         << "  ab\ncd  \nef ";
        QTest::newRow("ideographic spaces stay") << "\u3000ab\ncd\u3000"
                                                 << "\u3000ab\ncd\u3000";
    }
    void copy_all() {
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
    void copies_keep_blank_symbols_data() {
        QTest::addColumn<QString>("blank");
        QTest::newRow("space") << " ";
        QTest::newRow("ideographic space") << "\u3000";
    }
    void copies_keep_blank_symbols() {
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

    // Another program holding the clipboard open: Qt's Windows plug-in then deletes the copy.
    void copy_the_clipboard_refuses_data() {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<int>("refusals");
        QTest::newRow("all, held briefly") << QByteArray("btnCopyAll") << 2;
        QTest::newRow("all, held throughout") << QByteArray("btnCopyAll") << 3;
        QTest::newRow("selected, held throughout") << QByteArray("btnCopySelected") << 3;
    }
    void copy_the_clipboard_refuses() {
        QFETCH(QByteArray, button);
        QFETCH(int, refusals);
        auto window = real_window();
        window->widget<QPlainTextEdit>("txtResult")->setPlainText(" ab\ncd");
        window->widget<QPlainTextEdit>("txtResult")->selectAll();
        QGuiApplication::clipboard()->setText("before");
        int tries = 0;
        window->clipboard = [&](QMimeData* data) {
            ++tries <= refusals ? delete data : QGuiApplication::clipboard()->setMimeData(data);
        };
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
        announcements.clear();
        const QAccessible::UpdateHandler previous = QAccessible::installUpdateHandler(record_announcement);
#endif
        window->widget<QPushButton>(button.constData())->click();
        QTRY_COMPARE(window->statuses.size(), 1u);
        QCOMPARE(tries, 3);
        const bool copied = refusals < tries;
        QCOMPARE(QGuiApplication::clipboard()->text(), copied ? " ab\ncd" : "before");
        // A refusal stays until the next message: the clipboard goes on holding what it held.
        const QString refused =
            "コピーできませんでした。他のプログラムがクリップボードを使用中のようです。再度コピーしてください";
        QCOMPARE(window->statuses[0],
                 copied ? std::make_pair(QString("クリップボードにコピーしました"), 2000) : std::make_pair(refused, 0));
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
        QAccessible::installUpdateHandler(previous);
        using enum QAccessible::AnnouncementPoliteness;
        QCOMPARE(announcements.size(), 1u);
        QCOMPARE(announcements[0], std::make_pair(window->statuses[0].first, copied ? Polite : Assertive));
#endif
    }

    // A copy pressed again while the first waits for its retry: only the new one is reported,
    // and no stale retry puts anything on the clipboard after it.
    void a_second_copy_replaces_one_waiting_to_retry() {
        auto window = real_window();
        int put = 0;
        window->clipboard = [&](QMimeData* d) { ++put == 1 ? delete d : QGuiApplication::clipboard()->setMimeData(d); };
        for (const char* text : {"first", "second"}) {
            window->widget<QPlainTextEdit>("txtResult")->setPlainText(text);
            window->widget<QPushButton>("btnCopyAll")->click();
        }
        QTest::qWait(1000);  // longer than all the first copy's retries would take
        expect_copy(*window, ModalBoxCloser(), "second", QString());
    }

    void clear_and_reset_confirm_on_the_status_bar() {
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

    void status_messages_reach_screen_readers_data() {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<bool>("kinds");  // false: no kind of character, which is refused
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("interrupts");
        QTest::newRow("generated") << QByteArray("btnGenerate") << true << "10 件生成しました" << false;
        QTest::newRow("refused") << QByteArray("btnGenerate") << false << "少なくとも1種類を指定してください" << true;
        QTest::newRow("copied") << QByteArray("btnCopyAll") << true << "クリップボードにコピーしました" << false;
        QTest::newRow("cleared") << QByteArray("btnClear") << true << "クリアしました" << false;
        QTest::newRow("symbols reset") << QByteArray("btnResetSymbols") << true << "記号セットを既定値に戻しました"
                                       << false;
    }
    void status_messages_reach_screen_readers() {
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
        QSKIP("Qt tells screen readers of a message only from 6.8 on");
#else
        QFETCH(QByteArray, button);
        QFETCH(bool, kinds);
        QFETCH(QString, message);
        QFETCH(bool, interrupts);
        auto window = real_window();
        window->widget<QPlainTextEdit>("txtResult")->setPlainText("abc");
        for (const char* box : {"chkDigits", "chkLower", "chkUpper", "chkSymbols"})
            window->widget<QCheckBox>(box)->setChecked(kinds);
        // Qt hands every event to an installed handler, whether or not a screen reader listens.
        announcements.clear();
        const QAccessible::UpdateHandler previous = QAccessible::installUpdateHandler(record_announcement);
        ModalBoxCloser boxes;
        window->widget<QPushButton>(button.constData())->click();
        QAccessible::installUpdateHandler(previous);
        using enum QAccessible::AnnouncementPoliteness;
        QCOMPARE(announcements, (std::vector<std::pair<QString, QAccessible::AnnouncementPoliteness>>{
                                    {message, interrupts ? Assertive : Polite}}));
#endif
    }

    void symbol_field_follows_its_check_box() {
        auto window = real_window();
        auto* box = window->widget<QCheckBox>("chkSymbols");
        for (bool checked : {false, true, false}) {
            box->setChecked(checked);
            QCOMPARE(window->widget<QLineEdit>("txtSymbols")->isEnabled(), checked);
            QCOMPARE(window->widget<QPushButton>("btnResetSymbols")->isEnabled(), checked);
        }
    }

private:
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    static inline std::vector<std::pair<QString, QAccessible::AnnouncementPoliteness>> announcements;
    static void record_announcement(QAccessibleEvent* event) {
        if (event->type() == QAccessible::Announcement) {
            const auto* announcement = static_cast<const QAccessibleAnnouncementEvent*>(event);
            announcements.emplace_back(announcement->message(), announcement->politeness());
        }
    }
#endif

    static void expect_copy(const RecordingWindow& window, const ModalBoxCloser& boxes, const QString& copied,
                            const QString& nothing_message) {
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

int main(int argc, char** argv) {
    log4cplus::Initializer logging;
    QApplication application(argc, argv);
    TestWindowActions test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_window_actions.moc"
