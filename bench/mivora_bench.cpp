// Mivora against the directory server's own client on the same server, case by case.
//
//   mivora_bench --conf DIR/ldap.conf [--proxy-conf PROXY/ldap.conf] [--repeats N] [--only abcd]
//                [--children N]   (the size of the OU that case (a) lists; 100,000 by default)
//
// Every measurement runs in a child process of its own (this program again, or ldapsearch), so
// that its peak RSS is its own and libldap reads the ldap.conf meant for it: LDAPCONF selects the
// direct ldapi socket or the delay proxy's socket.
#include "browser/NodeTreeModel.h"
#include "browser/ObjectListModel.h"
#include "details/frmDet.h"
#include "directory/Directory.h"
#include "platform/MessageBox.h"
#include "platform/mdlMain.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <ldap.h>
#include <sasl/sasl.h>

extern char** environ;

namespace {

const std::string bulkOu = "ou=大量ユーザー,dc=example,dc=test";
const std::string bigGroup = "cn=大規模グループ,cn=Users,dc=example,dc=test";
const std::string groupedUser = "cn=多数所属ユーザー,cn=Users,dc=example,dc=test";
// member and memberOf values name them as loaded
const std::string bigGroupValue = "CN=大規模グループ,CN=Users,DC=example,DC=test";
const std::string groupedUserValue = "CN=多数所属ユーザー,CN=Users,DC=example,DC=test";
const std::string classFilter = "(|(objectClass=container)(objectClass=organizationalUnit)(objectClass=group)"
                                "(objectClass=computer)(objectClass=user))";
const std::string domain = "example.test";
const QStringList listClasses { QStringLiteral("container"), QStringLiteral("organizationalUnit"),
    QStringLiteral("group"), QStringLiteral("computer"), QStringLiteral("user") };

double seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// ---- child side: Mivora's own code ----

struct ChildOutput {
    std::map<std::string, std::vector<double>> values;
    void add(const std::string& key, double value) { values[key].push_back(value); }
    void print() const
    {
        for (const auto& [key, list] : values) {
            for (const double v : list)
                std::printf("%s %.6f\n", key.c_str(), v);
        }
        std::fflush(stdout);
    }
};

bool failedBox = false;

void recordBoxes()
{
    platform::setMessageBoxHandler([](const QString& text, platform::MessageIcon) {
        failedBox = true;
        std::fprintf(stderr, "message box: %s\n", qPrintable(text));
    });
}

// The time the first rows of the list were painted during a listing: the first paint of the
// list's viewport while its model holds rows (taken as the paint starts).
class FirstRows : public QObject {
public:
    explicit FirstRows(QTreeView* list)
        : list_(list)
    {
        list->viewport()->installEventFilter(this);
    }
    void arm(std::chrono::steady_clock::time_point start)
    {
        start_ = start;
        seen_.reset();
    }
    std::optional<double> seen() const { return seen_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !seen_ && list_->model()->rowCount() > 0)
            seen_ = seconds(std::chrono::steady_clock::now() - start_);
        return QObject::eventFilter(watched, event);
    }

private:
    QTreeView* list_;
    std::chrono::steady_clock::time_point start_;
    std::optional<double> seen_;
};

// ListObjects on a big OU twice: the first listing, then the same node again (children removed
// and re-added). "filled" includes the event loop's layout and paint of the shown window. Then
// the list scrolled to its end and painted, and the last row's details window opened by the
// double-click handler (shown and painted, then closed).
int childList(int argc, char** argv)
{
    const int expected = argc > 2 ? std::atoi(argv[2]) : 100000;
    QApplication app(argc, argv);
    recordBoxes();
    frmMain window;
    window.show();
    QApplication::processEvents();
    window.txtDomain->setText(QString::fromStdString(domain));
    if (!window.ListObjects(QString(), QString()))
        return 1;
    const QString key = QStringLiteral("LDAP://") + QString::fromStdString(bulkOu);
    ChildOutput out;
    FirstRows firstRows(window.lvList);
    for (const char* round : { "first", "second" }) {
        const auto start = std::chrono::steady_clock::now();
        firstRows.arm(start);
        if (!window.ListObjects(key, QString()))
            return 1;
        const auto returned = std::chrono::steady_clock::now();
        QApplication::processEvents();
        const auto filled = std::chrono::steady_clock::now();
        out.add(std::string(round) + "-call", seconds(returned - start));
        out.add(std::string(round), seconds(filled - start));
        out.add(std::string(round) + "-rows-painted", firstRows.seen().value_or(-1));
    }
    const QAbstractItemModel* rows = window.lvList->model();
    out.add("rows", rows->rowCount());
    const QAbstractItemModel* nodes = window.tvNode->model();
    const QModelIndex root = nodes->index(0, 0);
    for (int i = 0; i < nodes->rowCount(root); ++i) {
        const QModelIndex node = nodes->index(i, 0, root);
        if (node.data().toString() == QString::fromStdString(bulkOu).section(u',', 0, 0))
            out.add("nodes", nodes->rowCount(node));
    }

    auto start = std::chrono::steady_clock::now();
    window.lvList->scrollToBottom();
    QApplication::processEvents();
    out.add("scroll-to-end", seconds(std::chrono::steady_clock::now() - start));
    const QModelIndex last = rows->index(rows->rowCount() - 1, 0);
    window.lvList->setCurrentIndex(last);
    const bool lastVisible = window.lvList->viewport()->rect().contains(window.lvList->visualRect(last).center());
    const QString lastTag = last.data(browser::ObjectListModel::TagRole).toString();
    const QString lastNo = last.data().toString();
    double opened = -1;
    start = std::chrono::steady_clock::now();
    QTimer::singleShot(0, &window, [&] {
        auto* details = qobject_cast<frmDet*>(QApplication::activeModalWidget());
        if (!details)
            return;
        opened = seconds(std::chrono::steady_clock::now() - start);
        details->close();
    });
    window.lvList_DblClick();
    out.add("last-row-details", opened);
    const QString lastDn = QStringLiteral("LDAP://CN=user%1,").arg(expected, 6, 10, QLatin1Char('0'));
    out.add("last-row-ok",
        lastVisible && mdlMain::strObjectPath == lastTag && lastNo == QString::number(expected)
                && lastTag.startsWith(lastDn, Qt::CaseInsensitive)
            ? 1
            : 0);
    out.print();
    return failedBox ? 1 : 0;
}

// Removing a node's 100,000 children from a shown tree, as a second listing does first: the
// model's one removal, then the same children as QTreeWidgetItems taken at once (the widget the
// tree was before).
int childRemove(int argc, char** argv)
{
    QApplication app(argc, argv);
    const auto nameOf = [](int i) { return QStringLiteral("cn=user%1").arg(i, 6, 10, QLatin1Char('0')); };
    const auto pathOf
        = [](const QString& name) { return QStringLiteral("LDAP://%1,").arg(name) + QString::fromStdString(bulkOu); };
    ChildOutput out;
    {
        QTreeView view;
        browser::NodeTreeModel model;
        view.setModel(&model);
        view.show();
        const QModelIndex parent
            = model.addRoot(QStringLiteral("LDAP://") + QString::fromStdString(bulkOu), QStringLiteral("ou"));
        view.expand(parent);
        {
            browser::NodeTreeModel::Pending children(model, parent);
            for (int i = 1; i <= 100000; ++i) {
                const QString name = nameOf(i);
                children.add(browser::SharedText(pathOf(name), name));
            }
        }
        QApplication::processEvents();
        const auto start = std::chrono::steady_clock::now();
        model.removeChildren(parent);
        QApplication::processEvents();
        out.add("remove", seconds(std::chrono::steady_clock::now() - start));
        out.add("keys-left", static_cast<double>(model.size()));
    }
    {
        QTreeWidget tree;
        tree.show();
        auto* parent = new QTreeWidgetItem(QStringList { QStringLiteral("ou") });
        tree.addTopLevelItem(parent);
        parent->setExpanded(true);
        QList<QTreeWidgetItem*> children;
        for (int i = 1; i <= 100000; ++i) {
            auto* node = new QTreeWidgetItem(QStringList { nameOf(i) });
            node->setData(0, Qt::UserRole, pathOf(nameOf(i)));
            children.append(node);
        }
        parent->addChildren(children);
        QApplication::processEvents();
        const auto start = std::chrono::steady_clock::now();
        qDeleteAll(parent->takeChildren());
        QApplication::processEvents();
        out.add("widget-items", seconds(std::chrono::steady_clock::now() - start));
    }
    out.print();
    return 0;
}

// The directory layer's enumeration alone, without widgets: what the listing costs before the views.
int childEnumerate()
{
    ChildOutput out;
    for (int round = 0; round < 2; ++round) {
        const auto start = std::chrono::steady_clock::now();
        directory::Directory& directory = directory::currentDirectory();
        const directory::DirObject container
            = directory.bind(QStringLiteral("LDAP://") + QString::fromStdString(bulkOu));
        qsizetype count = 0;
        directory.enumerate(container, listClasses, [&](const directory::Directory::Batch& batch) {
            for (const directory::DirObject& child : batch)
                count += child.className().size() > 0 ? 1 : 0;
        });
        out.add("enumerate", seconds(std::chrono::steady_clock::now() - start));
        out.add("objects", static_cast<double>(count));
    }
    out.print();
    return 0;
}

// The details window on one object: the opening (window made, ShowDetail in its load step,
// shown and painted), then refreshes on the connection the opening left open. With "running"
// the process first does what the running program has done before any details window: the
// domain bound on the connection the window will use, a window with Japanese text painted (the
// font database and the Japanese fallback font loaded).
int childDetail(int argc, char** argv)
{
    const QString path = QStringLiteral("LDAP://") + QString::fromUtf8(argv[2]);
    const int refreshes = std::atoi(argv[3]);
    const bool running = argc > 4 && std::strcmp(argv[4], "running") == 0;
    QApplication app(argc, argv);
    recordBoxes();
    mdlMain::strObjectPath = path;
    ChildOutput out;
    std::unique_ptr<QLabel> mainWindow;
    if (running) {
        directory::currentDirectory().bind(QStringLiteral("LDAP://dc=example,dc=test"));
        mainWindow = std::make_unique<QLabel>(QStringLiteral("ドメイン 接続 切断"));
        mainWindow->show();
        QApplication::processEvents();
    }
    auto start = std::chrono::steady_clock::now();
    frmDet window;
    window.show();
    QApplication::processEvents();
    out.add("cold", seconds(std::chrono::steady_clock::now() - start));
    for (int i = 0; i < refreshes; ++i) {
        start = std::chrono::steady_clock::now();
        if (!window.ShowDetail(path))
            return 1;
        QApplication::processEvents();
        out.add("warm", seconds(std::chrono::steady_clock::now() - start));
    }
    out.add("entries", window.lstGrpGroup->count() + window.lstGrpMember->count() + window.lstUsrGroup->count());
    out.print();
    return failedBox ? 1 : 0;
}

// ---- child side: the reference reads over libldap, one at a time ----

int interact(LDAP*, unsigned, void*, void* in)
{
    for (auto* item = static_cast<sasl_interact_t*>(in); item->id != SASL_CB_LIST_END; ++item) {
        item->result = item->defresult ? item->defresult : "";
        item->len = static_cast<unsigned>(std::strlen(static_cast<const char*>(item->result)));
    }
    return LDAP_SUCCESS;
}

std::optional<LDAPMessage*> readOne(LDAP* ld, const std::string& dn, const char* attribute)
{
    char* attributes[] = { const_cast<char*>(attribute), nullptr };
    int msgid = 0;
    if (ldap_search_ext(
            ld, dn.c_str(), LDAP_SCOPE_BASE, "(objectClass=*)", attributes, 0, nullptr, nullptr, nullptr, 0, &msgid)
        != LDAP_SUCCESS)
        return std::nullopt;
    LDAPMessage* result = nullptr;
    if (ldap_result(ld, msgid, LDAP_MSG_ALL, nullptr, &result) <= 0)
        return std::nullopt;
    return result;
}

// The round trip (median of base reads of the root DSE on a bound connection), then the first
// `count` members of the group read one after the other, each waiting for its answer.
int childSequential(char** argv)
{
    const std::string group = argv[2];
    const int count = std::atoi(argv[3]);
    LDAP* ld = nullptr;
    if (ldap_initialize(&ld, nullptr) != LDAP_SUCCESS)
        return 1;
    const int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    char* mechanism = nullptr;
    ldap_get_option(ld, LDAP_OPT_X_SASL_MECH, &mechanism);
    if (ldap_sasl_interactive_bind_s(ld, nullptr, mechanism, nullptr, nullptr, LDAP_SASL_QUIET, interact, nullptr)
        != LDAP_SUCCESS) {
        std::fprintf(stderr, "bind failed\n");
        return 1;
    }
    ldap_memfree(mechanism);
    ChildOutput out;
    for (int i = 0; i < 21; ++i) {
        const auto start = std::chrono::steady_clock::now();
        auto answer = readOne(ld, "", "namingContexts");
        if (!answer)
            return 1;
        out.add("rtt", seconds(std::chrono::steady_clock::now() - start));
        ldap_msgfree(*answer);
    }
    auto groupEntry = readOne(ld, group, "member");
    if (!groupEntry)
        return 1;
    std::vector<std::string> members;
    LDAPMessage* entry = ldap_first_entry(ld, *groupEntry);
    berval** values = entry ? ldap_get_values_len(ld, entry, "member") : nullptr;
    for (berval** v = values; v && *v && static_cast<int>(members.size()) < count; ++v)
        members.emplace_back((*v)->bv_val, (*v)->bv_len);
    ldap_value_free_len(values);
    ldap_msgfree(*groupEntry);

    int read = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& dn : members) {
        auto answer = readOne(ld, dn, "cn");
        if (!answer)
            return 1;
        if (ldap_first_entry(ld, *answer))
            ++read;
        ldap_msgfree(*answer);
    }
    out.add("sequential", seconds(std::chrono::steady_clock::now() - start));
    out.add("reads", read);

    // The same reads with up to `window` outstanding on the connection, answers taken in order:
    // the least the pipelined way can cost on this server.
    const size_t window = 200;
    std::vector<int> msgids(members.size(), -1);
    size_t sent = 0;
    int pipelined = 0;
    const auto pipelineStart = std::chrono::steady_clock::now();
    char cn[] = "cn";
    char* attributes[] = { cn, nullptr };
    for (size_t next = 0; next < members.size(); ++next) {
        for (; sent < members.size() && sent - next < window; ++sent) {
            if (ldap_search_ext(ld, members[sent].c_str(), LDAP_SCOPE_BASE, "(objectClass=*)", attributes, 0, nullptr,
                    nullptr, nullptr, 0, &msgids[sent])
                != LDAP_SUCCESS)
                return 1;
        }
        LDAPMessage* answer = nullptr;
        if (ldap_result(ld, msgids[next], LDAP_MSG_ALL, nullptr, &answer) <= 0)
            return 1;
        if (ldap_first_entry(ld, answer))
            ++pipelined;
        ldap_msgfree(answer);
    }
    out.add("pipelined", seconds(std::chrono::steady_clock::now() - pipelineStart));
    out.add("pipelined-reads", pipelined);
    out.print();
    ldap_unbind_ext_s(ld, nullptr, nullptr);
    return 0;
}

// ---- parent side ----

struct Run {
    bool ok = false;
    double wall = 0;
    double peakMb = 0;
    std::map<std::string, std::vector<double>> values;
};

std::string selfPath;

// Runs argv with LDAPCONF set; stdout is parsed as "key value" lines (or thrown away).
Run spawnChild(const std::vector<std::string>& args, const std::string& ldapConf, bool parseOutput)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "LDAPCONF=", 9) != 0 && std::strncmp(*e, "LDAPNOINIT=", 11) != 0)
            env.emplace_back(*e);
    }
    env.push_back("LDAPCONF=" + ldapConf);
    env.emplace_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> argvPtrs, envPtrs;
    for (const auto& a : args)
        argvPtrs.push_back(const_cast<char*>(a.c_str()));
    argvPtrs.push_back(nullptr);
    for (const auto& e : env)
        envPtrs.push_back(const_cast<char*>(e.c_str()));
    envPtrs.push_back(nullptr);

    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (parseOutput) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);

    Run run;
    pid_t pid = 0;
    const auto start = std::chrono::steady_clock::now();
    const int rc = posix_spawnp(&pid, argvPtrs[0], &actions, nullptr, argvPtrs.data(), envPtrs.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) {
        close(pipeFds[0]);
        std::fprintf(stderr, "cannot start %s: %s\n", args[0].c_str(), std::strerror(rc));
        return run;
    }
    std::string output;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0)
            output.append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) { }
    run.wall = seconds(std::chrono::steady_clock::now() - start);
    run.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!run.ok)
        std::fprintf(
            stderr, "%s %s failed (status %d)\n", args[0].c_str(), args.size() > 1 ? args[1].c_str() : "", status);
    size_t pos = 0;
    while (pos < output.size()) {
        const size_t end = output.find('\n', pos);
        const std::string line = output.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? output.size() : end + 1;
        const size_t space = line.find(' ');
        if (space != std::string::npos)
            run.values[line.substr(0, space)].push_back(std::atof(line.c_str() + space + 1));
    }
    return run;
}

// Medians of one value over several runs, and the highest peak RSS among them.
struct Summary {
    double time = 0;
    double peakMb = 0;
    bool ok = true;
    std::map<std::string, double> medians;
    double value(const std::string& key) const
    {
        const auto it = medians.find(key);
        return it == medians.end() ? -1 : it->second;
    }
};

// The runs of one command, gathered into a Summary.
class Runs {
public:
    void add(const Run& run)
    {
        summary_.ok = summary_.ok && run.ok;
        walls_.push_back(run.wall);
        summary_.peakMb = std::max(summary_.peakMb, run.peakMb);
        for (const auto& [key, list] : run.values)
            all_[key].insert(all_[key].end(), list.begin(), list.end());
    }
    Summary summary()
    {
        summary_.time = median(walls_);
        for (auto& [key, list] : all_)
            summary_.medians[key] = median(list);
        return summary_;
    }

private:
    Summary summary_;
    std::vector<double> walls_;
    std::map<std::string, std::vector<double>> all_;
};

Summary repeat(int times, const std::vector<std::string>& args, const std::string& conf, bool parse)
{
    Runs runs;
    for (int i = 0; i < times; ++i)
        runs.add(spawnChild(args, conf, parse));
    return runs.summary();
}

// Two commands taking turns, so that a change in the machine's load falls on both sides of a
// ratio alike instead of on whichever ran second.
std::pair<Summary, Summary> repeatInTurns(int times, const std::vector<std::string>& first,
    const std::vector<std::string>& second, const std::string& conf, bool parseFirst)
{
    Runs firstRuns;
    Runs secondRuns;
    for (int i = 0; i < times; ++i) {
        firstRuns.add(spawnChild(first, conf, parseFirst));
        secondRuns.add(spawnChild(second, conf, false));
    }
    return { firstRuns.summary(), secondRuns.summary() };
}

void printHeader()
{
    std::printf(
        "%-52s %10s %10s %7s %9s %9s  %s\n", "case", "mivora_s", "ref_s", "ratio", "mivora_MB", "ref_MB", "reference");
}

void printLine(const std::string& name, double mivora, double reference, double mivoraMb, double referenceMb,
    const std::string& what)
{
    const double ratio = reference > 0 ? mivora / reference : 0;
    std::printf("%-52s %10.3f %10.3f %7.2f %9.1f %9.1f  %s\n", name.c_str(), mivora, reference, ratio, mivoraMb,
        referenceMb, what.c_str());
    std::fflush(stdout);
}

std::vector<std::string> ldapsearch(const std::string& scope, const std::string& base, const std::string& filter,
    std::initializer_list<std::string> attributes)
{
    std::vector<std::string> args { "ldapsearch", "-LLL", "-Q", "-E", "pr=1000/noprompt", "-s", scope, "-b", base,
        filter };
    args.insert(args.end(), attributes);
    return args;
}

void detailCases(const std::string& label, const std::string& conf, int repeats, int refreshes)
{
    const struct {
        std::string name;
        std::string dn;
        std::vector<std::string> reference;
        std::string what;
        double expected;
    } cases[] = {
        { "group of 5,000 members", bigGroup,
            ldapsearch("sub", "dc=example,dc=test", "(memberOf=" + bigGroupValue + ")", { "cn" }),
            "ldapsearch pr=1000 (memberOf=group) cn", 5000 },
        { "user in 300 groups", groupedUser,
            ldapsearch("sub", "dc=example,dc=test", "(member=" + groupedUserValue + ")", { "cn" }),
            "ldapsearch pr=1000 (member=user) cn", 300 },
    };
    // What every opening costs whatever the object: the window made, shown and painted, the
    // connection opened and bound, one object read.
    const std::string smallOu = "ou=Domain Controllers,dc=example,dc=test";
    const auto [window, windowReference] = repeatInTurns(repeats, { selfPath, "child-detail", smallOu, "1" },
        ldapsearch("base", smallOu, "(objectClass=*)", { "ou" }), conf, true);
    printLine(label + " ShowDetail on an OU, opening (fixed part)", window.value("cold"), windowReference.time,
        window.peakMb, windowReference.peakMb, "ldapsearch -s base ou");
    for (const auto& c : cases) {
        const auto [mivora, reference] = repeatInTurns(
            repeats, { selfPath, "child-detail", c.dn, std::to_string(refreshes) }, c.reference, conf, true);
        if (!mivora.ok || !reference.ok || mivora.value("entries") != c.expected)
            std::printf("%s %s: FAILED (entries %.0f, expected %.0f)\n", label.c_str(), c.name.c_str(),
                mivora.ok ? mivora.value("entries") : -1, c.expected);
        printLine(label + " ShowDetail " + c.name + ", opening", mivora.value("cold"), reference.time, mivora.peakMb,
            reference.peakMb, c.what);
        const Summary inProgram = repeat(repeats, { selfPath, "child-detail", c.dn, "0", "running" }, conf, true);
        printLine(label + " ShowDetail " + c.name + ", opening in the running program", inProgram.value("cold"),
            reference.time, inProgram.peakMb, reference.peakMb, c.what);
        printLine(label + " ShowDetail " + c.name + ", refresh", mivora.value("warm"), reference.time, mivora.peakMb,
            reference.peakMb, c.what);
    }
}

int parent(int argc, char** argv)
{
    std::string conf, proxyConf;
    int repeats = 3;
    int children = 100000;
    std::string only;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--conf")
            conf = argv[i + 1];
        else if (option == "--proxy-conf")
            proxyConf = argv[i + 1];
        else if (option == "--repeats")
            repeats = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--only")
            only = argv[i + 1];
        else if (option == "--children")
            children = std::max(1, std::atoi(argv[i + 1]));
    }
    if (conf.empty()) {
        std::fprintf(stderr,
            "usage: mivora_bench --conf LDAPCONF [--proxy-conf LDAPCONF] [--repeats N] [--only abcd] "
            "[--children N]\n");
        return 2;
    }
    const auto wanted = [&](char c) { return only.empty() || only.find(c) != std::string::npos; };
    std::printf("median of %d runs; each run is a process of its own; times in seconds, peak RSS in MB\n", repeats);
    printHeader();

    if (wanted('a')) {
        const std::string n = children == 1000000 ? "1,000,000"
            : children == 100000                  ? "100,000"
                                                  : std::to_string(children);
        const auto [mivora, reference] = repeatInTurns(repeats, { selfPath, "child-list", std::to_string(children) },
            ldapsearch("one", bulkOu, classFilter, { "objectClass", "structuralObjectClass" }), conf, true);
        if (!mivora.ok || mivora.value("rows") != children || mivora.value("nodes") != children)
            std::printf("(a) FAILED: rows %.0f nodes %.0f\n", mivora.value("rows"), mivora.value("nodes"));
        if (mivora.value("last-row-ok") != 1)
            std::printf("(a) FAILED: the last row was not shown, or its details not opened\n");
        printLine("(a) ListObjects " + n + " children, first", mivora.value("first"), reference.time, mivora.peakMb,
            reference.peakMb, "ldapsearch pr=1000 -s one class filter");
        printLine("(a)   the call alone (before paint)", mivora.value("first-call"), reference.time, mivora.peakMb,
            reference.peakMb, "ldapsearch pr=1000 -s one class filter");
        printLine("(a)   first rows painted, after the call's start", mivora.value("first-rows-painted"),
            mivora.value("first"), mivora.peakMb, mivora.peakMb, "the whole listing");
        printLine("(a) second listing of the same node", mivora.value("second"), mivora.value("first"), mivora.peakMb,
            mivora.peakMb, "the first listing");
        printLine("(a)   its first rows painted", mivora.value("second-rows-painted"), mivora.value("second"),
            mivora.peakMb, mivora.peakMb, "the second listing");
        printLine("(a) list scrolled to its end and painted", mivora.value("scroll-to-end"), mivora.value("first"),
            mivora.peakMb, mivora.peakMb, "the first listing");
        printLine("(a) details of the last row opened (shown)", mivora.value("last-row-details"), mivora.value("first"),
            mivora.peakMb, mivora.peakMb, "the first listing");
        if (children == 100000) {
            const Summary removal = repeat(repeats, { selfPath, "child-remove" }, conf, true);
            if (!removal.ok || removal.value("keys-left") != 1)
                std::printf("(a) removal FAILED: %.0f keys left\n", removal.value("keys-left"));
            printLine("(a) removing 100,000 children from a shown tree", removal.value("remove"),
                removal.value("widget-items"), removal.peakMb, removal.peakMb, "QTreeWidgetItems taken at once");
        }
    }
    if (wanted('b') || wanted('c'))
        detailCases("(b,c)", conf, repeats, 3);
    if (wanted('d') && !proxyConf.empty()) {
        const Summary sequential = repeat(1, { selfPath, "child-sequential", bigGroupValue, "100" }, proxyConf, true);
        std::printf("(d) round trip through the proxy: %.1f ms (median of 21 base reads of the root DSE)\n",
            sequential.value("rtt") * 1000);
        printLine("(d) bare libldap: 100 reads pipelined, window 200", sequential.value("pipelined"),
            sequential.value("sequential"), sequential.peakMb, sequential.peakMb, "the same reads one at a time");
        std::printf("(d) one at a time that is %.1f ms a read: 5,000 members would take about %.0f s\n",
            sequential.value("sequential") * 10, sequential.value("sequential") * 50);
        detailCases("(d)", proxyConf, repeats, 3);
    }
    if (wanted('b')) {
        const Summary sequential = repeat(repeats, { selfPath, "child-sequential", bigGroupValue, "5000" }, conf, true);
        printLine("(b) bare libldap: 5,000 reads pipelined, window 200", sequential.value("pipelined"),
            sequential.value("sequential"), sequential.peakMb, sequential.peakMb, "the same reads one at a time");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    selfPath = argv[0];
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "child-list")
        return childList(argc, argv);
    if (mode == "child-remove")
        return childRemove(argc, argv);
    if (mode == "child-enumerate")
        return childEnumerate();
    if (mode == "child-detail" && argc > 3)
        return childDetail(argc, argv);
    if (mode == "child-sequential" && argc > 3)
        return childSequential(argv);
    return parent(argc, argv);
}
