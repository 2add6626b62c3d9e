// The window's options between runs: the first start, a close and a new start, and
// stored values of any type or form.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <log4cplus/initializer.h>

#include <string_view>

#include "window_fixture.h"

namespace {

const QString DEFAULTS = QString::fromStdU32String(std::u32string(zelkora::DEFAULT_SYMBOLS));

QVariantMap all_values(const QSettings& store) {
    QVariantMap values;
    for (const auto& key : store.allKeys())
        values[key] = store.value(key);
    return values;
}

#if defined(Q_OS_WIN)
// The store as the next start of the program sees it: the registry keeps each value's
// type, and QSettings reads it afresh for every new object.
QVariantMap read_fresh(const IsolatedSettings&) {
    return all_values(QSettings(QStringLiteral("orvanel-works"), QStringLiteral("zelkora-desk")));
}
#else
// The store as the next start of the program sees it. Qt keeps what this process wrote
// in a cache keyed by the file's path, typed; a copy under a new path is parsed afresh.
QVariantMap read_fresh(const IsolatedSettings& store) {
    static QTemporaryDir copies;
    static int serial = 0;
    const QString copy = copies.filePath(QString::number(++serial) + ".conf");
    QFile::copy(store.file(), copy);
    return all_values(QSettings(copy, QSettings::IniFormat));
}
#endif

}  // namespace

class TestSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<IsolatedSettings> _store;

    // Values as text, in the INI file's notation. On Windows they go into the registry
    // as Qt puts them there: text as REG_SZ, lists as REG_MULTI_SZ, and so on.
    void write_store(const QByteArray& ini) {
#if defined(Q_OS_WIN)
        QTemporaryDir dir;
        QFile file(dir.filePath("store.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini);
        file.close();
        const QSettings text(file.fileName(), QSettings::IniFormat);
        QSettings registry(QStringLiteral("orvanel-works"), QStringLiteral("zelkora-desk"));
        for (const auto& key : text.allKeys())
            registry.setValue(key, text.value(key));
#else
        QDir(_store->dir()).mkpath("orvanel-works");
        QFile file(_store->file());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini);
#endif
    }

private slots:
    void init() {
        _store = std::make_unique<IsolatedSettings>();
    }
    void cleanup() {
        _store.reset();
    }

    void first_run_shows_the_form_values() {
        RecordingWindow window;
        QCOMPARE(window.widget<QSpinBox>("spinLength")->value(), 16);
        QCOMPARE(window.widget<QSpinBox>("spinCount")->value(), 10);
        for (const char* box : {"chkDigits", "chkLower", "chkUpper", "chkSymbols"})
            QVERIFY(window.widget<QCheckBox>(box)->isChecked());
        QVERIFY(!window.widget<QCheckBox>("chkExcludeAmbiguous")->isChecked());
        QCOMPARE(window.widget<QLineEdit>("txtSymbols")->text(), DEFAULTS);
    }

    void options_survive_a_close_and_a_new_start() {
        const QString symbols = DEFAULTS + " \"quoted\", 日本語 😀 ;#=";
        {
            RecordingWindow window;
            window.widget<QSpinBox>("spinLength")->setValue(33);
            window.widget<QSpinBox>("spinCount")->setValue(7);
            window.widget<QCheckBox>("chkDigits")->setChecked(false);
            window.widget<QCheckBox>("chkUpper")->setChecked(false);
            window.widget<QCheckBox>("chkExcludeAmbiguous")->setChecked(true);
            window.widget<QLineEdit>("txtSymbols")->setText(symbols);
            window.show();
            QVERIFY(window.close());
        }
#if !defined(Q_OS_WIN)
        // What a new process finds in the file, not what this one cached.
        const QString saved = _store->file();
        IsolatedSettings next_start;
        QDir().mkpath(next_start.dir() + "/orvanel-works");
        QFile::copy(saved, next_start.file());
#endif

        RecordingWindow window;
        QCOMPARE(window.widget<QSpinBox>("spinLength")->value(), 33);
        QCOMPARE(window.widget<QSpinBox>("spinCount")->value(), 7);
        QCOMPARE(window.widget<QCheckBox>("chkDigits")->isChecked(), false);
        QCOMPARE(window.widget<QCheckBox>("chkLower")->isChecked(), true);
        QCOMPARE(window.widget<QCheckBox>("chkUpper")->isChecked(), false);
        QCOMPARE(window.widget<QCheckBox>("chkSymbols")->isChecked(), true);
        QCOMPARE(window.widget<QCheckBox>("chkExcludeAmbiguous")->isChecked(), true);
        QCOMPARE(window.widget<QLineEdit>("txtSymbols")->text(), symbols);
    }

    void stored_values_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QVariant>("shown");

        // Text exactly as the store writes numbers and truth values is taken...
        QTest::newRow("length as text") << QByteArray("length=12") << "spinLength" << QVariant(12);
        QTest::newRow("negative count, clamped") << QByteArray("count=-3") << "spinCount" << QVariant(1);
        QTest::newRow("length beyond the range, clamped")
            << QByteArray("length=5000") << "spinLength" << QVariant(1024);
        QTest::newRow("false as text") << QByteArray("[chk]\ndigits=false") << "chkDigits" << QVariant(false);
        QTest::newRow("true as text") << QByteArray("[chk]\nexclude_ambiguous=true") << "chkExcludeAmbiguous"
                                      << QVariant(true);
        // ...anything else leaves the form's value.
        QTest::newRow("fraction") << QByteArray("length=12.5") << "spinLength" << QVariant(16);
        QTest::newRow("leading blank") << QByteArray("length=\" 12\"") << "spinLength" << QVariant(16);
        QTest::newRow("beyond int") << QByteArray("length=99999999999") << "spinLength" << QVariant(16);
        QTest::newRow("empty number") << QByteArray("count=") << "spinCount" << QVariant(10);
        QTest::newRow("a list") << QByteArray("length=1, 2") << "spinLength" << QVariant(16);
        QTest::newRow("yes") << QByteArray("[chk]\ndigits=yes") << "chkDigits" << QVariant(true);
        QTest::newRow("1 for true") << QByteArray("[chk]\nexclude_ambiguous=1") << "chkExcludeAmbiguous"
                                    << QVariant(false);
        QTest::newRow("upper-case TRUE") << QByteArray("[chk]\nexclude_ambiguous=TRUE") << "chkExcludeAmbiguous"
                                         << QVariant(false);
        QTest::newRow("bytes") << QByteArray("length=@ByteArray(12)") << "spinLength" << QVariant(16);
        QTest::newRow("a size for a truth value")
            << QByteArray("[chk]\nsymbols=@Size(1 2)") << "chkSymbols" << QVariant(true);
        QTest::newRow("the group as a value") << QByteArray("chk=false") << "chkDigits" << QVariant(true);
        QTest::newRow("empty truth value") << QByteArray("[chk]\ndigits=") << "chkDigits" << QVariant(true);
        // The symbol set: any non-empty text, kept as it is; otherwise the default set.
        QTest::newRow("blank symbols kept") << QByteArray("symbols=\"   \"") << "txtSymbols" << QVariant("   ");
        QTest::newRow("a line break kept, for the window to refuse")
            << QByteArray("symbols=\"#\\n$\"") << "txtSymbols" << QVariant("#\n$");
        QTest::newRow("empty symbols") << QByteArray("symbols=") << "txtSymbols" << QVariant(DEFAULTS);
        QTest::newRow("symbols as bytes")
            << QByteArray("symbols=@ByteArray(abc)") << "txtSymbols" << QVariant(DEFAULTS);
        QTest::newRow("symbols as a list") << QByteArray("symbols=a, b") << "txtSymbols" << QVariant(DEFAULTS);
    }
    void stored_values() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, widget);
        QFETCH(QVariant, shown);
        write_store("[General]\n" + ini + "\n");
        RecordingWindow window;
        const char* property = widget.startsWith("spin") ? "value" : widget.startsWith("chk") ? "checked" : "text";
        QCOMPARE(window.findChild<QWidget*>(widget)->property(property), shown);
    }

#if defined(Q_OS_WIN)
    void registry_values_of_any_type_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QVariant>("shown");

        const auto dword = [](quint32 value) { return QByteArray(reinterpret_cast<const char*>(&value), 4); };
        const auto qword = [](quint64 value) { return QByteArray(reinterpret_cast<const char*>(&value), 8); };
        // UTF-16 with its terminating null, as the registry keeps text.
        const auto text = [](std::u16string_view value) {
            return QByteArray(reinterpret_cast<const char*>(value.data()), qsizetype(value.size()) * 2) +
                   QByteArray(2, '\0');
        };
        // What Qt itself writes, and numbers of other widths, are taken...
        QTest::newRow("length as REG_DWORD") << "length" << int(REG_DWORD) << dword(12) << "spinLength" << QVariant(12);
        QTest::newRow("length as REG_QWORD") << "length" << int(REG_QWORD) << qword(40) << "spinLength" << QVariant(40);
        QTest::newRow("huge REG_QWORD, clamped")
            << "count" << int(REG_QWORD) << qword(1ULL << 40) << "spinCount" << QVariant(10000);
        QTest::newRow("count as REG_SZ") << "count" << int(REG_SZ) << text(u"7") << "spinCount" << QVariant(7);
        QTest::newRow("false as REG_SZ") << "chk/digits" << int(REG_SZ) << text(u"false") << "chkDigits"
                                         << QVariant(false);
        QTest::newRow("symbols as REG_EXPAND_SZ")
            << "symbols" << int(REG_EXPAND_SZ) << text(u"#$%") << "txtSymbols" << QVariant("#$%");
        // ...anything else leaves the form's value.
        QTest::newRow("false as REG_DWORD 0")
            << "chk/digits" << int(REG_DWORD) << dword(0) << "chkDigits" << QVariant(true);
        QTest::newRow("length as REG_BINARY")
            << "length" << int(REG_BINARY) << QByteArray("\x0c", 1) << "spinLength" << QVariant(16);
        QTest::newRow("symbols as REG_MULTI_SZ")
            << "symbols" << int(REG_MULTI_SZ) << text(std::u16string_view(u"ab\0cd\0", 6)) << "txtSymbols"
            << QVariant(DEFAULTS);
        QTest::newRow("symbols as REG_DWORD")
            << "symbols" << int(REG_DWORD) << dword(5) << "txtSymbols" << QVariant(DEFAULTS);
    }
    void registry_values_of_any_type() {
        QFETCH(QString, name);
        QFETCH(int, type);
        QFETCH(QByteArray, data);
        QFETCH(QString, widget);
        QFETCH(QVariant, shown);
        _store->write_value(name, DWORD(type), data);
        RecordingWindow window;
        const char* property = widget.startsWith("spin") ? "value" : widget.startsWith("chk") ? "checked" : "text";
        QCOMPARE(window.findChild<QWidget*>(widget)->property(property), shown);
    }
#endif

    // Short options without digits or upper case, and a stored symbol set, under a policy:
    // what it locks, then generates or refuses.
    void policy_data() {
        QTest::addColumn<QByteArray>("policy");
        QTest::addColumn<QString>("symbols");
        QTest::addColumn<QString>("outcome");
        const QString bad =
            "btnGenerate 管理者のポリシーに誤りがあるため、生成できません。組織の管理者に知らせてください";
        QTest::newRow("company rule") << QByteArray("MinimumLength=12\nMinimumKinds=3\nSymbolSet=!#$%&") << "*+"
                                      << "txtSymbols () btnResetSymbols 12 - !#$%& digits lower symbols";
        QTest::newRow("kinds, exclusion") << QByteArray("UseDigits=0\r\nUseUppercase = 1\r\nExcludeAmbiguous=1") << "*+"
                                          << "chkDigits chkUpper chkExcludeAmbiguous 6 x *+ lower upper symbols";
        QTest::newRow("every kind") << QByteArray("MinimumKinds=4") << "*+"
                                    << "chkDigits chkLower chkUpper chkSymbols 6 - *+ digits lower upper symbols";
        QTest::newRow("stored digits")
            << QByteArray("UseDigits=0") << "0123456789"
            << "chkDigits 管理者のポリシーにより、記号セットに文字や数字は入れられません（「0」）";
        QTest::newRow("too long") << QByteArray("MinimumLength=5000") << "*+" << bad;
        QTest::newRow("no kind") << QByteArray("UseDigits=0\nUseLowercase=0\nUseUppercase=0\nUseSymbols=0") << "*+"
                                 << "chkDigits chkLower chkUpper chkSymbols " + bad;
    }
    void policy() {
        QFETCH(QByteArray, policy);
        QFETCH(QString, symbols);
        write_store("[General]\nlength=6\nsymbols=" + symbols.toUtf8() + "\n[chk]\ndigits=false\nupper=false\n");
        ModalBoxCloser closer;
        RecordingWindow window(zelkora::make_policy(zelkora::parse_policy_file(policy.toStdString(), "policy.conf")));
        QCOMPARE(window.widget<QLabel>("lblPolicy")->text(), "一部の設定は組織の管理者が決めています");
        QString seen;
        for (const QWidget* control : window.findChildren<QWidget*>()) {
            if (!control->isEnabled() &&
                (control->toolTip().contains("組織の管理者") || control->objectName() == "btnGenerate"))
                seen += control->objectName() + " ";
            if (const auto* field = qobject_cast<const QLineEdit*>(control); field && seen.endsWith("txtSymbols "))
                seen += "(" + field->placeholderText() + ") ";
        }
        window.widget<QPushButton>("btnGenerate")->click();
        const QString strength = window.findChild<QLabel*>("lblStrength")->text();
        if (window.requests.empty()) {
            seen += strength;
            if (!window.statuses.empty())
                QCOMPARE(strength, window.statuses.back().first.toHtmlEscaped());
        }
        for (const auto& request : window.requests) {
            seen += QString("%1 %2 ").arg(request.length).arg(request.exclude_ambiguous ? "x" : "-") +
                    QString::fromStdU32String(*request.symbols);
            for (const std::string& kind : request.kinds)
                seen += " " + QString::fromStdString(kind);
        }
        QTEST(seen, "outcome");
    }

    void restored_options_run_no_action() {
        write_store("[General]\nlength=20\nsymbols=abc\n[chk]\nsymbols=false\n");
        RecordingWindow window;
        window.show();
        QVERIFY(window.requests.empty());
        QVERIFY(window.statuses.empty());
        QCOMPARE(window.widget<QPlainTextEdit>("txtResult")->toPlainText(), "");
        QCOMPARE(window.widget<QLineEdit>("txtSymbols")->text(), "abc");
        QVERIFY(!window.widget<QLineEdit>("txtSymbols")->isEnabled());
        QVERIFY(!window.widget<QPushButton>("btnResetSymbols")->isEnabled());
    }

    void close_writes_every_key_and_never_an_empty_symbol_set() {
        {
            RecordingWindow window;
            window.widget<QLineEdit>("txtSymbols")->clear();
            window.show();
            QVERIFY(window.close());
        }
#if defined(Q_OS_WIN)
        // Numbers come back as REG_DWORD, truth values as text (REG_SZ): the restore
        // code's mend for text-typed truth values is for this store.
        const QVariant length(16);
        const QVariant count(10);
#else
        const QVariant length("16");
        const QVariant count("10");
#endif
        QCOMPARE(read_fresh(*_store), (QVariantMap{
                                          {"length", length},
                                          {"count", count},
                                          {"symbols", DEFAULTS},
                                          {"chk/digits", "true"},
                                          {"chk/lower", "true"},
                                          {"chk/upper", "true"},
                                          {"chk/symbols", "true"},
                                          {"chk/exclude_ambiguous", "false"},
                                      }));
    }
};

int main(int argc, char** argv) {
    log4cplus::Initializer logging;
    QApplication application(argc, argv);
    TestSettings test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_settings.moc"
