// The console window driven from outside, for the two-host script
// (receivers_test.sh): it fills the fields and presses the request buttons
// the way the operator would, and waits for each answer before the next
// press. It is the same TMainForm as the shipped console, on the real ports
// 161 and 162 of all interfaces, writing LOG/YYYYMMDD.LOG under its working
// directory. Only the error boxes differ: they become lines on stderr, since
// nobody is there to close a box.
//
// usage: console_harness --agent=ADDRESS --walk-from=OID [--walk-steps=N]
//                        --set-oid=OID --set-value=TEXT
//                        --bulk-non=OID --bulk-rep=OID --bulk-max=N
//                        [--v2c-walk-from=OID --v2c-walk-steps=N] [--v2c-get=OID]
//
// In order: N GetNextRequests from --walk-from (SNMPv1, community in the
// window's default "ravine"), one GetRequest of the identifier the walk left
// in OID1Edit, a SetRequest of --set-oid with the value TEXT as "OCTET
// STRING(ASCII 形式)" and community "ravine-rw", a GetRequest of --set-oid,
// then in SNMPv2 a GetBulkRequest with one non-repeater (--bulk-non), one
// repeater (--bulk-rep) and max-repetitions --bulk-max. Still in SNMPv2,
// when given: N GetNextRequests from --v2c-walk-from (one identifier), and
// a GetRequest of --v2c-get. Then the window is closed, which writes the
// stop mark.
//
// stdout: "walk <OID1Edit>" after each GetNextRequest has been answered,
// "get <OID1Edit>" after each GetRequest, then "counts send=S recv=R
// trap=T" from the three counter fields and "done" once the window is
// closed.
// Exit status: 0 when every request went out and was answered, 1 otherwise,
// 2 for bad arguments.
#include <QApplication>
#include <QButtonGroup>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>

#include <cstdio>
#include <map>
#include <string>

#include "output/ErrorReporter.h"
#include "console/MainForm.h"
#include "console/UpDown.h"

namespace {

using quillet::TMainForm;

// How long one request may wait for its answer.
constexpr int kAnswerWaitMs = 5000;

class StderrReporter : public quillet::ErrorReporter {
public:
    void ShowError(const std::string& text) override {
        std::fprintf(stderr, "error box: %s\n", text.c_str());
        ++count;
    }
    void ShowNotice(const std::string& text) override {
        std::fprintf(stderr, "notice box: %s\n", text.c_str());
        ++count;
    }
    int count = 0;
};

int Number(const QLineEdit* edit) { return edit->text().toInt(); }

class Driver {
public:
    explicit Driver(TMainForm& form) : form_(form) {}

    // Presses `button` and waits until the answer has been counted in
    // RecvEdit and shown. Returns false (with a line on stderr) when the
    // request was refused, did not leave, or got no answer in time.
    bool Press(QPushButton* button, const char* what) {
        if (!button->isEnabled()) return Fail(what, "the button is disabled");
        const int sent = Number(form_.SendEdit);
        const int received = Number(form_.RecvEdit);
        button->click();
        if (!form_.MessageEdit->text().isEmpty())
            return Fail(what, "refused: " + form_.MessageEdit->text().toStdString());
        if (Number(form_.SendEdit) != sent + 1) return Fail(what, "SendEdit did not advance");
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < kAnswerWaitMs) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            form_.FlushPane();
            if (Number(form_.RecvEdit) > received) return true;
            QThread::msleep(2);
        }
        return Fail(what, "no answer counted in RecvEdit");
    }

    bool Fail(const char* what, const std::string& why) {
        std::fprintf(stderr, "%s: %s\n", what, why.c_str());
        ++failures;
        return false;
    }

    int failures = 0;

private:
    TMainForm& form_;
};

void Say(const char* tag, const QLineEdit* edit) {
    std::printf("%s %s\n", tag, edit->text().toStdString().c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    std::map<std::string, std::string> options{{"walk-steps", "5"}};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::size_t equals = arg.find('=');
        if (arg.rfind("--", 0) != 0 || equals == std::string::npos) {
            std::fprintf(stderr, "console_harness: bad argument %s\n", arg.c_str());
            return 2;
        }
        options[arg.substr(2, equals - 2)] = arg.substr(equals + 1);
    }
    for (const char* required : {"agent", "walk-from", "set-oid", "set-value", "bulk-non", "bulk-rep", "bulk-max"}) {
        if (options.count(required) == 0) {
            std::fprintf(stderr, "console_harness: --%s=... is missing\n", required);
            return 2;
        }
    }
    auto text = [&options](const char* key) { return QString::fromStdString(options[key]); };

    StderrReporter reporter;
    quillet::ConsoleConfig config;  // the real ports, all interfaces
    config.reporter = &reporter;
    config.settingsFile = "harness-settings.ini";  // in the working directory, never the user's
    TMainForm form(config);
    form.show();
    QApplication::processEvents();

    Driver driver(form);

    // The walk: each answer's identifier comes back into OID1Edit, and the
    // next press asks for the object after it.
    form.IpEdit->setText(text("agent"));
    form.OID1Edit->setText(text("walk-from"));
    form.OID2Edit->clear();
    form.OID3Edit->clear();
    const int steps = std::stoi(options["walk-steps"]);
    for (int i = 0; i < steps; ++i) {
        if (!driver.Press(form.GETNEXTButton, "GetNextRequest")) break;
        Say("walk", form.OID1Edit);
    }

    if (driver.Press(form.GETButton, "GetRequest")) Say("get", form.OID1Edit);

    form.CommunityEdit->setText(QStringLiteral("ravine-rw"));
    form.OID1Edit->setText(text("set-oid"));
    form.DataTypeButtons->button(3)->click();  // "OCTET STRING(ASCII 形式)"
    form.InMemo->setPlainText(text("set-value"));
    driver.Press(form.SetButton, "SetRequest");

    form.CommunityEdit->setText(QStringLiteral("ravine"));
    form.OID1Edit->setText(text("set-oid"));
    if (driver.Press(form.GETButton, "GetRequest")) Say("get", form.OID1Edit);

    // GetBulkRequest exists only in SNMPv2.
    if (form.BulkButton->isEnabled()) driver.Fail("GetBulkRequest", "enabled while SNMPv1 is selected");
    form.VerButtons->button(1)->click();
    form.NonOIDUpDown->Click(quillet::UpDown::Up);
    form.MaxOIDUpDown->Click(quillet::UpDown::Up);
    form.MaxEdit->setText(text("bulk-max"));
    form.OID1Edit->setText(text("bulk-non"));
    form.MaxOID1Edit->setText(text("bulk-rep"));
    driver.Press(form.BulkButton, "GetBulkRequest");

    if (options.count("v2c-walk-from") != 0) {
        form.OID1Edit->setText(text("v2c-walk-from"));
        form.OID2Edit->clear();
        form.OID3Edit->clear();
        const int v2cSteps = options.count("v2c-walk-steps") != 0 ? std::stoi(options["v2c-walk-steps"]) : 1;
        for (int i = 0; i < v2cSteps; ++i) {
            if (!driver.Press(form.GETNEXTButton, "SNMPv2 GetNextRequest")) break;
            Say("walk", form.OID1Edit);
        }
    }
    if (options.count("v2c-get") != 0) {
        form.OID1Edit->setText(text("v2c-get"));
        if (driver.Press(form.GETButton, "SNMPv2 GetRequest")) Say("get", form.OID1Edit);
    }

    form.FlushPane();
    std::printf("counts send=%d recv=%d trap=%d\n", Number(form.SendEdit), Number(form.RecvEdit),
                Number(form.TrapEdit));
    form.close();
    QApplication::processEvents();
    std::printf("done\n");
    return driver.failures == 0 && reporter.count == 0 ? 0 : 1;
}
