#pragma once

#include "platform/NumberedError.h"

#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <vector>

// A stand-in for the WMI scripting interface ("WbemScripting.SWbemLocator"), enough for a
// probe of the local machine. It answers only for the local machine and never opens a socket:
// every other server fails as an unreachable one would.
namespace probes::wmi {

// What every failing call throws.
class WmiError : public platform::NumberedError {
public:
    using NumberedError::NumberedError;
};

// The numbers it carries: HRESULTs as the original platform reports them.
namespace hresult {
constexpr int32_t RpcServerUnavailable = static_cast<int32_t>(0x800706BA);
constexpr int32_t InvalidParameter = static_cast<int32_t>(0x80041008);
constexpr int32_t InvalidNamespace = static_cast<int32_t>(0x8004100E);
constexpr int32_t InvalidQuery = static_cast<int32_t>(0x80041017);
} // namespace hresult

// WbemAuthenticationLevelEnum
enum WbemAuthenticationLevel : int {
    wbemAuthenticationLevelDefault = 0,
    wbemAuthenticationLevelNone = 1,
    wbemAuthenticationLevelConnect = 2,
    wbemAuthenticationLevelCall = 3,
    wbemAuthenticationLevelPkt = 4,
    wbemAuthenticationLevelPktIntegrity = 5,
    wbemAuthenticationLevelPktPrivacy = 6,
};

class SWbemSecurity {
public:
    int authenticationLevel() const { return authenticationLevel_; }
    // A level outside WbemAuthenticationLevelEnum fails with InvalidParameter.
    void setAuthenticationLevel(int level);

private:
    int authenticationLevel_ = wbemAuthenticationLevelDefault;
};

// A result object of a query; only the property the probes read.
struct SWbemObject {
    QString Caption;
};
using SWbemObjectSet = std::vector<SWbemObject>;

class SWbemServices {
public:
    SWbemSecurity& Security_() { return security_; }
    const SWbemSecurity& Security_() const { return security_; }

    // Only "Select * From Win32_OperatingSystem" (WQL: letter case and blanks do not matter),
    // which gives one object whose Caption is the local system's PRETTY_NAME (os-release).
    // Any other query fails with InvalidQuery.
    SWbemObjectSet ExecQuery(const QString& query) const;

private:
    friend class SWbemLocator;
    SWbemServices() = default;

    SWbemSecurity security_;
};

class SWbemLocator {
public:
    // Connects to the namespace "root\cimv2" (either slash, any letter case) of the local
    // machine: "", ".", "localhost", a loopback address, or this host's own name. Any other
    // server fails with RpcServerUnavailable and nothing is sent anywhere; another namespace
    // fails with InvalidNamespace. A local connection runs as the user who runs the program,
    // so user and password are not used.
    SWbemServices ConnectServer(
        const QString& server, const QString& nameSpace, const QString& user, const QString& password) const;
};

// The PRETTY_NAME of an os-release file's content; "Linux" when it has none (os-release(5)).
QString prettyNameFromOsRelease(QByteArrayView content);

} // namespace probes::wmi
