#include "paths.h"

#include <log4cplus/hierarchy.h>
#include <log4cplus/initializer.h>
#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>
#include <log4cplus/nullappender.h>

#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace fs = std::filesystem;
using zelkora::AppPaths;
using zelkora::RunContext;

Q_DECLARE_METATYPE(std::string)

namespace {

void write_file(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// An installed copy: the executable at <dir>/zelkora-desk, its zelkora/ folder beside it.
RunContext packaged_at(const fs::path& exe_dir) {
    RunContext context;
    context.packaged = true;
    context.executable = exe_dir / "zelkora-desk";
    context.unit_file = exe_dir / "zelkora" / "paths";
    return context;
}

const std::string missing = "<missing>";
const std::string directory = "<directory>";

}  // namespace

class TestPaths : public QObject {
    Q_OBJECT

    log4cplus::Initializer log4cplus_;
    std::unique_ptr<QTemporaryDir> scratch_;
    fs::path tmp_;
    std::string valid_ini;  // the logging.ini the program ships

    fs::path p(const QString& relative) const {
        // From UTF-16: a narrow string would pass through the ANSI code page on Windows.
        return relative.isEmpty() ? tmp_ : tmp_ / relative.toStdU16String();
    }

private slots:
    void initTestCase() {
        valid_ini = read_file(zelkora::_resolve_logging_config_path());
        QVERIFY(!valid_ini.empty());
    }

    void init() {
        log4cplus::Logger::getDefaultHierarchy().resetConfiguration();
        scratch_ = std::make_unique<QTemporaryDir>();
        QVERIFY(scratch_->isValid());
        tmp_ = fs::canonical(scratch_->path().toStdString());
    }

    void cleanup() { log4cplus::Logger::getDefaultHierarchy().resetConfiguration(); }

    void realProcessRunsFromTheSourceTree() {
        // This test binary lies in the build tree, so it must see the source tree.
        const RunContext context = zelkora::current_run_context();
        QVERIFY(!context.packaged);
#if defined(_WIN32)
        // The C run-time's own record of the program's path.
        QVERIFY(_pgmptr != nullptr);
        QCOMPARE(fs::weakly_canonical(context.executable), fs::weakly_canonical(_pgmptr));
#else
        QCOMPARE(fs::weakly_canonical(context.executable), fs::canonical("/proc/self/exe"));
#endif
        const fs::path root = zelkora::_resolve_app_dir();
        QVERIFY(fs::is_regular_file(root / "src" / "zelkora" / "paths.h"));
        QCOMPARE(zelkora::get_app_paths(), AppPaths(root, root / "log"));
        QCOMPARE(zelkora::_resolve_logging_config_path(), root / "src" / "zelkora" / "logging.ini");
        QCOMPARE(zelkora::get_resource_bases(), (std::vector<fs::path>{root, root / "app"}));
    }

    void runModeFromTheBuildTreesMarker_data() {
        QTest::addColumn<QString>("exeDir");
        QTest::addColumn<QString>("markerDir");   // empty: no marker anywhere
        QTest::addColumn<QString>("markerText");  // "@" stands for the scratch folder
        QTest::addColumn<bool>("packaged");
        QTest::addColumn<QString>("appDir");

        QTest::newRow("program at the tree's top") << "proj/build"
                                                   << "proj/build"
                                                   << "..\n"
                                                   << false << "proj";
        QTest::newRow("test one folder down") << "proj/build/tests"
                                              << "proj/build"
                                              << "..\n"
                                              << false << "proj";
        QTest::newRow("absolute, Windows line end") << "b"
                                                    << "b"
                                                    << "@/proj\r\n"
                                                    << false << "proj";
        QTest::newRow("copy staged in the tree") << "proj/build/package/zd/app"
                                                 << "proj/build"
                                                 << "..\n"
                                                 << true << "proj/build/package/zd";
        QTest::newRow("no marker") << "tools/app"
                                   << ""
                                   << "" << true << "tools";
    }

    void runModeFromTheBuildTreesMarker() {
        QFETCH(QString, exeDir);
        QFETCH(QString, markerDir);
        QFETCH(QString, markerText);
        QFETCH(bool, packaged);
        QFETCH(QString, appDir);

        const fs::path executable = p(exeDir) / "zelkora-desk";
        write_file(executable, "");
        if (!markerDir.isEmpty()) {
            const QString text = markerText.replace("@", QString::fromStdU16String(tmp_.u16string()));
            write_file(p(markerDir) / zelkora::SOURCE_TREE_MARKER, text.toStdString());
        }
        const RunContext context = zelkora::_run_context_of(executable);

        QCOMPARE(context.packaged, packaged);
        QCOMPARE(zelkora::_resolve_app_dir(context), p(appDir));
        QCOMPARE(zelkora::_resolve_logging_config_path(context),
                 packaged ? p(exeDir) / "zelkora" / "logging.ini" : p(appDir) / "src" / "zelkora" / "logging.ini");
    }

    void windowsPathsMadePlain_data() {
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
        QTest::newRow("plain drive path") << R"(C:\tools\app\x.exe)"
                                          << R"(C:\tools\app\x.exe)";
        QTest::newRow("plain share path") << R"(\\nas\tools\app\x.exe)"
                                          << R"(\\nas\tools\app\x.exe)";
        // Only the prefixed form names these.
        QTest::newRow("name ending in a dot") << R"(\\?\C:\tools.\app\x.exe)"
                                              << R"(\\?\C:\tools.\app\x.exe)";
        QTest::newRow("name ending in a space") << R"(\\?\C:\tools \x.exe)"
                                                << R"(\\?\C:\tools \x.exe)";
        QTest::newRow("device name") << R"(\\?\C:\tools\Com1.txt\x.exe)"
                                     << R"(\\?\C:\tools\Com1.txt\x.exe)";
        QTest::newRow("volume without a drive") << R"(\\?\Volume{1b3b1146-4076-11e1-84aa-806e6f6e6963}\x.exe)"
                                                << R"(\\?\Volume{1b3b1146-4076-11e1-84aa-806e6f6e6963}\x.exe)";
    }

    void windowsPathsMadePlain() {
        QFETCH(QString, given);
        QFETCH(QString, plain);
        QCOMPARE(QString::fromStdWString(zelkora::_plain_windows_path(given.toStdWString())), plain);
    }

    void directoriesPerLayout_data() {
        QTest::addColumn<bool>("packaged");
        QTest::addColumn<QString>("exeDir");  // packaged: where the executable lies
        QTest::addColumn<QString>("bundle");  // empty: no bundle directory
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<QStringList>("bases");
        QTest::addColumn<QString>("config");

        QTest::newRow("packaged, E not app")
            << true << "tools/bin"
            << ""
            << "tools/bin" << QStringList{"tools/bin", "tools/bin/src"} << "tools/bin/zelkora/logging.ini";
        QTest::newRow("packaged, E app") << true << "tools/app"
                                         << ""
                                         << "tools" << QStringList{"tools/app", "tools/app/src", "tools"}
                                         << "tools/app/zelkora/logging.ini";
        QTest::newRow("packaged, E App") << true << "tools/App"
                                         << ""
                                         << "tools/App" << QStringList{"tools/App", "tools/App/src"}
                                         << "tools/App/zelkora/logging.ini";
        QTest::newRow("bundle, E app") << true << "tools/app"
                                       << "unpack"
                                       << "tools" << QStringList{"unpack", "tools/app", "tools/app/src", "tools"}
                                       << "tools/app/zelkora/logging.ini";
        QTest::newRow("bundle is P, trailing slash")
            << true << "tools/app"
            << "tools/"
            << "tools" << QStringList{"tools/", "tools/app", "tools/app/src"} << "tools/app/zelkora/logging.ini";
        QTest::newRow("bundle is E, listed twice")
            << true << "tools/app"
            << "tools/app"
            << "tools" << QStringList{"tools/app", "tools/app", "tools/app/src", "tools"}
            << "tools/app/zelkora/logging.ini";
        QTest::newRow("source tree") << false << ""
                                     << ""
                                     << "proj" << QStringList{"proj", "proj/app"} << "proj/src/zelkora/logging.ini";
        QTest::newRow("source tree, bundle")
            << false << ""
            << "unpack"
            << "proj" << QStringList{"unpack", "proj", "proj/app"} << "proj/src/zelkora/logging.ini";
    }

    void directoriesPerLayout() {
        QFETCH(bool, packaged);
        QFETCH(QString, exeDir);
        QFETCH(QString, bundle);
        QFETCH(QString, appDir);
        QFETCH(QStringList, bases);
        QFETCH(QString, config);

        RunContext context;
        if (packaged) {
            context = packaged_at(p(exeDir));
            write_file(context.executable, "");
        } else {
            context.executable = p("proj/build/src/zelkora/zelkora-desk");
            context.unit_file = p("proj/src/zelkora/paths.cpp");
            write_file(context.unit_file, "");
        }
        // Given exactly as the packaging would, not resolved.
        if (!bundle.isEmpty())
            context.bundle_dir = tmp_.string() + "/" + bundle.toStdString();

        QCOMPARE(zelkora::_resolve_app_dir(context), p(appDir));
        QCOMPARE(zelkora::get_app_paths(context), AppPaths(p(appDir), p(appDir) / "log"));
        QVERIFY(!fs::exists(p(appDir) / "log"));  // nothing on disk was touched

        std::vector<fs::path> expected;
        for (const QString& base : bases)
            expected.push_back(tmp_.string() + "/" + base.toStdString());
        QCOMPARE(zelkora::get_resource_bases(context), expected);

        QCOMPARE(zelkora::_resolve_logging_config_path(context), p(config));
    }

    void linksAreResolved() {
        // Reached through a link named "app", the executable really lies in real/bin.
        write_file(p("real/bin/zelkora-desk"), "");
        std::error_code no_link;
        fs::create_directory_symlink(p("real/bin"), p("app"), no_link);
#if defined(_WIN32)
        // Windows lets only administrators and developer mode make symbolic links.
        if (no_link)
            QSKIP("no symbolic link can be made here");
#endif
        QVERIFY2(!no_link, no_link.message().c_str());
        const RunContext context = packaged_at(p("app"));

        QCOMPARE(zelkora::get_app_paths(context), AppPaths(p("real/bin"), p("real/bin/log")));
        QCOMPARE(zelkora::get_resource_bases(context), (std::vector<fs::path>{p("real/bin"), p("real/bin/src")}));
        QCOMPARE(zelkora::_resolve_logging_config_path(context), p("real/bin/zelkora/logging.ini"));
    }

    void ensureRuntimeDirs_data() {
        QTest::addColumn<QString>("logDir");
        QTest::addColumn<std::string>("staleProbe");  // empty: none left behind

        QTest::newRow("three missing levels") << "x/y/log" << std::string();
        QTest::newRow("existing directory") << "" << std::string();
        QTest::newRow("stale probe") << "log" << std::string("left by an earlier process");
    }

    void ensureRuntimeDirs() {
        QFETCH(QString, logDir);
        QFETCH(std::string, staleProbe);

        const AppPaths given(p("elsewhere"), p(logDir));
        if (!staleProbe.empty())
            write_file(given.log_dir / ".write_test", staleProbe);

        for (int round = 0; round < 2; ++round) {
            QCOMPARE(zelkora::ensure_runtime_dirs(RunContext{}, given), given);
            QVERIFY(fs::is_directory(given.log_dir));
            QVERIFY(!fs::exists(given.log_dir / ".write_test"));
        }
        QVERIFY(!fs::exists(p("elsewhere")));
    }

    void ensureRuntimeDirsFails_data() {
        QTest::addColumn<QString>("blocker");  // what stands in the way: a file, or a directory if it ends in "/"
        QTest::addColumn<QString>("logDir");
        QTest::addColumn<int>("error");  // the errno expected, 0 for any

        QTest::newRow("file at the log directory") << "log"
                                                   << "log" << EEXIST;
        QTest::newRow("file at an ancestor") << "a"
                                             << "a/b/log" << 0;
#if defined(_WIN32)
        QTest::newRow("directory at the probe") << "a/b/log/.write_test/"
                                                << "a/b/log" << EACCES;
#else
        QTest::newRow("directory at the probe") << "a/b/log/.write_test/"
                                                << "a/b/log" << EISDIR;
#endif
    }

    void ensureRuntimeDirsFails() {
        QFETCH(QString, blocker);
        QFETCH(QString, logDir);
        QFETCH(int, error);

        if (blocker.endsWith('/')) {
            fs::create_directories(p(blocker));
        } else {
            write_file(p(blocker), "in the way");
        }
        try {
            zelkora::ensure_runtime_dirs(RunContext{}, AppPaths(tmp_, p(logDir)));
            QFAIL("no error");
        } catch (const fs::filesystem_error& failure) {
            if (error != 0)
                QCOMPARE(failure.code(), std::error_code(error, std::generic_category()));
        }
        if (blocker.endsWith('/'))
            QVERIFY(fs::is_directory(p(logDir)));  // created before the probe failed
    }

    void initLoggingWritesTheLog() {
        const RunContext context = packaged_at(p("inst/app"));
        write_file(context.executable, "");
        write_file(p("inst/app/zelkora/logging.ini"), valid_ini);
        write_file(p("inst/log/app.log"), "from the last run\n");
        const auto earlier = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("zelkora.earlier"));

        QCOMPARE(zelkora::init_logging(context), AppPaths(p("inst"), p("inst/log")));

        const auto window = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("zelkora.main_window"));
        LOG4CPLUS_INFO(window, zelkora::to_log_text("[resource_path] 候補 /tmp/ü"));
        LOG4CPLUS_DEBUG(window, "below the configured level");
        LOG4CPLUS_WARN(earlier, "still heard");

        std::string log = read_file(p("inst/log/app.log"));
#if defined(_WIN32)
        // Text mode: Windows' line ends.
        for (auto at = log.find("\r\n"); at != std::string::npos; at = log.find("\r\n", at))
            log.erase(at, 1);
#endif
        QVERIFY2(log.starts_with("from the last run\n"), log.c_str());
        QVERIFY2(log.find("INFO  zelkora.main_window - [resource_path] 候補 /tmp/ü\n") != std::string::npos,
                 log.c_str());
        QVERIFY2(log.find("WARN  zelkora.earlier - still heard\n") != std::string::npos, log.c_str());
        QVERIFY(log.find("below the configured level") == std::string::npos);
        QVERIFY(!fs::exists(p("inst/log/.write_test")));

        // Configured now: a second call reads nothing, not even a vanished configuration.
        fs::remove(p("inst/app/zelkora/logging.ini"));
        QCOMPARE(zelkora::init_logging(context), AppPaths(p("inst"), p("inst/log")));
    }

    void initLoggingUsesTheGivenLogDir_data() {
        QTest::addColumn<QString>("logDir");
        QTest::newRow("elsewhere") << "other/logs";
        // Outside Windows a backslash belongs to the name; it must not become a separator.
        QTest::newRow("backslash in a name") << "odd\\name";
        // A Windows user's folder: the log file is opened by its wide name there.
        QTest::newRow("user folder in Japanese") << "Users/山田/log";
    }

    void initLoggingUsesTheGivenLogDir() {
        QFETCH(QString, logDir);
        const RunContext context = packaged_at(p("inst/app"));
        write_file(p("inst/app/zelkora/logging.ini"), valid_ini);
        const AppPaths given(p("inst"), p(logDir));

        QCOMPARE(zelkora::init_logging(context, given), given);
        LOG4CPLUS_INFO(log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("zelkora.main_window")), "here");

        QVERIFY(read_file(p(logDir) / "app.log").find("here") != std::string::npos);
        QCOMPARE(std::distance(fs::directory_iterator(tmp_), fs::directory_iterator()), 2);  // inst and the log's
    }

    void initLoggingReturnsEarlyWhenConfigured() {
        auto root = log4cplus::Logger::getRoot();
        root.addAppender(log4cplus::SharedAppenderPtr(new log4cplus::NullAppender()));
        const RunContext context = packaged_at(p("inst/app"));  // holds no logging.ini at all
        const AppPaths given(p("a"), p("b/log"));

        QCOMPARE(zelkora::init_logging(context, given), given);
        QCOMPARE(zelkora::init_logging(context), AppPaths(p("inst"), p("inst/log")));
        QVERIFY(fs::is_empty(tmp_));
        QCOMPARE(root.getAllAppenders().size(), std::size_t{1});
    }

    void initLoggingFails_data() {
        QTest::addColumn<std::string>("ini");   // `missing`, `directory` or the file's text
        QTest::addColumn<bool>("appLogIsDir");  // a directory stands at log/app.log
        QTest::addColumn<QString>("reason");    // part of the error message

        const auto variant = [this](const std::string& from, const std::string& to) {
            std::string text = valid_ini;
            const auto at = text.find(from);
            return at == std::string::npos ? std::string("substitution failed") : text.replace(at, from.size(), to);
        };
        QTest::newRow("missing logging.ini") << missing << false << "not found";
        QTest::newRow("logging.ini is a directory") << directory << false << "not a regular file";
        QTest::newRow("log file cannot be opened") << valid_ini << true << "Unable to open file";
        QTest::newRow("quiet mode asked for")
            << "log4cplus.quietMode=true\n" + valid_ini << true << "Unable to open file";
        QTest::newRow("unknown level") << variant("rootLogger=INFO", "rootLogger=INFOO") << false
                                       << "Unrecognized log level";
        QTest::newRow("root level inherited")
            << variant("rootLogger=INFO", "rootLogger=INHERITED") << false << "no level";
        QTest::newRow("no appender") << std::string("# nothing configured\n") << false << "no appender";
    }

    void initLoggingFails() {
        QFETCH(std::string, ini);
        QFETCH(bool, appLogIsDir);
        QFETCH(QString, reason);

        const RunContext context = packaged_at(p("inst"));
        const fs::path config = p("inst/zelkora/logging.ini");
        if (ini == directory) {
            fs::create_directories(config);
        } else if (ini != missing) {
            write_file(config, ini);
        }
        if (appLogIsDir)
            fs::create_directories(p("inst/log/app.log"));

        try {
            zelkora::init_logging(context);
            QFAIL("no error");
        } catch (const fs::filesystem_error& error) {
            QFAIL(error.what());
        } catch (const std::runtime_error& error) {
            const QString message = QString::fromUtf8(error.what());
            QVERIFY2(message.contains(reason), error.what());
            QVERIFY2(message.contains(QString::fromStdU16String(fs::path(config).make_preferred().u16string())),
                     error.what());
        }
        QVERIFY(log4cplus::Logger::getRoot().getAllAppenders().empty());  // still not configured
        QVERIFY(fs::is_directory(p("inst/log")));                         // created before the failure
        QVERIFY(!fs::exists(p("inst/log/.write_test")));
    }
};

QTEST_APPLESS_MAIN(TestPaths)
#include "test_paths.moc"
