// zelkora-cli's command line: GNU-style options as terminal users type them, and what is
// refused with which words.
#include <string>
#include <vector>

#include <QtTest>

#include "cli_options.h"

namespace {

// Everything a command line decides, in one line to compare.
QString summary(const zelkora::CliOptions& options) {
    if (options.action != zelkora::CliOptions::Action::generate) {
        return options.action == zelkora::CliOptions::Action::help ? "help" : "version";
    }
    const auto& request = options.request;
    QStringList kinds;
    for (const auto& kind : request.kinds) {
        kinds << QString::fromStdString(kind);
    }
    QString text = QStringLiteral("l%1 n%2 %3").arg(request.length).arg(options.count).arg(kinds.join(','));
    if (request.symbols) {
        text += " S=" + QString::fromStdU32String(*request.symbols);
    }
    text += request.exclude_ambiguous ? " x" : "";
    text += options.show_strength ? " strength" : "";
    text += options.output ? " o=" + QString::fromStdString(*options.output) : "";
    text += options.force ? " force" : "";
    return text + (options.separator == "\n" ? "" : options.separator == "\r\n" ? " crlf" : " nul");
}

}  // namespace

class TestCliOptions : public QObject {
    Q_OBJECT

private slots:
    void parses_like_gnu_programs_data() {
        QTest::addColumn<QByteArrayList>("args");
        QTest::addColumn<QString>("expected");  // the summary, or a fragment of the refusal

        const QString all = "digits,lower,upper,symbols";
        QTest::newRow("defaults") << QByteArrayList{} << "l16 n1 " + all;
        QTest::newRow("separate and joined values") << QByteArrayList{"-l", "20", "--count=5"} << "l20 n5 " + all;
        QTest::newRow("grouped flags, value glued") << QByteArrayList{"-dAl8", "-n7"} << "l8 n7 digits,upper";
        QTest::newRow("last wins") << QByteArrayList{"--length", "8", "--length=12", "-d", "-d"} << "l12 n1 digits";
        QTest::newRow("symbol set implies symbols")
            << QByteArrayList{"-S", "αβ★", "-a"} << "l16 n1 lower,symbols S=αβ★";
        QTest::newRow("symbol set alone") << QByteArrayList{"-S", "αβ"} << "l16 n1 " + all + " S=αβ";
        QTest::newRow("abbreviated long option")
            << QByteArrayList{"--len=9", "--exc", "--str"} << "l9 n1 " + all + " x strength";
        QTest::newRow("output") << QByteArrayList{"-o", "a b.txt", "--force", "--crlf"}
                                << "l16 n1 " + all + " o=a b.txt force crlf";
        QTest::newRow("null, options end") << QByteArrayList{"-0", "--"} << "l16 n1 " + all + " nul";
        QTest::newRow("largest count") << QByteArrayList{"-n", "18446744073709551615"}
                                       << "l16 n18446744073709551615 " + all;
        QTest::newRow("help where it stands") << QByteArrayList{"--help", "--bogus"} << "help";
        QTest::newRow("version") << QByteArrayList{"-d", "--version"} << "version";

        QTest::newRow("zero") << QByteArrayList{"-l", "0"} << "-l は 1 から 100000 までで指定してください: 0";
        QTest::newRow("negative") << QByteArrayList{"--count=-5"} << "--count は 1 から";
        QTest::newRow("too long") << QByteArrayList{"-l100001"} << "-l は 1 から 100000";
        QTest::newRow("huge") << QByteArrayList{"-n", "99999999999999999999"}
                              << "までで指定してください: 99999999999999999999";
        QTest::newRow("empty") << QByteArrayList{"--length="} << "--length の値が空です";
        QTest::newRow("empty file name") << QByteArrayList{"-o", ""} << "-o の値が空です";
        QTest::newRow("not a number") << QByteArrayList{"-n", "1e3"} << "-n には数を指定してください: 1e3";
        QTest::newRow("missing value") << QByteArrayList{"-d", "--output"} << "オプション --output には値が必要です";
        QTest::newRow("flag given a value") << QByteArrayList{"--digits=1"} << "オプション --digits は値を取りません";
        QTest::newRow("unknown short") << QByteArrayList{"-dq"} << "不明なオプションです: -q";
        QTest::newRow("unknown long before help")
            << QByteArrayList{"--bogus", "--help"} << "不明なオプションです: --bogus";
        QTest::newRow("ambiguous") << QByteArrayList{"--s"}
                                   << "あいまいなオプションです: --s（--symbols, --symbol-set, --strength）";
        QTest::newRow("operand") << QByteArrayList{"-n", "2", "extra"} << "余分な引数です: extra";
        QTest::newRow("operand after --") << QByteArrayList{"--", "-d"} << "余分な引数です: -d";
        QTest::newRow("NUL and CR LF") << QByteArrayList{"-0", "--crlf"} << "--null と --crlf は同時に指定できません";
        // Bytes no terminal could have sent as text: refused, never drawn from.
        const QString not_utf8 = "-S の値が UTF-8 として正しくありません";
        QTest::newRow("stray byte") << QByteArrayList{"-S", "ab\xff"} << not_utf8;
        QTest::newRow("cut short") << QByteArrayList{"-S", "\xe2\x98"} << not_utf8;
        QTest::newRow("overlong slash") << QByteArrayList{"-S", "\xc0\xaf"} << not_utf8;
        QTest::newRow("lone surrogate, as Windows may send") << QByteArrayList{"-S", "\xed\xa0\x80"} << not_utf8;
        QTest::newRow("past Unicode") << QByteArrayList{"-S", "\xf4\x90\x80\x80"} << not_utf8;
    }

    void parses_like_gnu_programs() {
        QFETCH(QByteArrayList, args);
        QFETCH(QString, expected);
        std::vector<std::string> arguments;
        for (const QByteArray& arg : args) {
            arguments.push_back(arg.toStdString());
        }
        try {
            QCOMPARE(summary(zelkora::parse_cli_options(arguments)), expected);
        } catch (const zelkora::UsageError& error) {
            QVERIFY2(QString::fromUtf8(error.what()).contains(expected), error.what());
        }
    }
};

QTEST_APPLESS_MAIN(TestCliOptions)
#include "test_cli_options.moc"
