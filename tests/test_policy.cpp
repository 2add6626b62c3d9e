// The administrators' policy: what it does to requests, and what its file may be.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <string>
#include <vector>

#include "policy.h"
#include "policy_store.h"

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace {

using zelkora::GenerationRequest;

// Windows' two roots, each given as a policy file's lines.
zelkora::Policy of_roots(const QString& machine, const QString& user) {
    return make_policy(zelkora::policy_of_roots(zelkora::parse_policy_file(machine.toStdString(), "HKLM"),
                                                zelkora::parse_policy_file(user.toStdString(), "HKCU")));
}

QString summary(const GenerationRequest& request) {
    QString kinds;
    for (const std::string& kind : request.kinds)
        kinds += QChar(kind == "upper" ? 'U' : kind.front());
    return QString("%1 %2 %3%4")
        .arg(request.length)
        .arg(kinds, request.exclude_ambiguous ? "x " : "", QString::fromStdU32String(request.symbols.value_or(U"-")));
}

}  // namespace

class TestPolicy : public QObject {
    Q_OBJECT

private slots:
    // A request of 16 characters under each policy: made as asked, brought inside it as
    // the window brings stored options, or refused as the window and zelkora-cli refuse.
    void verdict_data() {
        QTest::addColumn<QString>("machine");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("kinds");
        QTest::addColumn<QString>("symbols");
        QTest::addColumn<QString>("verdict");
        const QString no = "refused: 管理者のポリシーにより、記号セットに文字や数字は入れられません";
        QTest::newRow("no policy, letters") << ""
                                            << ""
                                            << "dlUs"
                                            << "abc"
                                            << "accepted";
        QTest::newRow("digits off, digits as symbols") << "UseDigits=0"
                                                       << ""
                                                       << "lUs"
                                                       << "0123456789" << no + "（「0」）";
        QTest::newRow("four kinds, a letter") << "UseSymbols=1\nMinimumKinds=4"
                                              << ""
                                              << "dlUs"
                                              << "!a" << no + "（「a」）";
        QTest::newRow("Arabic-Indic digit") << "MinimumLength=8"
                                            << ""
                                            << "ls"
                                            << "!٣" << no + "（「٣」）";
        QTest::newRow("Cyrillic letter") << ""
                                         << "ExcludeAmbiguous=0"
                                         << "ls"
                                         << "ж#" << no + "（「ж」）";
        QTest::newRow("letters, no symbols") << "UseDigits=1"
                                             << ""
                                             << "dl"
                                             << "abc"
                                             << "accepted";
        QTest::newRow("fixed set in another order") << "SymbolSet=!#$%&"
                                                    << ""
                                                    << "ds"
                                                    << "&%$#!!#"
                                                    << "accepted";
        QTest::newRow("fixed set, another") << "SymbolSet=!#$%&"
                                            << ""
                                            << "ds"
                                            << "!#"
                                            << "inside: 16 ds !#$%&";
        QTest::newRow("too short, too few kinds") << "MinimumLength=20\nMinimumKinds=4"
                                                  << ""
                                                  << "d"
                                                  << "-"
                                                  << "inside: 20 dlUs -";
        QTest::newRow("kind off") << "UseUppercase=0\nExcludeAmbiguous=1"
                                  << ""
                                  << "dlU"
                                  << "-"
                                  << "inside: 16 dl x -";
        QTest::newRow("machine alone") << "MinimumLength=12"
                                       << "MinimumLength=20"
                                       << "dl"
                                       << "-"
                                       << "accepted";
        QTest::newRow("machine, no mix") << "UseDigits=0"
                                         << "MinimumKinds=4"
                                         << "lU"
                                         << "-"
                                         << "accepted";
        QTest::newRow("machine holds a problem")
            << "UseDigits=yes"
            << "MinimumLength=4"
            << "dl"
            << "-"
            << "refused: 管理者のポリシーに誤りがあるため、生成できません。組織の管理者に知らせてください";
        QTest::newRow("else the user's") << "# nothing"
                                         << "MinimumLength=20"
                                         << "dl"
                                         << "-"
                                         << "inside: 20 dl -";
    }
    void verdict() {
        QFETCH(QString, machine);
        QFETCH(QString, user);
        QFETCH(QString, kinds);
        QFETCH(QString, symbols);
        const zelkora::Policy policy = of_roots(machine, user);
        GenerationRequest request;
        request.length = 16;
        request.count = 1;
        for (const char* kind : {"digits", "lower", "Upper", "symbols"})
            if (kinds.contains(QChar(kind[0])))
                request.kinds.emplace_back(QString(kind).toLower().toStdString());
        if (symbols != "-")
            request.symbols = symbols.toStdU32String();
        GenerationRequest inside = request;
        bring_inside(policy, inside);
        const auto refusal = policy_refusal(policy, request);
        QTEST(!refusal                          ? QString("accepted")
              : !policy_refusal(policy, inside) ? "inside: " + summary(inside)
                                                : "refused: " + QString::fromStdString(*refusal),
              "verdict");
    }

#ifndef Q_OS_WIN
    // What each odd file in the policy's place gives: its problems, each naming the file,
    // or the values read.
    void files_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("read");
        const QString no = "F を読めません: ";
        QTest::newRow("none") << QByteArray("absent") << "";
        QTest::newRow("no folder") << QByteArray("no folder") << "";
        QTest::newRow("folder") << QByteArray("folder") << no + "フォルダーです";
        QTest::newRow("fifo") << QByteArray("fifo") << no + "名前付きパイプ（FIFO）です";
        QTest::newRow("dangling link") << QByteArray("dangling") << no + "リンク先がありません";
        QTest::newRow("looping link") << QByteArray("loop") << no + "リンクが循環しているか、多すぎます";
        QTest::newRow("file for folder") << QByteArray("file for folder")
                                         << no + "フォルダーであるべきところにファイルがあります";
        QTest::newRow("too large") << QByteArray(64 * 1024 + 1, '#') << no + "大きすぎます（65536 バイトまでです）";
        QTest::newRow("largest") << QByteArray(64 * 1024 - 16, '#') + "\nMinimumLength=8"
                                 << "MinimumLength=8";
        QTest::newRow("bom, quotes") << QByteArray("\xEF\xBB\xBF# rule\nSymbolSet=\"!#\"\n MinimumKinds = 3 ")
                                     << "MinimumKinds=3 SymbolSet=!#";
        QTest::newRow("utf-16") << QByteArray("\xFF\xFEM\0i\0", 6)
                                << "F は UTF-16 で書かれています: UTF-8 で保存してください";
        QTest::newRow("every problem")
            << QByteArray("MinimumLength=20\nMinimumLength=4\nminimum\nColour=red\nUseDigits=2\nSymbolSet=！\x1b")
            << "F の 2 行目「MinimumLength=4」: MinimumLength は 1 行目にもあります: どちらの値か決められません\n"
               "F の 3 行目「minimum」: 「名前=値」の形ではありません\nF の 4 行目「Colour=red」: 知らない名前です\n"
               "F の UseDigits が「2」です: 0 から 1 までの数ではありません\nF の SymbolSet が「！\\x1B」です: 空か、"
               "ASCII の記号（英数字と空白を除く ! から ~ まで）以外の文字を含んでいます";
    }
    void files() {
        QFETCH(QByteArray, file);
        QTemporaryDir dir;
        const QString path = dir.filePath("orvanel-works/policy.conf");
        if (file != "no folder")
            QDir(dir.path()).mkdir("orvanel-works");
        if (file == "folder")
            QDir(dir.path()).mkpath("orvanel-works/policy.conf");
        else if (file == "fifo")
            QCOMPARE(mkfifo(path.toLocal8Bit(), 0600), 0);
        else if (file == "dangling" || file == "loop")
            QVERIFY(QFile::link(file == "loop" ? path : "gone", path));
        else if (file == "file for folder")
            QVERIFY(QDir(dir.path()).rmdir("orvanel-works") &&
                    QFile(dir.filePath("orvanel-works")).open(QIODevice::WriteOnly));
        else if (file != "absent" && file != "no folder") {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
        }
        const zelkora::PolicyValues values = zelkora::read_policy_file(path.toStdString());
        const zelkora::Policy policy = make_policy(values);
        QStringList read;
        for (const std::string& problem : policy.problems)
            read << QString::fromStdString(problem).replace(path, "F");
        for (const auto& [name, value] : values.values)
            if (policy.problems.empty())
                read << QString::fromStdString(name + "=" + std::get<std::string>(value));
        QTEST(read.join(policy.problems.empty() ? " " : "\n"), "read");
    }
#endif
};

QTEST_APPLESS_MAIN(TestPolicy)

#include "test_policy.moc"
