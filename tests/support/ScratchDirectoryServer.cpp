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

template <typename Predicate> bool waitFor(Predicate done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
    return true;
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

bool ScratchDirectoryServer::pause()
{
    if (!sendSignal(SIGSTOP, "SIGSTOP"))
        return false;
    const qint64 server = pid();
    // The signal is delivered asynchronously: wait until the kernel shows it stopped.
    if (!waitFor([server] { return processState(server) == 'T'; }, 5000)) {
        error = QStringLiteral("slapd %1 did not stop on SIGSTOP").arg(server);
        return false;
    }
    return true;
}

bool ScratchDirectoryServer::resume()
{
    if (!sendSignal(SIGCONT, "SIGCONT"))
        return false;
    const qint64 server = pid();
    if (!waitFor([server] { return processState(server) != 'T'; }, 5000)) {
        error = QStringLiteral("slapd %1 did not continue on SIGCONT").arg(server);
        return false;
    }
    return true;
}

bool ScratchDirectoryServer::kill()
{
    const qint64 server = pid();
    if (!sendSignal(SIGKILL, "SIGKILL"))
        return false;
    if (!waitFor([server] { return !processAlive(server); }, 5000)) {
        error = QStringLiteral("slapd %1 survived SIGKILL").arg(server);
        return false;
    }
    return true;
}

bool ScratchDirectoryServer::isRunning() const
{
    return pid() != 0;
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

QString ScratchDirectoryServer::directory() const
{
    return dir;
}

QString ScratchDirectoryServer::ldapConfPath() const
{
    return dir + QStringLiteral("/ldap.conf");
}

QString ScratchDirectoryServer::ldapiUri() const
{
    return readFile(QStringLiteral("ldapi-uri"));
}

QString ScratchDirectoryServer::tcpUri() const
{
    return QStringLiteral("ldap://127.0.0.1:%1").arg(port());
}

int ScratchDirectoryServer::port() const
{
    return readFile(QStringLiteral("port")).toInt();
}

int ScratchDirectoryServer::tlsPort() const
{
    return readFile(QStringLiteral("tls-port")).toInt();
}

QString ScratchDirectoryServer::file(const QString& name) const
{
    return dir + u'/' + name;
}

QString ScratchDirectoryServer::serverLog() const
{
    QFile log(dir + QStringLiteral("/run/slapd.log"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll());
}

void ScratchDirectoryServer::useForThisProcess() const
{
    qputenv("LDAPCONF", QFile::encodeName(ldapConfPath()));
}

bool ScratchDirectoryServer::startForThisProcess()
{
    if (!start())
        return false;
    useForThisProcess();
    return true;
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

bool ScratchDirectoryServer::sendSignal(int signalNumber, const char* name)
{
    const qint64 server = pid();
    if (server == 0) {
        error = QStringLiteral("no server runs to get %1").arg(QLatin1String(name));
        return false;
    }
    if (::kill(pid_t(server), signalNumber) != 0) {
        error = QStringLiteral("%1 to slapd %2 failed").arg(QLatin1String(name)).arg(server);
        return false;
    }
    error.clear();
    return true;
}

QString ScratchDirectoryServer::readFile(const QString& name) const
{
    QFile file(dir + u'/' + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}
