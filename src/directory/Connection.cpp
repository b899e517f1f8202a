#include "directory/Connection.h"

#include "directory/LdapErrors.h"
#include "directory/ServerLocator.h"

#include <QFile>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openldap.h>
#include <poll.h>
#include <sasl/sasl.h>
#include <unistd.h>

namespace directory {

namespace {

// Strings the SASL library may read after the interaction callback has returned: they live in
// this struct for the whole bind.
struct SaslDefaults {
    QByteArray realm;
    QByteArray authcid;
    QByteArray authzid;
};

QByteArray stringOption(LDAP* ld, int option)
{
    char* value = nullptr;
    if (ldap_get_option(ld, option, &value) != LDAP_OPT_SUCCESS || !value)
        return {};
    ldap::CharPtr owner(value);
    return QByteArray(value);
}

int saslInteract(LDAP*, unsigned, void* defaultsPointer, void* interactions)
{
    const auto* defaults = static_cast<const SaslDefaults*>(defaultsPointer);
    for (auto* interaction = static_cast<sasl_interact_t*>(interactions); interaction->id != SASL_CB_LIST_END;
         ++interaction) {
        const QByteArray* value = nullptr;
        switch (interaction->id) {
        case SASL_CB_GETREALM:
            value = &defaults->realm;
            break;
        case SASL_CB_AUTHNAME:
            value = &defaults->authcid;
            break;
        case SASL_CB_USER:
            value = &defaults->authzid;
            break;
        default:
            // A password or anything else is never supplied: the bind is as the logged-on user.
            break;
        }
        interaction->result = value ? value->constData() : "";
        interaction->len = value ? static_cast<unsigned>(value->size()) : 0;
    }
    return LDAP_SUCCESS;
}

// A connection that cannot be set up as asked is not used.
[[noreturn]] void failSetup(const char* call, int option)
{
    throw errorFromLdap(LDAP_LOCAL_ERROR, QStringLiteral("%1(0x%2)").arg(QLatin1String(call)).arg(option, 0, 16));
}

void setOption(LDAP* ld, int option, const void* value)
{
    if (ldap_set_option(ld, option, value) != LDAP_OPT_SUCCESS)
        failSetup("ldap_set_option", option);
}

template <typename Value> Value getOption(LDAP* ld, int option)
{
    Value value {};
    if (ldap_get_option(ld, option, &value) != LDAP_OPT_SUCCESS)
        failSetup("ldap_get_option", option);
    return value;
}

// The result code of the session's last operation; `fallback` when libldap cannot say.
int sessionResultCode(LDAP* ld, int fallback)
{
    int rc = fallback;
    return ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &rc) == LDAP_OPT_SUCCESS ? rc : fallback;
}

// Called by libldap just before a TLS handshake, with the connection's flag as argument.
int noteTlsStart(LDAP*, void*, void*, void* started)
{
    *static_cast<bool*>(started) = true;
    return 0;
}

// Whether ldap.conf, ldaprc or the environment set SASL_CBINDING, looked for where and as
// libldap looks when it starts (ldap_int_initialize). A "none" written there reads back from
// libldap like its default, which is why the files are read here. The system file is Debian's
// libldap's; one elsewhere that says "none" is not seen.
bool channelBindingConfigured()
{
    if (qEnvironmentVariableIsSet("LDAPNOINIT"))
        return false;
    bool configured = false;
    const auto readConf = [&configured](const QByteArray& path) {
        QFile file(QFile::decodeName(path));
        if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
            return;
        static constexpr QByteArrayView keyword("SASL_CBINDING");
        while (!file.atEnd()) {
            const QByteArray line = file.readLine();
            if (line.startsWith('#'))
                continue;
            const QByteArray trimmed = line.trimmed();
            qsizetype end = 0;
            while (end < trimmed.size() && !std::isspace(static_cast<unsigned char>(trimmed[end])))
                ++end;
            if (end < trimmed.size() && QByteArrayView(trimmed).first(end).compare(keyword, Qt::CaseInsensitive) == 0)
                configured = true;
        }
    };
    // ~/name, ~/.name and name in the working folder, as libldap looks for a user's file.
    const auto readUserConf = [&readConf](const QByteArray& name) {
        if (name.isEmpty())
            return;
        const QByteArray home = qgetenv("HOME");
        if (!home.isEmpty()) {
            readConf(home + '/' + name);
            readConf(home + "/." + name);
        }
        readConf(name);
    };
    readConf("/etc/ldap/ldap.conf");
    if (geteuid() == getuid()) {
        readUserConf("ldaprc");
        readConf(qgetenv("LDAPCONF"));
        readUserConf(qgetenv("LDAPRC"));
        configured = configured || qEnvironmentVariableIsSet("LDAPSASL_CBINDING");
    }
    return configured;
}

// Connects the non-blocking socket fd within `timeout`, then makes it blocking, as libldap leaves
// its own sockets, with TCP_NODELAY as libldap sets it.
bool connectWithin(int fd, const platform::SocketAddress& address, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0) {
        if (errno != EINPROGRESS)
            return false;
        const Clock::time_point deadline = Clock::now() + timeout;
        pollfd entry { fd, POLLOUT, 0 };
        int ready = 0;
        do {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            ready = ::poll(&entry, 1, static_cast<int>(std::max<qint64>(left.count(), 0)));
        } while (ready < 0 && errno == EINTR);
        int error = 0;
        socklen_t length = sizeof error;
        if (ready != 1 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
            return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    const int on = 1;
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0
        && ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

// A socket connected to the first of `addresses` that accepts within `timeout`; -1 when none does.
int connectToFirst(const std::vector<platform::SocketAddress>& addresses, std::chrono::milliseconds timeout)
{
    for (const platform::SocketAddress& address : addresses) {
        const int fd = ::socket(address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd >= 0 && connectWithin(fd, address, timeout))
            return fd;
        if (fd >= 0)
            ::close(fd);
    }
    return -1;
}

// 0 when the URI asks for no StartTLS, 1 when it does, 2 when critically ("!StartTLS"): the
// extension's spellings that libldap's own connect takes.
int startTlsExtension(const LDAPURLDesc& url)
{
    for (char** extension = url.lud_exts; extension && *extension; ++extension) {
        const char* name = *extension;
        const bool critical = name[0] == '!';
        const QByteArray text(critical ? name + 1 : name);
        if (text.compare("StartTLS", Qt::CaseInsensitive) == 0 || text.compare("X-StartTLS", Qt::CaseInsensitive) == 0
            || text == LDAP_EXOP_START_TLS)
            return critical ? 2 : 1;
    }
    return 0;
}

} // namespace

Connection::Connection(QString uri, const ConnectionOptions& options)
    : uri_(std::move(uri))
    , options_(options)
{ }

std::shared_ptr<Connection> Connection::openBound(const QString& uri, const std::vector<CheckedServer>* checked,
    const Credentials* credentials, const ConnectionOptions& options)
{
    std::shared_ptr<Connection> connection(new Connection(uri, options));
    if (checked)
        connection->openChecked(*checked);
    else
        connection->open();
    if (credentials)
        connection->bindWithPassword(credentials->user, credentials->password);
    else
        connection->bindAsCurrentUser();
    connection->readAhead();
    return connection;
}

std::shared_ptr<Connection> Connection::openAsCurrentUser(const QString& uri, const ConnectionOptions& options)
{
    return openBound(uri, nullptr, nullptr, options);
}

std::shared_ptr<Connection> Connection::openWithPassword(
    const QString& uri, const QString& user, const QString& password, const ConnectionOptions& options)
{
    const Credentials credentials { user, password };
    return openBound(uri, nullptr, &credentials, options);
}

std::shared_ptr<Connection> Connection::openAsCurrentUser(
    const std::vector<CheckedServer>& servers, const ConnectionOptions& options)
{
    return openBound(urisOf(servers), &servers, nullptr, options);
}

std::shared_ptr<Connection> Connection::openWithPassword(const std::vector<CheckedServer>& servers, const QString& user,
    const QString& password, const ConnectionOptions& options)
{
    const Credentials credentials { user, password };
    return openBound(urisOf(servers), &servers, &credentials, options);
}

std::shared_ptr<Connection> Connection::openOnSocket(
    int fd, const QString& uri, const QString& user, const QString& password, const ConnectionOptions& options)
{
    std::shared_ptr<Connection> connection(new Connection(uri, options));
    LDAP* ld = nullptr;
    const int rc = ldap_init_fd(fd,
        uri.startsWith(QLatin1String("ldapi://"), Qt::CaseInsensitive) ? LDAP_PROTO_IPC : LDAP_PROTO_TCP,
        uri.toUtf8().constData(), &ld);
    if (rc != LDAP_SUCCESS || !ld) {
        ::close(fd);
        throw errorFromLdap(rc == LDAP_SUCCESS ? LDAP_PARAM_ERROR : rc, uri);
    }
    connection->adopt(ldap::LdapPtr(ld), user, password);
    return connection;
}

std::shared_ptr<Connection> Connection::openOnSession(
    ldap::LdapPtr session, const QString& uri, const ConnectionOptions& options)
{
    std::shared_ptr<Connection> connection(new Connection(uri, options));
    connection->adopt(std::move(session), {}, {});
    return connection;
}

void Connection::adopt(ldap::LdapPtr session, const QString& user, const QString& password)
{
    ld_ = std::move(session);
    configure();
    if (user.isEmpty())
        bindAsCurrentUser();
    else
        bindWithPassword(user, password);
    readAhead();
}

void Connection::open()
{
    // Connect now rather than inside the bind: whether TLS (ldaps:// or StartTLS from the URI)
    // protects the connection decides the SASL security layer. libldap tries each URI in turn.
    const int connected = connectByName(uri_);
    if (connected != LDAP_SUCCESS)
        failBind(connected);
}

int Connection::connectByName(const QString& uri)
{
    LDAP* ld = nullptr;
    const int rc = ldap_initialize(&ld, uri.toUtf8().constData());
    if (rc != LDAP_SUCCESS || !ld)
        throw errorFromLdap(rc == LDAP_SUCCESS ? LDAP_PARAM_ERROR : rc, uri);
    ld_.reset(ld);
    configure();
    return ldap_connect(ld);
}

void Connection::openChecked(const std::vector<CheckedServer>& servers)
{
    checked_ = true;
    for (const CheckedServer& server : servers) {
        if (connectChecked(server) == LDAP_SUCCESS)
            return;
        ld_.reset();
    }
    // As libldap's own connect ends when no server of its list would do.
    failBind(LDAP_SERVER_DOWN);
}

int Connection::connectChecked(const CheckedServer& server)
{
    LDAPURLDesc* raw = nullptr;
    const QByteArray uri = server.uri.toUtf8();
    if (ldap_url_parse(uri.constData(), &raw) != LDAP_URL_SUCCESS || !raw)
        return LDAP_PARAM_ERROR;
    const ldap::UrlDescPtr url(raw);
    const QByteArray scheme = QByteArray(url->lud_scheme).toLower();
    // A socket file has no name to look up again.
    if (scheme == "ldapi")
        return connectByName(server.uri);
    const int fd = connectToFirst(server.addresses, std::chrono::seconds(options_.networkTimeoutSeconds));
    if (fd < 0)
        return LDAP_SERVER_DOWN;
    LDAP* ld = nullptr;
    const int rc = ldap_init_fd(fd, LDAP_PROTO_TCP, uri.constData(), &ld);
    if (rc != LDAP_SUCCESS || !ld) {
        ::close(fd);
        return rc == LDAP_SUCCESS ? LDAP_PARAM_ERROR : rc;
    }
    ld_.reset(ld);
    configure();
    // What libldap's connect does after connecting, which ldap_init_fd leaves out. The handshake
    // checks the certificate against the URI's host.
    if (scheme == "ldaps" || getOption<int>(ld, LDAP_OPT_X_TLS) == LDAP_OPT_X_TLS_HARD)
        return ldap_install_tls(ld);
    if (const int startTls = startTlsExtension(*url)) {
        const int started = ldap_start_tls_s(ld, nullptr, nullptr);
        if (started != LDAP_SUCCESS && startTls == 2)
            return started;
    }
    return LDAP_SUCCESS;
}

void Connection::configure()
{
    LDAP* ld = ld_.get();
    const int version = LDAP_VERSION3;
    setOption(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    setOption(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    setOption(ld, LDAP_OPT_RESTART, LDAP_OPT_ON);
    applyTimeouts();
    setOption(ld, LDAP_OPT_X_TLS_CONNECT_ARG, &tlsStarted_);
    setOption(ld, LDAP_OPT_X_TLS_CONNECT_CB, reinterpret_cast<void*>(&noteTlsStart));
    // The Kerberos service name is the host connected to (the URI's or the SRV target's), not
    // what a reverse lookup of its address gives: AD zones seldom hold PTR records, and Windows
    // and sssd do not canonicalise either. Off is also libldap's default, so an "off" in
    // ldap.conf cannot be told apart; krb5.conf's dns_canonicalize_hostname and rdns still
    // canonicalise the name handed over.
    if (!getOption<int>(ld, LDAP_OPT_X_SASL_NOCANON))
        setOption(ld, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
    // The socket buffer of the first connection, used from the bind on: a longer message fails
    // with ERANGE before libldap allocates it.
    auto* socket = getOption<Sockbuf*>(ld, LDAP_OPT_SOCKBUF);
    ber_len_t limit = maxMessageBytes;
    if (!socket || ber_sockbuf_ctrl(socket, LBER_SB_OPT_SET_MAX_INCOMING, &limit) != 1)
        failSetup("ber_sockbuf_ctrl", LBER_SB_OPT_SET_MAX_INCOMING);
}

void Connection::applyTimeouts()
{
    const timeval network { options_.networkTimeoutSeconds, 0 };
    setOption(ld_.get(), LDAP_OPT_NETWORK_TIMEOUT, &network);
    // The synchronous calls (the SASL bind) wait no longer than an answer may take.
    const timeval answer { options_.answerTimeoutSeconds, 0 };
    setOption(ld_.get(), LDAP_OPT_TIMEOUT, &answer);
}

void Connection::setOptions(const ConnectionOptions& options)
{
    options_ = options;
    if (ld_)
        applyTimeouts();
}

void Connection::bindAsCurrentUser()
{
    LDAP* ld = ld_.get();
    QByteArray mechanism = stringOption(ld, LDAP_OPT_X_SASL_MECH);
    if (mechanism.isEmpty())
        mechanism = uri_.startsWith(QLatin1String("ldapi://"), Qt::CaseInsensitive) ? "EXTERNAL" : "GSSAPI";
    // Under TLS no SASL security layer: Active Directory refuses sign or seal inside TLS. On
    // plain LDAP the layer stays (a DC that requires signing needs it). SSF limits that
    // ldap.conf's SASL_SECPROPS changed from libldap's defaults (0 and INT_MAX) are left alone.
    const bool underTls = ldap_tls_inplace(ld) != 0;
    if (underTls && getOption<ber_len_t>(ld, LDAP_OPT_X_SASL_SSF_MIN) == 0
        && getOption<ber_len_t>(ld, LDAP_OPT_X_SASL_SSF_MAX) == INT_MAX) {
        const ber_len_t noLayer = 0;
        setOption(ld, LDAP_OPT_X_SASL_SSF_MAX, &noLayer);
    }
    // Under TLS the bind carries channel bindings (tls-server-end-point, RFC 5929: a hash of the
    // server's certificate), which tie the Kerberos authentication to this TLS session. DCs that
    // enforce them (Samba 4.20 and later by default, Windows with LdapEnforceChannelBinding = 2)
    // refuse a bind without; libldap sends none unless told. A SASL_CBINDING the user set, even
    // "none", is left as it is. Plain LDAP has no TLS session to bind to.
    if (underTls && getOption<int>(ld, LDAP_OPT_X_SASL_CBINDING) == LDAP_OPT_X_SASL_CBINDING_NONE
        && !channelBindingConfigured()) {
        const int endpoint = LDAP_OPT_X_SASL_CBINDING_TLS_ENDPOINT;
        setOption(ld, LDAP_OPT_X_SASL_CBINDING, &endpoint);
    }
    SaslDefaults defaults { stringOption(ld, LDAP_OPT_X_SASL_REALM), stringOption(ld, LDAP_OPT_X_SASL_AUTHCID),
        stringOption(ld, LDAP_OPT_X_SASL_AUTHZID) };
    const int rc = ldap_sasl_interactive_bind_s(
        ld, nullptr, mechanism.constData(), nullptr, nullptr, LDAP_SASL_QUIET, saslInteract, &defaults);
    if (rc != LDAP_SUCCESS)
        failBind(rc);
}

void Connection::bindWithPassword(const QString& user, const QString& password)
{
    QByteArray secret = password.toUtf8();
    berval credentials { static_cast<ber_len_t>(secret.size()), secret.data() };
    const int rc = ldap_sasl_bind_s(
        ld_.get(), user.toUtf8().constData(), LDAP_SASL_SIMPLE, &credentials, nullptr, nullptr, nullptr);
    secret.fill('\0');
    if (rc != LDAP_SUCCESS)
        failBind(rc);
}

void Connection::failBind(int returned)
{
    int rc = sessionResultCode(ld_.get(), LDAP_SUCCESS);
    if (rc == LDAP_SUCCESS)
        rc = returned;
    // Gone (while connecting or binding) after a TLS session was begun and before any
    // answer: the handshake failed (an untrusted certificate, most often). libldap only says
    // "Can't contact LDAP server", which is wrong: the server answered.
    if (tlsStarted_ && (rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR)) {
        broken_ = true;
        throw tlsHandshakeError();
    }
    // No server answered: say which ones were tried (the URI list may come from DNS).
    if (rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR || rc == LDAP_TIMEOUT) {
        broken_ = true;
        throw unreachableServersError(rc, uri_);
    }
    throw bindError(rc, QString::fromUtf8(stringOption(ld_.get(), LDAP_OPT_DIAGNOSTIC_MESSAGE)), uri_);
}

void Connection::readAhead()
{
    // libldap reads each message with two reads of the socket (header, then body) after a poll:
    // 200,000 calls for a listing of 100,000 entries. A read-ahead buffer under the protocol
    // layers (TLS, SASL) takes what the socket holds in one read, and libldap asks it whether
    // data is buffered before it polls.
    auto* socket = getOption<Sockbuf*>(ld_.get(), LDAP_OPT_SOCKBUF);
    int bufferSize = readAheadBytes;
    if (!socket || ber_sockbuf_add_io(socket, &ber_sockbuf_io_readahead, LBER_SBIOD_LEVEL_PROVIDER, &bufferSize) != 0)
        failSetup("ber_sockbuf_add_io", LBER_SBIOD_LEVEL_PROVIDER);
}

bool Connection::isAlive() const
{
    if (broken_ || !ld_)
        return false;
    int fd = -1;
    if (ldap_get_option(ld_.get(), LDAP_OPT_DESC, &fd) != LDAP_OPT_SUCCESS || fd < 0)
        return false;
    // Between operations nothing is owed to us: a readable socket means EOF or a notice of
    // disconnection, so the connection is gone.
    pollfd entry { fd, POLLIN | POLLRDHUP, 0 };
    const int ready = ::poll(&entry, 1, 0);
    return ready == 0;
}

void Connection::failWith(int resultCode, const QString& diagnostic)
{
    if (resultCode == LDAP_SERVER_DOWN || resultCode == LDAP_CONNECT_ERROR || resultCode == LDAP_TIMEOUT)
        broken_ = true;
    throw errorFromLdap(resultCode, diagnostic);
}

void Connection::failFromSession()
{
    failWith(sessionResultCode(ld_.get(), LDAP_OTHER),
        QString::fromUtf8(stringOption(ld_.get(), LDAP_OPT_DIAGNOSTIC_MESSAGE)));
}

} // namespace directory
