// Where a resource file is found: each base in turn, each with every spelling, and the
// lines the lookup logs on the way.
#include "resource_lookup.h"

#include <QDir>
#include <QtTest>

#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>

#include <memory>

#include "runtime_fixture.h"

class TestResourceLookup : public QObject {
    Q_OBJECT

    log4cplus::Initializer log4cplus_;
    CaptureAppender* _log = nullptr;
    std::unique_ptr<ProgramLayout> _layout;

private slots:
    void initTestCase() {
        _log = new CaptureAppender;
        zelkora::main_window_logger().addAppender(log4cplus::SharedAppenderPtr(_log));
    }
    void init() {
        _layout = std::make_unique<ProgramLayout>();
        _log->lines.clear();
    }
    void cleanup() { _layout.reset(); }

    void resource_path_probes_bases_then_spellings_data() {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("candidates");
        const QString form = "src/resources/ui/main_window.ui";
        const QString all =
            "['src/resources/ui/main_window.ui', 'resources/ui/main_window.ui', "
            "'zelkora/resources/ui/main_window.ui']";
        QTest::newRow("first base, first spelling")
            << form << QStringList{"E/src/resources/ui/main_window.ui"} << "E/src/resources/ui/main_window.ui" << all;
        QTest::newRow("first base wins over a later spelling")
            << form << QStringList{"E/zelkora/resources/ui/main_window.ui", "E/src/src/resources/ui/main_window.ui"}
            << "E/zelkora/resources/ui/main_window.ui" << all;
        QTest::newRow("second base, third spelling") << form << QStringList{"E/src/zelkora/resources/ui/main_window.ui"}
                                                     << "E/src/zelkora/resources/ui/main_window.ui" << all;
        QTest::newRow("a directory counts")
            << form << QStringList{"E/resources/ui/main_window.ui/"} << "E/resources/ui/main_window.ui" << all;
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
        QTest::newRow("backslashes are not separators") << "src\\resources\\a" << QStringList{} << "E/src\\resources\\a"
                                                        << "['src\\resources\\a']";
    }
    void resource_path_probes_bases_then_spellings() {
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
        QCOMPARE(_log->lines,
                 (QStringList{
                     "[resource_path] frozen=True",
                     "[resource_path] bases=[" + shown(_layout->path("E")) + ", " + shown(_layout->path("E/src")) + "]",
                     "[resource_path] candidates=" + candidates,
                     last,
                 }));
    }
};

QTEST_APPLESS_MAIN(TestResourceLookup)
#include "test_resource_lookup.moc"
