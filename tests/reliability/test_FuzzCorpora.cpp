// Every committed fuzz input (fuzz/corpus/<target>/) through its target's properties, in the
// ordinary and the sanitizer build: what a fuzzer once found stays fixed without a fuzz run.

#define MIVORA_FUZZ_REPLAY

#include "fuzz_adspath.cpp"
#include "fuzz_cp932.cpp"
#include "fuzz_dn.cpp"
#include "fuzz_ldap_errors.cpp"
#include "fuzz_netlogon_reply.cpp"
#include "fuzz_private_profile.cpp"
#include "fuzz_ranged_values.cpp"
#include "fuzz_root_path.cpp"
#include "fuzz_server_answers.cpp"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>

namespace {
using Target = int (*)(const std::uint8_t*, std::size_t);

struct Corpus {
    const char* name;
    Target target;
};

const Corpus corpora[] = {
    { "adspath", replay_adspath },
    { "dn", replay_dn },
    { "root_path", replay_root_path },
    { "ldap_errors", replay_ldap_errors },
    { "cp932", replay_cp932 },
    { "private_profile", replay_private_profile },
    { "ranged_values", replay_ranged_values },
    { "server_answers", replay_server_answers },
    { "netlogon_reply", replay_netlogon_reply },
};

QString corpusDir(const char* name)
{
    return QStringLiteral(MIVORA_SOURCE_DIR "/fuzz/corpus/") + QLatin1String(name);
}
} // namespace

class TestFuzzCorpora : public QObject {
    Q_OBJECT

private slots:
    void everyTargetHasSeeds_data()
    {
        QTest::addColumn<QString>("dir");
        for (const Corpus& corpus : corpora)
            QTest::newRow(corpus.name) << corpusDir(corpus.name);
    }
    void everyTargetHasSeeds()
    {
        QFETCH(QString, dir);
        QVERIFY2(QDir(dir).entryList(QDir::Files).size() >= 3, qPrintable(dir));
    }

    void committedInputsKeepEveryProperty_data()
    {
        QTest::addColumn<int>("target");
        QTest::addColumn<QString>("file");
        for (int t = 0; t < int(std::size(corpora)); ++t) {
            const QDir dir(corpusDir(corpora[t].name));
            for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
                const QByteArray row = QByteArray(corpora[t].name) + '/' + name.toUtf8();
                QTest::newRow(row.constData()) << t << dir.filePath(name);
            }
        }
    }
    void committedInputsKeepEveryProperty()
    {
        QFETCH(int, target);
        QFETCH(QString, file);
        QFile input(file);
        QVERIFY(input.open(QIODevice::ReadOnly));
        const QByteArray bytes = input.readAll();
        QElapsedTimer timer;
        timer.start();
        try {
            corpora[target].target(reinterpret_cast<const std::uint8_t*>(bytes.constData()), size_t(bytes.size()));
        } catch (const fuzzing::CheckFailure& failure) {
            QFAIL(failure.what());
        }
        // Not one answer timeout (2 s in server_answers) waited out: a stream's end reaches the client at once.
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed()) + QStringLiteral(" ms")));
    }

    void cleanupTestCase() { fuzz_private_profile::removeProfileDir(); }
};

QTEST_GUILESS_MAIN(TestFuzzCorpora)
#include "test_FuzzCorpora.moc"
