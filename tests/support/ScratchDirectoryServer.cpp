#include "ScratchDirectoryServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <csignal>
#include <sys/types.h>
#include <utility>

namespace {

const QString scriptDir = QStringLiteral(MIVORA_SOURCE_DIR "/tests/directory-server/");

// Big scale data takes seconds to load; a server that does not answer in time is broken.
constexpr int scriptTimeoutMs = 180'000;

// The ldapi socket path must fit sun_path (108 bytes) with DIR/run/ldapi after it.
QString temporaryTemplate()
{
    const QString base = QDir::tempPath();
    const QString name = QStringLiteral("/mivora-ds-XXXXXX");
    if ((base + name).toUtf8().size() + int(sizeof("/run/ldapi")) > 100)
        return QStringLiteral("/tmp") + name;
    return base + name;
}

// The state letter of /proc/PID/stat ('R', 'S', 'T' stopped, 'Z' zombie, ...), 0 if gone.
char processState(qint64 pid)
{
    if (pid <= 0)
        return 0;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // "pid (comm) S ...": comm may hold spaces and parentheses, so look after the last ')'
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0 || close + 2 >= line.size())
        return 0;
    return line.at(close + 2);
}

} // namespace

// A reaped process or a zombie (nobody reaps a daemon whose parent exited, when PID 1
// does not) is gone for our purposes: it holds no socket and answers nothing.
bool ScratchDirectoryServer::processAlive(qint64 pid)
{
    const char state = processState(pid);
    return state != 0 && state != 'Z' && state != 'X';
}

ScratchDirectoryServer::ScratchDirectoryServer()
    : ScratchDirectoryServer(Options {})
{ }

ScratchDirectoryServer::ScratchDirectoryServer(Options options)
    : options(std::move(options))
    , temporary(temporaryTemplate())
    , dir(temporary.path())
{
    if (!temporary.isValid())
        error = QStringLiteral("cannot create a temporary directory: ") + temporary.errorString();
}

ScratchDirectoryServer::~ScratchDirectoryServer()
{
    stop();
}

bool ScratchDirectoryServer::start()
{
    if (!temporary.isValid())
        return false;
    QStringList arguments { dir };
    arguments += options.extraLdif;
    return runScript(QStringLiteral("start-directory-server.sh"), arguments);
}

bool ScratchDirectoryServer::stop()
{
    if (!temporary.isValid())
        return false;
    return runScript(QStringLiteral("stop-directory-server.sh"), { dir });
}

bool ScratchDirectoryServer::restart()
{
    return runScript(QStringLiteral("start-directory-server.sh"), { QStringLiteral("--restart"), dir });
}

bool ScratchDirectoryServer::isPaused() const
{
    return processState(pid()) == 'T';
}

qint64 ScratchDirectoryServer::pid() const
{
    bool ok = false;
    const qint64 value = readFile(QStringLiteral("run/slapd.pid")).toLongLong(&ok);
    // the pid file outlives a killed server; the pid may even be reused, but not so soon
    return ok && processAlive(value) ? value : 0;
}

bool ScratchDirectoryServer::serveAgain()
{
    if (isPaused() && !resume())
        return false;
    return isRunning() || restart();
}

bool ScratchDirectoryServer::runScript(const QString& script, const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!options.generatorArguments.isEmpty())
        environment.insert(QStringLiteral("MIVORA_DS_GEN_ARGS"), options.generatorArguments.join(u' '));
    if (!options.databaseConfig.isEmpty())
        environment.insert(QStringLiteral("MIVORA_DS_DATABASE"), options.databaseConfig);
    if (options.log)
        environment.insert(QStringLiteral("MIVORA_DS_LOG"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(scriptDir + script, arguments);
    if (!process.waitForStarted()) {
        error = script + QStringLiteral(": ") + process.errorString();
        return false;
    }
    if (!process.waitForFinished(scriptTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        error = script + QStringLiteral(" did not finish in time");
        return false;
    }
    const QString output = QString::fromUtf8(process.readAll()).trimmed();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        error = QStringLiteral("%1 failed (%2): %3").arg(script).arg(process.exitCode()).arg(output);
        return false;
    }
    error.clear();
    return true;
}

bool ScratchDirectoryServer::signalAndWait(int signalNumber, const char* name)
{
    const qint64 server = pid();
    if (server == 0)
        error = QStringLiteral("no server runs to get %1").arg(QLatin1String(name));
    else if (::kill(pid_t(server), signalNumber) != 0)
        error = QStringLiteral("%1 to slapd %2 failed").arg(QLatin1String(name)).arg(server);
    else
        error.clear();
    // The signal is delivered asynchronously: wait until the kernel shows it stopped, running or gone.
    const auto done = [&] {
        const char state = processState(server);
        return signalNumber == SIGSTOP ? state == 'T' : signalNumber == SIGCONT ? state != 'T' : !processAlive(server);
    };
    for (QDeadlineTimer deadline(5000); error.isEmpty() && !done(); QThread::msleep(5)) {
        if (deadline.hasExpired())
            error = QStringLiteral("slapd %1 did not take %2").arg(server).arg(QLatin1String(name));
    }
    return error.isEmpty();
}

QString ScratchDirectoryServer::readFile(const QString& name) const
{
    QFile file(dir + u'/' + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}
