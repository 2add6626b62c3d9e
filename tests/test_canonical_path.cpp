// Windows' final-path answers made plain: pure text, so tried on every platform.
#include "canonical_path.h"

#include <QtTest>

class TestCanonicalPath : public QObject {
    Q_OBJECT

private slots:
    void windows_paths_made_plain_data() {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("plain");

        const QString deep = QString("folder\\").repeated(40);
        QTest::newRow("drive") << R"(\\?\C:\Users\山田\zelkora-desk\app\zelkora-desk.exe)"
                               << R"(C:\Users\山田\zelkora-desk\app\zelkora-desk.exe)";
        QTest::newRow("share") << R"(\\?\UNC\nas\tools\zelkora-desk\app\zelkora-desk.exe)"
                               << R"(\\nas\tools\zelkora-desk\app\zelkora-desk.exe)";
        QTest::newRow("drive root") << R"(\\?\D:\)"
                                    << R"(D:\)";
        // Long paths are the manifest's business; libstdc++ reads no \\?\ path at all.
        QTest::newRow("longer than MAX_PATH") << R"(\\?\D:\)" + deep + "x.exe"
                                              << R"(D:\)" + deep + "x.exe";
        const auto unchanged = [](const char* name, const QString& path) { QTest::newRow(name) << path << path; };
        unchanged("plain drive path", R"(C:\tools\app\x.exe)");
        unchanged("plain share path", R"(\\nas\tools\app\x.exe)");
        // Only the prefixed form names these.
        unchanged("name ending in a dot", R"(\\?\C:\tools.\app\x.exe)");
        unchanged("name ending in a space", R"(\\?\C:\tools \x.exe)");
        unchanged("device name", R"(\\?\C:\tools\Com1.txt\x.exe)");
        unchanged("volume without a drive", R"(\\?\Volume{1b3b1146-4076-11e1-84aa-806e6f6e6963}\x.exe)");
    }

    void windows_paths_made_plain() {
        QFETCH(QString, given);
        QFETCH(QString, plain);
        QCOMPARE(QString::fromStdWString(zelkora::_plain_windows_path(given.toStdWString())), plain);
    }
};

QTEST_APPLESS_MAIN(TestCanonicalPath)
#include "test_canonical_path.moc"
