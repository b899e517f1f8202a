#pragma once

// Internal to src/directory: a search in pages (simple paged results, RFC 2696), the cookie loop
// around the message loop.

#include "directory/MessageLoop.h"

#include <vector>

namespace directory {

class Connection;

class PagedSearch {
public:
    // Pages a listing may take: 10 million objects at 1,000 a page. A server whose cookie never
    // ends gets an error here instead of a loop without end.
    static constexpr int maxPages = 10000;
    // Bytes of entries one search may take over all its pages (DNs, names and values as sent).
    // A listing of 1,000,000 users takes about 110 MB of them, a search for the 1,500,000
    // members of a group about 150 MB; a server that sends without end gets an error here
    // instead of the memory. A page also holds no more entries than it asked for.
    static constexpr qint64 maxAnswerBytes = qint64(1) << 30;
    using PageHandler = std::function<void(std::vector<LdapEntry>&)>;

    PagedSearch(Connection& connection, QString base, int scope, QString filter, QStringList attributes);

    // `onPage` gets each page's entries, pages of ConnectionOptions::pageSize. A failure is
    // raised after the entries of its page are delivered: nothing that came is undone. A page
    // over its size or the budget is not delivered: the pages before it are.
    void run(const PageHandler& onPage);

private:
    // Sends the request of the page after `cookie` (the first page for none); its message id.
    int askPage(const berval* cookie);
    // The cookie a page's result gives for the next page; null at the end of the listing.
    ldap::BervalPtr cookieOf(const SearchResult& result);

    Connection& connection_;
    QString base_;
    int scope_;
    QString filter_;
    QStringList attributes_;
    qint64 bytes_ = 0;
};

} // namespace directory
