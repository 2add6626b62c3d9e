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
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expected");  // the summary, or a fragment of the refusal

        const QString all = "digits,lower,upper,symbols";
        QTest::newRow("defaults") << QStringList{} << "l16 n1 " + all;
        QTest::newRow("separate and joined values") << QStringList{"-l", "20", "--count=5"} << "l20 n5 " + all;
        QTest::newRow("grouped flags, value glued") << QStringList{"-dAl8", "-n7"} << "l8 n7 digits,upper";
        QTest::newRow("last wins") << QStringList{"--length", "8", "--length=12", "-d", "-d"} << "l12 n1 digits";
        QTest::newRow("symbol set implies symbols") << QStringList{"-S", "αβ★", "-a"} << "l16 n1 lower,symbols S=αβ★";
        QTest::newRow("abbreviated long option")
            << QStringList{"--len=9", "--exc", "--str"} << "l9 n1 " + all + " x strength";
        QTest::newRow("output") << QStringList{"-o", "a b.txt", "--force", "--crlf"}
                                << "l16 n1 " + all + " o=a b.txt force crlf";
        QTest::newRow("null, options end") << QStringList{"-0", "--"} << "l16 n1 " + all + " nul";
        QTest::newRow("largest count") << QStringList{"-n", "18446744073709551615"}
                                       << "l16 n18446744073709551615 " + all;
        QTest::newRow("help where it stands") << QStringList{"--help", "--bogus"} << "help";
        QTest::newRow("version") << QStringList{"-d", "--version"} << "version";

        QTest::newRow("zero") << QStringList{"-l", "0"} << "-l は 1 から 100000 までで指定してください: 0";
        QTest::newRow("negative") << QStringList{"--count=-5"} << "--count は 1 から";
        QTest::newRow("too long") << QStringList{"-l100001"} << "-l は 1 から 100000";
        QTest::newRow("huge") << QStringList{"-n", "99999999999999999999"}
                              << "までで指定してください: 99999999999999999999";
        QTest::newRow("empty") << QStringList{"--length="} << "--length の値が空です";
        QTest::newRow("not a number") << QStringList{"-n", "1e3"} << "-n には数を指定してください: 1e3";
        QTest::newRow("missing value") << QStringList{"-d", "--output"} << "オプション --output には値が必要です";
        QTest::newRow("flag given a value") << QStringList{"--digits=1"} << "オプション --digits は値を取りません";
        QTest::newRow("unknown short") << QStringList{"-dq"} << "不明なオプションです: -q";
        QTest::newRow("unknown long before help")
            << QStringList{"--bogus", "--help"} << "不明なオプションです: --bogus";
        QTest::newRow("ambiguous") << QStringList{"--s"}
                                   << "あいまいなオプションです: --s（--symbols, --symbol-set, --strength）";
        QTest::newRow("operand") << QStringList{"-n", "2", "extra"} << "余分な引数です: extra";
        QTest::newRow("operand after --") << QStringList{"--", "-d"} << "余分な引数です: -d";
        QTest::newRow("NUL and CR LF") << QStringList{"-0", "--crlf"} << "--null と --crlf は同時に指定できません";
    }

    void parses_like_gnu_programs() {
        QFETCH(QStringList, args);
        QFETCH(QString, expected);
        std::vector<std::string> arguments;
        for (const QString& arg : args) {
            arguments.push_back(arg.toStdString());
        }
        try {
            QCOMPARE(summary(zelkora::parse_cli_options(arguments)), expected);
        } catch (const zelkora::UsageError& error) {
            QVERIFY2(QString::fromUtf8(error.what()).contains(expected), error.what());
        }
    }

    // Bytes no terminal could have sent as text: refused, never drawn from.
    void refuses_symbol_sets_that_are_not_utf8_data() {
        QTest::addColumn<QByteArray>("symbols");
        QTest::newRow("stray byte") << QByteArray("ab\xff");
        QTest::newRow("cut short") << QByteArray("\xe2\x98");
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf");
        QTest::newRow("surrogate, as a lone one arrives from Windows") << QByteArray("\xed\xa0\x80");
        QTest::newRow("past Unicode") << QByteArray("\xf4\x90\x80\x80");
    }

    void refuses_symbol_sets_that_are_not_utf8() {
        QFETCH(QByteArray, symbols);
        QVERIFY_THROWS_EXCEPTION(zelkora::UsageError, zelkora::parse_cli_options({"-S", symbols.toStdString()}));
    }
};

QTEST_APPLESS_MAIN(TestCliOptions)
#include "test_cli_options.moc"
