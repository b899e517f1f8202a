#pragma once

#include <QByteArray>
#include <QString>
#include <sys/socket.h>
#include <vector>

// Whether a server is this machine: what keeps the probes from reaching any other.
namespace platform {

// The address spellings namesThisMachine takes besides plain 127.0.0.0/8 and ::1.
enum class AddressForms {
    PlainOnly,
    // Also an IPv6 address in brackets ("[::1]") and an IPv4-mapped one (::ffff:127.0.0.1).
    BracketedAndMapped,
};

// Decided from the text alone, since resolving a name could already send a query off the
// machine: "localhost", a loopback address, or this host's own name, whole or up to its first
// dot; letter case ignored.
bool namesThisMachine(const QString& server, AddressForms forms);

// An address to connect() to.
struct SocketAddress {
    sockaddr_storage storage {};
    socklen_t length = 0;
};

// The addresses, with `port`, that one lookup of host gives (getaddrinfo's AI_ `flags` added);
// empty for a name that does not resolve, or when one of them cannot be held.
std::vector<SocketAddress> addressesOf(const QByteArray& host, int port, int flags = 0);

// The addresses, with `port`, that one lookup of host gives when every one is a loopback one
// (127.0.0.0/8, ::1, ::ffff:127.x.x.x); empty otherwise, and for a name that does not resolve. An
// empty host is "localhost", as libldap connects to it. Connect to these, not to the name: the
// next lookup may answer with another address (DNS rebinding).
std::vector<SocketAddress> loopbackAddressesOf(const QByteArray& host, int port);

} // namespace platform
