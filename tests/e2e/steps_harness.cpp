// The console window driven by a list of steps, for end-to-end scripts that
// check what the window and its log show for a given exchange. It is the
// shipped TMainForm on the real ports 161 and 162 of all interfaces, writing
// LOG/YYYYMMDD.LOG and its settings (steps-settings.ini) in its working
// directory; error boxes become lines on stderr.
//
// usage: steps_harness STEP...   each STEP one argument, words split by '|':
//   details|on or details|off      the "詳細表示" check box
//   version|N                      the SNMP version item N (0 SNMPv1, 1 SNMPv2)
//   get|ADDRESS|OID                a GetRequest; waits up to 3 s for its answer
//   noanswer|ADDRESS|OID           a GetRequest nobody answers; waits up to 8 s
//                                  for the message field to say so
//   refused|ADDRESS|OID|TEXT       a GetRequest the agent refuses: the message
//                                  field begins with TEXT within 3 s and still
//                                  does 5.5 s later (no "no answer" replaced it)
//   set|ADDRESS|TYPE|OID|VALUE     a SetRequest with community "ravine-rw" and
//                                  the data type item TYPE (0..8); waits for
//                                  its answer
//   getnext|ADDRESS|OID            a GetNextRequest from OID; waits for its answer
//                                  and prints "walk <OID1Edit>"
//   v3|USER|LEVEL|AUTH|APASS|PRIV|PPASS   the SNMPv3 settings: USER alone, the
//                                  user requests go as (LEVEL 0..2, AUTH 1 MD5 ..
//                                  6 SHA-512, PRIV 1 DES, 2 AES, 3 AES-192,
//                                  4 AES-256, 5 AES-192-C, 6 AES-256-C)
//   v3add|USER|LEVEL|AUTH|APASS|PRIV|PPASS   one more user beside those set
//                                  (a user of the same name replaced); the
//                                  request user stays
//   bulk|ADDRESS|OID               a GetBulkRequest, no non-repeater, OID the one
//                                  repeater, max-repetitions 2; waits for 受信回数
//                                  to grow
//   walk|ADDRESS|OID               a walk of the subtree under OID (WALK); waits
//                                  up to 60 s for it to end
//   walkstop|ADDRESS|OID|N         a walk stopped by a second press once it
//                                  has found N objects
//   transport|PORT|SECONDS|RETRIES the agent's port, timeout and retries
//   fields                         prints "fields ADDRESS OID1 VERSION PORT" as
//                                  the window shows them
//   answered|N                     waits up to 5 s until 受信回数 reaches N
//   traps|N                        waits up to 30 s until TRAP回数 reaches N
//   mark|NAME                      prints "mark NAME" (the script acts on it)
//   waitfile|PATH                  waits up to 30 s until the file PATH exists
//
// stdout, one line a step: "ok <step>" or "failed <step>: <why>", and for
// noanswer the message field's text. Then "done" once the window is closed.
// Exit status: 0 when every step went as asked, 1 otherwise.
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "console/MainForm.h"
#include "console/UpDown.h"
#include "output/ErrorReporter.h"

namespace {

using quillet::TMainForm;

class StderrReporter : public quillet::ErrorReporter {
public:
    void ShowError(const std::string& text) override { std::fprintf(stderr, "error box: %s\n", text.c_str()); }
    void ShowNotice(const std::string& text) override { std::fprintf(stderr, "notice box: %s\n", text.c_str()); }
};

int Number(const QLineEdit* edit) { return edit->text().toInt(); }

// Runs the event loop until `done` holds or `ms` have passed.
bool WaitFor(TMainForm& form, const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        form.FlushPane();
        if (done()) return true;
        QThread::msleep(2);
    }
    return done();
}

std::vector<std::string> Split(const std::string& step) {
    std::vector<std::string> words;
    std::size_t start = 0;
    for (std::size_t bar; (bar = step.find('|', start)) != std::string::npos; start = bar + 1)
        words.push_back(step.substr(start, bar - start));
    words.push_back(step.substr(start));
    return words;
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Runs one step; the reason it failed, or empty.
std::string Run(TMainForm& form, const std::vector<std::string>& w) {
    const std::string& verb = w[0];
    if (verb == "details" && w.size() == 2) {
        form.detailDisplayCheckBox->setChecked(w[1] == "on");
        return {};
    }
    if (verb == "version" && w.size() == 2) {
        form.VerButtons->button(std::stoi(w[1]))->click();
        return {};
    }
    if ((verb == "get" || verb == "noanswer") && w.size() == 3) {
        form.CommunityEdit->setText(QStringLiteral("ravine"));
        form.IpEdit->setText(Q(w[1]));
        form.OID1Edit->setText(Q(w[2]));
        const int received = Number(form.RecvEdit);
        form.GETButton->click();
        if (verb == "get") {
            if (!WaitFor(form, [&] { return Number(form.RecvEdit) > received; }, 3000)) return "no answer";
            return {};
        }
        if (!WaitFor(form, [&] { return form.MessageEdit->text().startsWith(QStringLiteral("応答がありません")); },
                     8000))
            return "the message field never said there was no answer";
        std::printf("message %s\n", form.MessageEdit->text().toStdString().c_str());
        return {};
    }
    if (verb == "refused" && w.size() == 4) {
        form.CommunityEdit->setText(QStringLiteral("ravine"));
        form.IpEdit->setText(Q(w[1]));
        form.OID1Edit->setText(Q(w[2]));
        form.GETButton->click();
        const QString reason = Q(w[3]);
        if (!WaitFor(form, [&] { return form.MessageEdit->text().startsWith(reason); }, 3000))
            return "the message field says \"" + form.MessageEdit->text().toStdString() + "\"";
        WaitFor(form, [] { return false; }, 5500);
        std::printf("message %s\n", form.MessageEdit->text().toStdString().c_str());
        if (!form.MessageEdit->text().startsWith(reason)) return "the reason was replaced";
        return {};
    }
    if (verb == "set" && w.size() == 5) {
        form.CommunityEdit->setText(QStringLiteral("ravine-rw"));
        form.IpEdit->setText(Q(w[1]));
        form.DataTypeButtons->button(std::stoi(w[2]))->click();
        form.OID1Edit->setText(Q(w[3]));
        form.InMemo->setPlainText(Q(w[4]));
        const int received = Number(form.RecvEdit);
        form.SetButton->click();
        if (!form.MessageEdit->text().isEmpty()) return "refused: " + form.MessageEdit->text().toStdString();
        if (!WaitFor(form, [&] { return Number(form.RecvEdit) > received; }, 3000)) return "no answer";
        return {};
    }
    if (verb == "getnext" && w.size() == 3) {
        form.CommunityEdit->setText(QStringLiteral("ravine"));
        form.IpEdit->setText(Q(w[1]));
        if (!w[2].empty()) form.OID1Edit->setText(Q(w[2]));
        form.OID2Edit->clear();
        form.OID3Edit->clear();
        const int received = Number(form.RecvEdit);
        form.GETNEXTButton->click();
        if (!form.MessageEdit->text().isEmpty()) return "refused: " + form.MessageEdit->text().toStdString();
        // An SNMPv3 request may first discover the agent's engine: its
        // Report counts as one answer, the request's answer as the next.
        if (!WaitFor(form, [&] { return form.OID1Edit->text().toStdString() != w[2] && Number(form.RecvEdit) > received; },
                     3000))
            return "no answer written back";
        std::printf("walk %s\n", form.OID1Edit->text().toStdString().c_str());
        return {};
    }
    if ((verb == "v3" || verb == "v3add") && w.size() == 7) {
        quillet::V3DialogValues values;
        if (verb == "v3add") values = form.V3Values();
        std::erase_if(values.users, [&](const quillet::V3UserValues& user) { return user.profile.name == w[1]; });
        quillet::V3UserValues user;
        user.profile.name = w[1];
        user.profile.level = static_cast<quillet::SecurityLevel>(std::stoi(w[2]));
        user.profile.auth = static_cast<quillet::AuthProtocol>(std::stoi(w[3]));
        user.authSecret = w[4];
        const int priv = std::stoi(w[5]);
        user.profile.priv = static_cast<quillet::PrivProtocol>(priv > 4 ? priv - 2 : priv);
        user.profile.extension = priv > 4 ? quillet::KeyExtension::Reeder : quillet::KeyExtension::Blumenthal;
        user.privSecret = w[6];
        values.users.push_back(user);
        if (verb == "v3") values.requestUser = w[1];
        std::string error;
        if (!form.ApplyV3Settings(values, error)) return error;
        return {};
    }
    if (verb == "bulk" && w.size() == 3) {
        form.IpEdit->setText(Q(w[1]));
        while (form.NonOIDUpDown->Position() > 0) form.NonOIDUpDown->Click(quillet::UpDown::Down);
        while (form.MaxOIDUpDown->Position() < 1) form.MaxOIDUpDown->Click(quillet::UpDown::Up);
        while (form.MaxOIDUpDown->Position() > 1) form.MaxOIDUpDown->Click(quillet::UpDown::Down);
        form.MaxEdit->setText(QStringLiteral("2"));
        form.MaxOID1Edit->setText(Q(w[2]));
        const int received = Number(form.RecvEdit);
        form.BulkButton->click();
        if (!form.MessageEdit->text().isEmpty()) return "refused: " + form.MessageEdit->text().toStdString();
        if (!WaitFor(form, [&] { return Number(form.RecvEdit) > received; }, 3000)) return "no answer";
        return {};
    }
    if ((verb == "walk" && w.size() == 3) || (verb == "walkstop" && w.size() == 4)) {
        form.CommunityEdit->setText(QStringLiteral("ravine"));
        form.IpEdit->setText(Q(w[1]));
        form.OID1Edit->setText(Q(w[2]));
        form.WalkButton->click();
        if (!form.Walking()) return "the walk did not start: " + form.MessageEdit->text().toStdString();
        if (verb == "walkstop") {
            const int want = std::stoi(w[3]);
            const auto found = [&] {
                const QString text = form.WalkButton->text();
                return text.startsWith(QStringLiteral("停止 ")) && text.mid(3).chopped(1).toInt() >= want;
            };
            if (!WaitFor(form, found, 30000)) return "the walk never found enough objects";
            form.WalkButton->click();
        }
        if (!WaitFor(form, [&] { return !form.Walking(); }, 60000)) return "the walk did not end";
        return {};
    }
    if (verb == "transport" && w.size() == 4) {
        quillet::AgentTransport transport;
        std::string error;
        if (!quillet::ParseAgentTransport(w[1], w[2], w[3], transport, error)) return error;
        form.ApplyTransport(transport);
        return {};
    }
    if (verb == "fields" && w.size() == 1) {
        std::printf("fields %s %s %d %d\n", form.IpEdit->text().toStdString().c_str(),
                    form.OID1Edit->text().toStdString().c_str(), form.Version(), form.Transport().port);
        return {};
    }
    if (verb == "answered" && w.size() == 2) {
        const int want = std::stoi(w[1]);
        if (!WaitFor(form, [&] { return Number(form.RecvEdit) >= want; }, 5000)) return "too few answers";
        return {};
    }
    if (verb == "mark" && w.size() == 2) {
        std::printf("mark %s\n", w[1].c_str());
        std::fflush(stdout);
        return {};
    }
    if (verb == "waitfile" && w.size() == 2) {
        if (!WaitFor(form, [&] { return QFile::exists(Q(w[1])); }, 30000)) return "the file never came";
        return {};
    }
    if (verb == "traps" && w.size() == 2) {
        const int want = std::stoi(w[1]);
        if (!WaitFor(form, [&] { return Number(form.TrapEdit) >= want; }, 30000)) return "too few traps";
        return {};
    }
    return "unknown step";
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    StderrReporter reporter;
    quillet::ConsoleConfig config;  // the real ports, all interfaces
    config.reporter = &reporter;
    config.settingsFile = "steps-settings.ini";
    TMainForm form(config);
    form.show();
    QApplication::processEvents();
    int failures = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string why = Run(form, Split(argv[i]));
        if (why.empty()) {
            std::printf("ok %s\n", argv[i]);
        } else {
            std::printf("failed %s: %s\n", argv[i], why.c_str());
            ++failures;
        }
        std::fflush(stdout);
    }
    form.FlushPane();
    form.close();
    std::printf("done\n");
    return failures == 0 ? 0 : 1;
}
