// A long run in one process: each cycle is Connect, a click on an OU of 1,000 children, the
// details window of a group of 300 members, and Disconnect, as a user would do them. Every 500
// cycles it prints the resident set and the open descriptors; what grows after the warm-up is
// kept somewhere it should not be.
//
//   mivora_soak [CYCLES]        (LDAPCONF names the test directory; run-soak.sh sets it up)
#include "details/frmDet.h"
#include "platform/MessageBox.h"
#include "platform/mdlMain.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeView>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

const QString domain = QStringLiteral("example.test");
const QString bulkOu = QStringLiteral("LDAP://ou=大量ユーザー,dc=example,dc=test");
const QString bigGroup = QStringLiteral("LDAP://cn=大規模グループ,cn=Users,dc=example,dc=test");

// Resident set in KiB, from /proc/self/status.
long residentKib()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

qsizetype openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot).size();
}

} // namespace

int main(int argc, char** argv)
{
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 5000;
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    int boxes = 0;
    platform::setMessageBoxHandler([&boxes](const QString& text, platform::MessageIcon) {
        ++boxes;
        std::fprintf(stderr, "message box: %s\n", qPrintable(text));
    });
    frmMain window;
    window.show();
    QApplication::processEvents();
    // Connect wants both filled in; the bind is the current user's.
    window.txtAccount->setText(QStringLiteral("someone"));
    window.txtPassWord->setText(QStringLiteral("secret"));
    std::printf("%7s %10s %6s %9s %8s %8s\n", "cycle", "rss_kib", "fds", "seconds", "rows", "members");
    const auto start = std::chrono::steady_clock::now();
    int rows = 0;
    int members = 0;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        window.txtDomain->setText(domain);
        window.cmdConnect->click();
        window.ListObjects(bulkOu, QString());
        rows = window.lvList->model()->rowCount();
        {
            mdlMain::strObjectPath = bigGroup;
            frmDet details;
            details.show();
            QApplication::processEvents();
            // The form names its lists the other way round: members are in lstGrpGroup.
            members = details.lstGrpGroup->count();
        }
        window.cmdDisConect->click();
        QApplication::processEvents();
        if (rows != 1000 || members != 300 || boxes > 0) {
            std::fprintf(stderr, "cycle %d: %d rows, %d members, %d boxes\n", cycle, rows, members, boxes);
            return 1;
        }
        if (cycle == 1 || cycle % 500 == 0 || cycle == cycles) {
            const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::printf("%7d %10ld %6lld %9.1f %8d %8d\n", cycle, residentKib(), qint64(openDescriptors()), elapsed,
                rows, members);
            std::fflush(stdout);
        }
    }
    return 0;
}
