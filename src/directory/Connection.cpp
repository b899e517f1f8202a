#include "directory/Connection.h"

#include "directory/LdapErrors.h"
#include "directory/ServerLocator.h"
#include "directory/SocketSession.h"

#include <QFile>
#include <cctype>
#include <chrono>
#include <climits>
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

bool serverGone(int resultCode)
{
    return resultCode == LDAP_SERVER_DOWN || resultCode == LDAP_CONNECT_ERROR || resultCode == LDAP_TIMEOUT;
}

// The one rule of whether a failure ends the session: a failed wait or a passed bound always
// does, any other failure when the server is gone.
bool endsSession(FailedIn where, int resultCode)
{
    return where == FailedIn::Wait || where == FailedIn::Bound || serverGone(resultCode);
}

} // namespace

Connection::Connection(QString uri, const ConnectionOptions& options)
    : uri_(std::move(uri))
    , options_(options)
{ }

std::shared_ptr<Connection> Connection::open(const QString& uri, const std::vector<CheckedServer>& checked,
    const std::optional<Credentials>& credentials, const ConnectionOptions& options)
{
    std::shared_ptr<Connection> connection(new Connection(uri, options));
    connection->connect(checked);
    connection->bind(credentials);
    return connection;
}

std::shared_ptr<Connection> Connection::openOnSession(ldap::LdapPtr session, const QString& uri,
    const std::optional<Credentials>& credentials, const ConnectionOptions& options)
{
    std::shared_ptr<Connection> connection(new Connection(uri, options));
    connection->adopt(std::move(session));
    connection->bind(credentials);
    return connection;
}

std::shared_ptr<Connection> Connection::openOnSocket(
    int fd, const QString& uri, const QString& user, const QString& password, const ConnectionOptions& options)
{
    int rc = LDAP_SUCCESS;
    ldap::LdapPtr session = sessionOnSocket(fd, uri.toUtf8(), rc);
    if (!session)
        throw errorFromLdap(rc, uri);
    std::optional<Credentials> credentials;
    if (!user.isEmpty())
        credentials = Credentials { user, password };
    return openOnSession(std::move(session), uri, credentials, options);
}

void Connection::connect(const std::vector<CheckedServer>& checked)
{
    // Connected before the bind: whether TLS (ldaps:// or StartTLS from the URI) protects the
    // connection decides the SASL security layer.
    checked_ = !checked.empty();
    if (!checked_) {
        // libldap tries each URI of the list in turn.
        const int connected = connectByName(uri_);
        if (connected != LDAP_SUCCESS)
            fail(FailedIn::Opening, lastFailure(connected));
        return;
    }
    for (const CheckedServer& server : checked) {
        if (connectChecked(server) == LDAP_SUCCESS)
            return;
        ld_.reset();
    }
    // As libldap's own connect ends when no server of its list would do.
    fail(FailedIn::Opening, lastFailure(LDAP_SERVER_DOWN));
}

int Connection::connectByName(const QString& uri)
{
    LDAP* ld = nullptr;
    const int rc = ldap_initialize(&ld, uri.toUtf8().constData());
    if (rc != LDAP_SUCCESS || !ld)
        throw errorFromLdap(rc == LDAP_SUCCESS ? LDAP_PARAM_ERROR : rc, uri);
    adopt(ldap::LdapPtr(ld));
    return ldap_connect(ld);
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
    ldap::LdapPtr session = sessionToFirst(server.addresses, uri, std::chrono::seconds(options_.networkTimeoutSeconds));
    if (!session)
        return LDAP_SERVER_DOWN;
    LDAP* ld = session.get();
    adopt(std::move(session));
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

void Connection::adopt(ldap::LdapPtr session)
{
    ld_ = std::move(session);
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

void Connection::bind(const std::optional<Credentials>& credentials)
{
    if (credentials)
        bindWithPassword(*credentials);
    else
        bindAsCurrentUser();
    readAhead();
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
    // server's certificate), which tie the Kerberos authentication to this TLS session; hardened
    // DCs refuse a bind without, and libldap sends none unless told. A SASL_CBINDING the user
    // set, even "none", is left as it is. Plain LDAP has no TLS session to bind to.
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
        fail(FailedIn::Opening, lastFailure(rc));
}

void Connection::bindWithPassword(const Credentials& credentials)
{
    QByteArray secret = credentials.password.toUtf8();
    berval password { static_cast<ber_len_t>(secret.size()), secret.data() };
    const int rc = ldap_sasl_bind_s(
        ld_.get(), credentials.user.toUtf8().constData(), LDAP_SASL_SIMPLE, &password, nullptr, nullptr, nullptr);
    secret.fill('\0');
    if (rc != LDAP_SUCCESS)
        fail(FailedIn::Opening, lastFailure(rc));
}

void Connection::readAhead()
{
    // Under the protocol layers (TLS, SASL): one read takes what the socket holds, where libldap
    // alone reads each message twice (header, then body) after a poll.
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

Failure Connection::lastFailure(int returned) const
{
    if (!ld_)
        return { returned, {} };
    int code = LDAP_SUCCESS;
    if (ldap_get_option(ld_.get(), LDAP_OPT_RESULT_CODE, &code) != LDAP_OPT_SUCCESS || code == LDAP_SUCCESS)
        code = returned;
    return { code, QString::fromUtf8(stringOption(ld_.get(), LDAP_OPT_DIAGNOSTIC_MESSAGE)) };
}

void Connection::fail(FailedIn where, const Failure& failure)
{
    if (endsSession(where, failure.code))
        broken_ = true;
    throw errorOf(where, failure);
}

DirectoryError Connection::errorOf(FailedIn where, const Failure& failure) const
{
    switch (where) {
    case FailedIn::Opening:
        // Gone after a TLS session was begun and before any answer: the handshake failed (an
        // untrusted certificate, most often), though libldap says it could not reach the server.
        if (tlsStarted_ && (failure.code == LDAP_SERVER_DOWN || failure.code == LDAP_CONNECT_ERROR))
            return tlsHandshakeError();
        // No server answered: say which ones were tried (the URI list may come from DNS).
        if (serverGone(failure.code))
            return unreachableServersError(failure.code, uri_);
        return bindError(failure.code, failure.diagnostic, uri_);
    case FailedIn::Bound:
    case FailedIn::Answer:
        return protocolError(failure.diagnostic);
    case FailedIn::Request:
    case FailedIn::Wait:
        break;
    }
    return errorFromLdap(failure.code, failure.diagnostic);
}

} // namespace directory
