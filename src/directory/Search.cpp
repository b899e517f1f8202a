#include "directory/Search.h"

#include "directory/Connection.h"
#include "directory/LdapErrors.h"
#include "directory/PagedSearch.h"

#include <optional>
#include <unordered_map>

namespace directory {

namespace {
const QString anyObject = QStringLiteral("(objectClass=*)");

// The one entry of a base read's answer: a second one is the server's fault.
void keepOnly(Connection& connection, std::optional<LdapEntry>& kept, LdapEntry&& entry)
{
    if (kept)
        refuseMore(connection, QStringLiteral("1 件の読み取りに 2 件以上の項目"));
    kept = std::move(entry);
}
} // namespace

LdapEntry readEntry(Connection& connection, const QString& dn, const QStringList& attributes)
{
    const int msgid = sendSearch(connection, dn, LDAP_SCOPE_BASE, anyObject, attributes);
    std::optional<LdapEntry> entry;
    const SearchResult result
        = takeAnswer(connection, msgid, [&](LdapEntry&& read) { keepOnly(connection, entry, std::move(read)); });
    checkResult(connection, result);
    if (!entry)
        connection.fail(FailedIn::Request, { LDAP_NO_SUCH_OBJECT, {} });
    return std::move(*entry);
}

void readEntries(Connection& connection, const QStringList& dns, const QStringList& attributes, int window,
    const std::function<void(qsizetype, const LdapEntry*, const DirectoryError*)>& onResult)
{
    const qsizetype count = dns.size();
    // Requests still outstanding when this returns early are abandoned.
    std::vector<ldap::Request> requests(static_cast<size_t>(count));
    // The reads sent and not delivered yet, by message id, and what came of them.
    struct Answer {
        std::optional<LdapEntry> entry;
        std::optional<SearchResult> result;
    };
    std::unordered_map<int, Answer> answers;
    qint64 heldBytes = 0;
    qint64 totalBytes = 0;
    const auto onEntry = [&](int msgid, LdapEntry&& entry) {
        const auto it = answers.find(msgid);
        if (it == answers.end())
            return;
        heldBytes += entry.bytes;
        totalBytes += entry.bytes;
        if (heldBytes > maxHeldAnswerBytes)
            refuseMore(connection,
                QStringLiteral("読み取りの順番を待つ応答で合計 %1 を超える項目").arg(megabytes(maxHeldAnswerBytes)));
        if (totalBytes > PagedSearch::maxAnswerBytes)
            refuseMore(connection,
                QStringLiteral("一連の読み取りで合計 %1 を超える項目").arg(megabytes(PagedSearch::maxAnswerBytes)));
        keepOnly(connection, it->second.entry, std::move(entry));
    };
    const auto onAnswerResult = [&](int msgid, SearchResult&& result) {
        const auto it = answers.find(msgid);
        if (it != answers.end() && !it->second.result)
            it->second.result = std::move(result);
    };
    qsizetype sent = 0;
    for (qsizetype next = 0; next < count; ++next) {
        for (; sent < count && sent - next < window; ++sent) {
            const int msgid = sendSearch(connection, dns.at(sent), LDAP_SCOPE_BASE, anyObject, attributes);
            requests[static_cast<size_t>(sent)] = ldap::Request(connection.handle(), msgid);
            answers.try_emplace(msgid);
        }
        ldap::Request& request = requests[static_cast<size_t>(next)];
        // The answers to the other outstanding reads are taken as they come and held here.
        takeAnyAnswers(
            connection, [&] { return answers.at(request.id()).result.has_value(); }, onEntry, onAnswerResult);
        const auto taken = answers.extract(request.id());
        const Answer& answer = taken.mapped();
        // takeAnyAnswers returns once the result came.
        if (!answer.result)
            connection.fail(FailedIn::Request, { LDAP_OTHER, {} });
        const SearchResult& result = *answer.result;
        if (answer.entry)
            heldBytes -= answer.entry->bytes;
        std::optional<DirectoryError> error;
        // A result libldap cannot read fails the session, and with it every read.
        if (!result.parsed)
            checkResult(connection, result);
        if (!result.succeeded())
            error = errorFromLdap(result.code, result.diagnostic);
        else if (!answer.entry)
            error = errorFromLdap(LDAP_NO_SUCH_OBJECT);
        if (error)
            onResult(next, nullptr, &*error);
        else
            onResult(next, &*answer.entry, nullptr);
        request.take();
    }
}

QString escapeFilterValue(const QString& value)
{
    QByteArray escaped;
    for (const char c : value.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '*' || c == '(' || c == ')' || c == '\\' || byte == 0)
            escaped.append('\\').append(QByteArray::number(byte, 16).rightJustified(2, '0'));
        else
            escaped.append(c);
    }
    return QString::fromUtf8(escaped);
}

} // namespace directory
