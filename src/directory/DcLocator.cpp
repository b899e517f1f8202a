#include "directory/DcLocator.h"

#include "directory/LdapErrors.h"
#include "directory/Search.h"
#include "directory/SocketSession.h"

#include <QRegularExpression>
#include <QStringList>
#include <array>
#include <memory>
#include <netdb.h>
#include <openldap.h>
#include <poll.h>
#include <vector>

namespace directory {

QString SrvTarget::uri() const
{
    return QStringLiteral("ldap://%1:%2").arg(host).arg(port);
}

QList<SrvTarget> srvTargetsOf(const QString& name)
{
    char* raw = nullptr;
    if (ldap_domain2hostlist(name.toUtf8().constData(), &raw) != LDAP_SUCCESS || !raw)
        return {};
    ldap::CharPtr owner(raw);
    QList<SrvTarget> targets;
    for (const QString& entry : QString::fromUtf8(raw).split(u' ', Qt::SkipEmptyParts)) {
        const qsizetype colon = entry.lastIndexOf(u':');
        bool ok = false;
        const int port = colon > 0 ? entry.mid(colon + 1).toInt(&ok) : 0;
        if (ok && port > 0 && port < 65536)
            targets.append({ entry.left(colon), port });
    }
    return targets;
}

namespace {
using Clock = std::chrono::steady_clock;

// A Netlogon answer is a few hundred bytes; nothing bigger is read from a server not yet trusted.
constexpr ber_len_t maxPingAnswerBytes = 64UL * 1024;

// One LDAP ping to one address of one DC: a connect without waiting, then the rootDSE read over
// libldap once the socket is connected. Every step runs when poll() says the socket is ready.
class Ping {
public:
    enum class State { Connecting, Asking, Answered, Failed };

    Ping(qsizetype target, QString uri, const platform::SocketAddress& address, QByteArray filter)
        : target_(target)
        , uri_(std::move(uri))
        , filter_(std::move(filter))
        , connect_(address)
    {
        if (!connect_.begun())
            fail();
    }

    State state() const { return state_; }
    qsizetype target() const { return target_; }
    bool pending() const { return state_ == State::Connecting || state_ == State::Asking; }
    pollfd pollEntry() const
    {
        return state_ == State::Connecting ? connect_.pollEntry() : pollfd { descriptor(), POLLIN, 0 };
    }
    void onReady()
    {
        if (state_ == State::Connecting)
            connected();
        else if (state_ == State::Asking)
            readAnswers();
    }
    // The answer: the session (anonymous, nothing outstanding) and what the DC said.
    ldap::LdapPtr takeSession() { return std::move(ld_); }
    const std::optional<NetlogonReply>& reply() const { return reply_; }

private:
    void fail()
    {
        state_ = State::Failed;
        ld_.reset();
    }

    int descriptor() const
    {
        int fd = -1;
        return ld_ && ldap_get_option(ld_.get(), LDAP_OPT_DESC, &fd) == LDAP_OPT_SUCCESS ? fd : -1;
    }

    void connected()
    {
        if (!connect_.succeeded())
            return fail();
        ask();
    }

    void ask()
    {
        int rc = LDAP_SUCCESS;
        ld_ = connect_.takeSession(uri_.toUtf8(), rc);
        if (!ld_)
            return fail();
        LDAP* ld = ld_.get();
        const int version = LDAP_VERSION3;
        Sockbuf* socket = nullptr;
        ber_len_t limit = maxPingAnswerBytes;
        if (ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version) != LDAP_OPT_SUCCESS
            || ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF) != LDAP_OPT_SUCCESS
            || ldap_get_option(ld, LDAP_OPT_SOCKBUF, &socket) != LDAP_OPT_SUCCESS || !socket
            || ber_sockbuf_ctrl(socket, LBER_SB_OPT_SET_MAX_INCOMING, &limit) != 1)
            return fail();
        QByteArray attribute("Netlogon");
        std::array<char*, 2> attributes { attribute.data(), nullptr };
        if (ldap_search_ext(ld, "", LDAP_SCOPE_BASE, filter_.constData(), attributes.data(), 0, nullptr, nullptr,
                nullptr, 0, &msgid_)
            != LDAP_SUCCESS)
            return fail();
        state_ = State::Asking;
    }

    // Takes what has arrived: at most one entry, then the result that ends the search.
    void readAnswers()
    {
        while (state_ == State::Asking) {
            LDAPMessage* raw = nullptr;
            timeval now { 0, 0 };
            const int type = ldap_result(ld_.get(), msgid_, LDAP_MSG_ONE, &now, &raw);
            const ldap::MessagePtr message(raw);
            if (type == 0)
                return;
            if (type == LDAP_RES_SEARCH_ENTRY && !entrySeen_) {
                entrySeen_ = true;
                takeNetlogon(message.get());
            } else if (type == LDAP_RES_SEARCH_RESULT) {
                int code = LDAP_OTHER;
                if (ldap_parse_result(ld_.get(), message.get(), &code, nullptr, nullptr, nullptr, nullptr, 0)
                        != LDAP_SUCCESS
                    || code != LDAP_SUCCESS)
                    return fail();
                state_ = State::Answered;
            } else if (type != LDAP_RES_SEARCH_REFERENCE) {
                // An error, a second entry, anything else: not a DC to use.
                return fail();
            }
        }
    }

    void takeNetlogon(LDAPMessage* entry)
    {
        const ldap::ValuesPtr values(ldap_get_values_len(ld_.get(), entry, "Netlogon"));
        if (values && values.get()[0])
            reply_ = NetlogonReply::decode(
                QByteArrayView(values.get()[0]->bv_val, static_cast<qsizetype>(values.get()[0]->bv_len)));
    }

    qsizetype target_;
    QString uri_;
    QByteArray filter_;
    TcpConnect connect_;
    ldap::LdapPtr ld_;
    int msgid_ = -1;
    State state_ = State::Connecting;
    bool entrySeen_ = false;
    std::optional<NetlogonReply> reply_;
};

struct Answer {
    SrvTarget target;
    ldap::LdapPtr session;
    std::optional<NetlogonReply> reply;
};

bool sameDomain(QString a, QString b)
{
    while (a.endsWith(u'.'))
        a.chop(1);
    while (b.endsWith(u'.'))
        b.chop(1);
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// One round of pings over `targets`, in their order, until one gives a good answer.
class PingRound {
public:
    // `nonDcAllowed`: a server that answers without a Netlogon value (an LDAP server that is not
    // an Active Directory DC, named by _ldap._tcp.<domain>) is good too.
    PingRound(const QString& domain, QList<SrvTarget> targets, bool nonDcAllowed)
        : domain_(domain)
        , targets_(std::move(targets))
        , nonDcAllowed_(nonDcAllowed)
        , filter_(QStringLiteral("(&(DnsDomain=%1)(NtVer=\\06\\00\\00\\00))").arg(escapeFilterValue(domain)).toUtf8())
    { }

    std::optional<Answer> run(Clock::time_point deadline, const LocatorTimings& timings)
    {
        qsizetype next = 0;
        Clock::time_point nextStart = Clock::now();
        while (true) {
            const Clock::time_point now = Clock::now();
            if (now >= deadline)
                return {};
            const bool anyPending = std::ranges::any_of(pings_, [](const auto& ping) { return ping->pending(); });
            if (next < targets_.size() && (now >= nextStart || !anyPending)) {
                start(next++);
                nextStart = now + (next == 1 ? timings.firstWait : timings.nextWait);
                if (std::optional<Answer> answer = takeGoodAnswer())
                    return answer;
                continue;
            }
            if (!anyPending)
                return {};
            std::vector<pollfd> entries;
            std::vector<Ping*> waiting;
            for (const auto& ping : pings_) {
                if (ping->pending()) {
                    entries.push_back(ping->pollEntry());
                    waiting.push_back(ping.get());
                }
            }
            const Clock::time_point wakeUp = next < targets_.size() ? std::min(nextStart, deadline) : deadline;
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wakeUp - now);
            if (::poll(entries.data(), entries.size(), static_cast<int>(std::max<qint64>(wait.count(), 0))) < 0
                && errno != EINTR)
                return {};
            for (size_t i = 0; i < entries.size(); ++i) {
                if (entries[i].revents != 0)
                    waiting[i]->onReady();
            }
            if (std::optional<Answer> answer = takeGoodAnswer())
                return answer;
        }
    }

    // The servers pinged, for the message when none answered.
    QStringList tried() const { return tried_; }

private:
    void start(qsizetype index)
    {
        const SrvTarget& target = targets_.at(index);
        tried_.append(target.uri());
        for (const platform::SocketAddress& address :
            platform::addressesOf(target.host.toUtf8(), target.port, AI_ADDRCONFIG))
            pings_.push_back(std::make_unique<Ping>(index, target.uri(), address, filter_));
    }

    bool isGood(const Ping& ping) const
    {
        if (ping.state() != Ping::State::Answered)
            return false;
        const std::optional<NetlogonReply>& reply = ping.reply();
        if (!reply)
            return nonDcAllowed_;
        return reply->isLdapServer() && sameDomain(reply->dnsDomainName, domain_);
    }

    std::optional<Answer> takeGoodAnswer()
    {
        for (auto& ping : pings_) {
            if (isGood(*ping))
                return Answer { targets_.at(ping->target()), ping->takeSession(), ping->reply() };
        }
        return {};
    }

    QString domain_;
    QList<SrvTarget> targets_;
    bool nonDcAllowed_;
    QByteArray filter_;
    std::vector<std::unique_ptr<Ping>> pings_;
    QStringList tried_;
};

// The client's site when the DC that answered is in another one; empty otherwise, and for a name
// that is not a DNS label (it becomes part of a DNS query).
QString otherClientSite(const NetlogonReply& reply)
{
    static const QRegularExpression label(QStringLiteral("^[A-Za-z0-9_-]{1,63}$"));
    if (reply.flags & NetlogonReply::closestFlag || reply.clientSiteName.isEmpty()
        || reply.clientSiteName.compare(reply.dcSiteName, Qt::CaseInsensitive) == 0
        || !label.match(reply.clientSiteName).hasMatch())
        return {};
    return reply.clientSiteName;
}

} // namespace

std::optional<LocatedDc> pingDcs(const QString& domain, const QList<SrvTarget>& dcs, std::chrono::milliseconds timeout,
    const LocatorTimings& timings, bool nonDcAllowed, QStringList* tried)
{
    PingRound round(domain, dcs, nonDcAllowed);
    std::optional<Answer> answer = round.run(Clock::now() + timeout, timings);
    if (tried)
        *tried = round.tried();
    if (!answer)
        return {};
    // Non-blocking while pinged, so that a DC that sends half an answer holds up no other.
    blockAgain(answer->session.get());
    return LocatedDc { answer->target.uri(), std::move(answer->session), std::move(answer->reply) };
}

LocatedDc locateDc(const QString& domain, const ConnectionOptions& options, const LocatorTimings& timings)
{
    const auto timeout = std::chrono::milliseconds(std::chrono::seconds(options.networkTimeoutSeconds));
    const Clock::time_point deadline = Clock::now() + timeout;
    bool dcRecords = true;
    QList<SrvTarget> dcs = srvTargetsOf(QStringLiteral("dc._msdcs.") + domain);
    if (dcs.isEmpty()) {
        dcRecords = false;
        dcs = srvTargetsOf(domain);
    }
    if (dcs.isEmpty())
        return { QStringLiteral("ldap://") + domain, {}, {} };

    QStringList tried;
    std::optional<LocatedDc> found = pingDcs(domain, dcs, timeout, timings, !dcRecords, &tried);
    if (!found)
        throw unreachableServersError(LDAP_SERVER_DOWN, tried.join(u' '));
    if (const QString site = found->reply ? otherClientSite(*found->reply) : QString(); !site.isEmpty()) {
        QList<SrvTarget> siteDcs = srvTargetsOf(QStringLiteral("%1._sites.dc._msdcs.%2").arg(site, domain));
        siteDcs.removeIf([&](const SrvTarget& dc) { return dc.uri().compare(found->uri, Qt::CaseInsensitive) == 0; });
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (!siteDcs.isEmpty() && left.count() > 0) {
            if (std::optional<LocatedDc> closer = pingDcs(domain, siteDcs, std::min(left, timings.siteWait), timings))
                found = std::move(closer);
        }
    }
    return std::move(*found);
}

} // namespace directory
