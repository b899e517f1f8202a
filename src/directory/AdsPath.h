#pragma once

#include <QString>

namespace directory {

// An LDAP provider path: "LDAP://DN" (serverless), "LDAP://host[:port]/DN" or "LDAP://host" (the
// domain object of that server). parse() throws DirectoryError(BadPathName) for anything else.
// A serverless path whose DN text has no '=' before its first '/' (no DN has; a server may send
// such text) is written "LDAP:///text", as an LDAP URL without a host: it never reads as a host.
class AdsPath {
public:
    static AdsPath parse(const QString& text);
    static AdsPath forDn(const QString& dn, const QString& server = {});

    const QString& server() const { return server_; } // "host" or "host:port", empty when serverless
    const QString& dn() const { return dn_; } // empty for "LDAP://host"
    bool isServerless() const { return server_.isEmpty(); }
    // The same server (or none) with another DN: how children and members get their paths.
    AdsPath withDn(const QString& dn) const { return forDn(dn, server_); }
    QString toString() const;

private:
    QString server_;
    QString dn_;
};

} // namespace directory
