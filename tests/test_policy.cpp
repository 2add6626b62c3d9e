// The administrators' policy: what it does to requests, and what its file may be.
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "policy_store.h"

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

class TestPolicy : public QObject {
    Q_OBJECT

private slots:
    // Windows' two roots, each as a policy file's lines, and a request of 16 characters:
    // made as asked, brought inside as the window brings stored options, or refused as
    // the window and zelkora-cli refuse. "machine|user|kinds symbols", - for no set.
    void verdict_data() {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("verdict");
        const QString no = "refused: 管理者のポリシーにより、記号セットに文字や数字は入れられません";
        const QString bad = "refused: 管理者のポリシーに誤りがあるため、生成できません。組織の管理者に知らせてください";
        QTest::newRow("no policy, letters") << "||dlus abc"
                                            << "accepted";
        QTest::newRow("digits off, digits as symbols") << "UseDigits=0||lus 0123456789" << no + "（「0」）";
        QTest::newRow("four kinds, a letter") << "UseSymbols=1 MinimumKinds=4||dlus !a" << no + "（「a」）";
        QTest::newRow("Arabic-Indic digit") << "MinimumLength=8||ls !٣" << no + "（「٣」）";
        QTest::newRow("Cyrillic letter, user's") << "|ExcludeAmbiguous=0|ls ж#" << no + "（「ж」）";
        QTest::newRow("letters, no symbols") << "UseDigits=1||dl abc"
                                             << "accepted";
        QTest::newRow("fixed set in another order") << "SymbolSet=!#$%&||ds &%$#!!#"
                                                    << "accepted";
        QTest::newRow("fixed set, another") << "SymbolSet=!#$%&||ds !#"
                                            << "inside: 16 ds !#$%&";
        QTest::newRow("short, few kinds") << "MinimumLength=20 MinimumKinds=4||d -"
                                          << "inside: 20 dlus -";
        QTest::newRow("machine, no mix") << "UseDigits=0|MinimumKinds=4|lu -"
                                         << "accepted";
        QTest::newRow("machine's problem") << "UseDigits=yes|MinimumLength=4|dl -" << bad;
        QTest::newRow("else the user's") << "#|MinimumLength=20 ExcludeAmbiguous=1|dl -"
                                         << "inside: 20 dl x -";
    }
    void verdict() {
        QFETCH(QString, given);
        const QStringList parts = given.split(QRegularExpression("[| ](?=[^|]*$)|[|]"));
        const auto root = [&](int part, const char* place) {
            return zelkora::parse_policy_file(QString(parts[part]).replace(' ', '\n').toStdString(), place);
        };
        const zelkora::Policy policy = make_policy(zelkora::policy_of_roots(root(0, "HKLM"), root(1, "HKCU")));
        zelkora::GenerationRequest request{16, {}, 1, false, std::nullopt};
        for (const char* kind : {"digits", "lower", "upper", "symbols"})
            if (parts[2].contains(QChar(kind[0])))
                request.kinds.emplace_back(kind);
        if (parts[3] != "-")
            request.symbols = parts[3].toStdU32String();
        zelkora::GenerationRequest inside = request;
        bring_inside(policy, inside);
        QString kinds;
        for (const std::string& kind : inside.kinds)
            kinds += QChar(kind.front());
        const QString shown = QString("%1 %2%3 ").arg(inside.length).arg(kinds, inside.exclude_ambiguous ? " x" : "");
        const auto refusal = policy_refusal(policy, request);
        QTEST(!refusal ? QString("accepted")
              : !policy_refusal(policy, inside)
                  ? "inside: " + shown + QString::fromStdU32String(inside.symbols.value_or(U"-"))
                  : "refused: " + QString::fromStdString(*refusal),
              "verdict");
    }

#ifndef Q_OS_WIN
    // What each odd file in the policy's place gives: its problems, each naming the file
    // (F), or the values read.
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
        QTest::newRow("file for folder") << QByteArray("file") << no + "フォルダーであるべきところにファイルがあります";
        QTest::newRow("too large") << QByteArray(64 * 1024 + 1, '#') << no + "大きすぎます（65536 バイトまでです）";
        QTest::newRow("largest") << QByteArray(64 * 1024 - 16, '#') + "\nMinimumLength=8"
                                 << "MinimumLength=8";
        QTest::newRow("bom, quotes") << QByteArray("\xEF\xBB\xBF# rule\nSymbolSet=\"!#\"\n MinimumKinds = 3 ")
                                     << "MinimumKinds=3\nSymbolSet=!#";
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
        QVERIFY(file == "no folder" ||
                (file == "file" ? QFile(dir.filePath("orvanel-works")).open(QIODevice::WriteOnly)
                                : QDir(dir.path()).mkpath(file == "folder" ? path : "orvanel-works")));
        QFile out(path);
        if (file == "fifo")
            QCOMPARE(mkfifo(path.toLocal8Bit(), 0600), 0);
        else if (file == "dangling" || file == "loop")
            QVERIFY(QFile::link(file == "loop" ? path : "gone", path));
        else if (!QList<QByteArray>{"absent", "no folder", "file", "folder"}.contains(file))
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size() && out.flush());
        const zelkora::PolicyValues values = zelkora::read_policy_file(path.toStdString());
        const zelkora::Policy policy = make_policy(values);
        QStringList read;
        for (const std::string& problem : policy.problems)
            read << QString::fromStdString(problem).replace(path, "F");
        for (const auto& [name, value] : values.values)
            if (policy.problems.empty())
                read << QString::fromStdString(name + "=" + std::get<std::string>(value));
        QTEST(read.join('\n'), "read");
    }
#endif
};

QTEST_APPLESS_MAIN(TestPolicy)

#include "test_policy.moc"
