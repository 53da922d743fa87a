// The request buttons of the window: what leaves the socket, what the pane
// and the message line show.
#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

#include "console/UpDown.h"
#include "tests/gui/FormFixture.h"
#include "tests/net/Loopback.h"

namespace quillet {
namespace {

using testing::LoopbackConfig;
using testing::PaneLines;
using testing::RecordingReporter;

// A window whose requests go to a loopback socket standing in for the agent.
class RequestButtons : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(agent.Create());
        ASSERT_TRUE(agent.BindTo(Loopback()));
        ConsoleConfig config = LoopbackConfig(&reporter);
        config.agentPort = agent.LocalPort();
        form = std::make_unique<TMainForm>(config);
        form->IpEdit->setText(QStringLiteral("127.0.0.1"));
    }

    std::vector<std::uint8_t> Received() {
        std::uint8_t buffer[2048];
        const int n = agent.ReceiveWithin(buffer, sizeof buffer, 2000);
        if (n < 0) return {};
        return std::vector<std::uint8_t>(buffer, buffer + n);
    }

    bool NothingSent() {
        std::uint8_t buffer[16];
        return agent.ReceiveWithin(buffer, sizeof buffer, 50) == -2;
    }

    RecordingReporter reporter;
    UdpSocket agent;
    std::unique_ptr<TMainForm> form;
};

TEST_F(RequestButtons, GetRequestSendsTheEncodedMessageAndReportsIt) {
    form->GETButton->click();
    const std::vector<std::uint8_t> expected = {
        0x30, 0x82, 0x00, 0x2A, 0x02, 0x01, 0x00, 0x04, 0x06, 'r',  'a',  'v',  'i',  'n',  'e',  0xA0,
        0x82, 0x00, 0x1B, 0x02, 0x02, 0x00, 0x01, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x82, 0x00,
        0x0D, 0x30, 0x82, 0x00, 0x09, 0x06, 0x05, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x05, 0x00};
    EXPECT_EQ(Received(), expected);
    EXPECT_EQ(form->SendEdit->text(), QStringLiteral("1"));
    EXPECT_TRUE(form->MessageEdit->text().isEmpty());
    const auto lines = PaneLines(*form);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[1], "get request 送信 request ID=1  SIZE=46");
    EXPECT_EQ(lines[2], "  object ID =1.3.6.1.4.1");
    EXPECT_EQ(lines[3], "  送信DATA=");
    EXPECT_EQ(lines[4], "  30 82 00 2A 02 01 00 04 06 72 61 76 69 6E 65 A0   0..*.....ravine.");
    EXPECT_EQ(form->Output().OutputTotal(), 46 * 3 + 100);
}

TEST_F(RequestButtons, ChecksStopAtTheFirstBadFieldAndSendNothing) {
    form->CommunityEdit->clear();
    form->IpEdit->setText(QStringLiteral("192.0.2.1 "));
    form->GETButton->click();
    EXPECT_EQ(form->MessageEdit->text().toStdString(), "コミュニティ名が異常です。");
    form->CommunityEdit->setText(QStringLiteral("ravine"));
    form->GETNEXTButton->click();
    EXPECT_EQ(form->MessageEdit->text().toStdString(), "IPアドレスが異常です。");
    form->IpEdit->setText(QStringLiteral("127.0.0.1"));
    form->OID2Edit->setText(QStringLiteral("1..2"));
    form->OID3Edit->setText(QStringLiteral("x"));
    form->GETNEXTButton->click();
    EXPECT_EQ(form->MessageEdit->text().toStdString(), "object ID2が異常です。");
    EXPECT_TRUE(NothingSent());
    EXPECT_EQ(form->SendEdit->text(), QStringLiteral("0"));
    EXPECT_EQ(PaneLines(*form).size(), 1u);
}

TEST_F(RequestButtons, AFailedSendIsSaidAndNeitherCountedNorWalked) {
    // Without SO_BROADCAST the system refuses a datagram to the broadcast
    // address: the request's lines stand, a line says it never left.
    form->IpEdit->setText(QStringLiteral("255.255.255.255"));
    form->GETNEXTButton->click();
    const auto lines = PaneLines(*form);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "get next request 送信 request ID=1  SIZE=46");
    EXPECT_EQ(lines.back(), "  送信失敗：送信されていません（Permission denied）");
    EXPECT_EQ(form->SendEdit->text(), QStringLiteral("0"));
    EXPECT_EQ(form->Request().walkPending.load(), 0);
    EXPECT_EQ(reporter.Errors(), std::vector<std::string>{"sendto=NG  当プログラムを既に起動していませんか？ "});
}

TEST_F(RequestButtons, RefusedSetValueUsesUpARequestId) {
    form->InMemo->clear();
    form->SetButton->click();
    EXPECT_EQ(form->MessageEdit->text().toStdString(), "入力データが異常です。");
    EXPECT_TRUE(NothingSent());
    form->GETButton->click();
    const auto datagram = Received();
    ASSERT_GT(datagram.size(), 23u);
    EXPECT_EQ(datagram[21], 0x00);
    EXPECT_EQ(datagram[22], 0x02);  // id 1 went to the refused SetRequest
}

TEST_F(RequestButtons, TextThatIsNotANumberGivesItsMessageLineAndSendsNothing) {
    form->VerButtons->button(1)->click();
    form->DataTypeButtons->button(0)->click();
    for (const char* text : {"1e3", "0x10"}) {
        form->MaxEdit->setText(QString::fromLatin1(text));
        form->BulkButton->click();
        EXPECT_EQ(form->MessageEdit->text().toStdString(), "Max-Repetitionsを入力下さい。") << text;
        form->InMemo->setPlainText(QString::fromLatin1(text));
        form->SetButton->click();
        EXPECT_EQ(form->MessageEdit->text().toStdString(), "入力データが異常です。") << text;
    }
    EXPECT_TRUE(NothingSent());
    EXPECT_TRUE(reporter.Errors().empty());
}

TEST_F(RequestButtons, TheMessageFieldShowsAMessagesBeginning) {
    form->VerButtons->button(2)->click();  // SNMPv3 without a user: the longest message
    form->GETButton->click();
    EXPECT_EQ(form->MessageEdit->text().toStdString(), "SNMPv3の設定(ユーザー)を入力して下さい。");
    EXPECT_GT(QFontMetrics(form->MessageEdit->font()).horizontalAdvance(form->MessageEdit->text()),
              form->MessageEdit->width());
    EXPECT_EQ(form->MessageEdit->cursorPosition(), 0);  // the field scrolls to show its cursor
}

bool Holds(const std::vector<std::uint8_t>& datagram, const std::vector<std::uint8_t>& part) {
    return std::search(datagram.begin(), datagram.end(), part.begin(), part.end()) != datagram.end();
}

TEST_F(RequestButtons, GetNextWalksOnFromAnAnswerTheWindowHasNotShownYet) {
    // The listener has taken in an answer; in a storm the pane update that
    // carries its identifier may still be waiting for its frame.
    OutputBatch answer;
    answer.SetField(Field::OID1Edit, "1.3.6.1.2.1.1.2.0");
    form->Output().Commit(answer);
    form->GETNEXTButton->click();
    EXPECT_TRUE(Holds(Received(), {0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x02, 0x00, 0x05, 0x00}));
    EXPECT_EQ(PaneLines(*form)[2], "  object ID =1.3.6.1.2.1.1.2.0");
}

TEST_F(RequestButtons, TextsWithoutACodePage932FormAndOversizedRequestsAreRefusedAndNothingIsSent) {
    form->CommunityEdit->setText(QStringLiteral("ravin\u00E9"));
    form->GETButton->click();
    EXPECT_EQ(form->MessageEdit->text().toStdString(), "コミュニティ名が異常です。");
    form->CommunityEdit->setText(QStringLiteral("ravine"));
    form->DataTypeButtons->button(3)->click();
    form->InMemo->setPlainText(QStringLiteral("caf\u00E9"));
    form->SetButton->click();
    EXPECT_EQ(form->MessageEdit->text().toStdString(), "入力データが異常です。");
    // A request larger than one UDP datagram carries is refused the same way.
    form->MessageEdit->clear();
    form->InMemo->setPlainText(QString(65480, QLatin1Char('x')));  // a message of 65,528 bytes
    form->SetButton->click();
    EXPECT_EQ(form->MessageEdit->text().toStdString(), "入力データが異常です。");
    EXPECT_TRUE(NothingSent());
    EXPECT_EQ(PaneLines(*form).size(), 1u);
    EXPECT_TRUE(reporter.Errors().empty());
    form->GETButton->click();
    const auto datagram = Received();
    ASSERT_GT(datagram.size(), 23u);
    EXPECT_EQ(datagram[22], 0x03);  // the refused values used ids 1 and 2, the community check none
}

TEST_F(RequestButtons, GetBulkWithoutNonRepeatersNamesItsFirstRepeater) {
    form->VerButtons->button(1)->click();
    form->MaxEdit->setText(QStringLiteral("5"));
    form->MaxOIDUpDown->Click(UpDown::Up);
    form->MaxOID1Edit->setText(QStringLiteral("1.3.6.1.2.1.2.2.1.2"));
    form->BulkButton->click();
    EXPECT_FALSE(Received().empty());
    const auto lines = PaneLines(*form);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], "  object ID =1.3.6.1.2.1.2.2.1.2");
}

TEST_F(RequestButtons, GetBulkTakesItsCountsFromTheUpDownFields) {
    form->VerButtons->button(1)->click();
    form->OID1Edit->setText(QStringLiteral("1.3.6.1.2.1.1.3"));
    form->NonOIDUpDown->Click(UpDown::Up);
    form->MaxEdit->setText(QStringLiteral("5"));
    form->MaxOIDUpDown->Click(UpDown::Up);
    form->MaxOID1Edit->setText(QStringLiteral("1.3.6.1.2.1.2.2.1.2"));
    form->BulkButton->click();
    const std::vector<std::uint8_t> tail = {0xA5, 0x82, 0x00, 0x2E, 0x02, 0x02, 0x00, 0x01, 0x02, 0x01, 0x01,
                                            0x02, 0x01, 0x05, 0x30, 0x82, 0x00, 0x20, 0x30, 0x82, 0x00, 0x0B,
                                            0x06, 0x07, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x03, 0x05, 0x00,
                                            0x30, 0x82, 0x00, 0x0D, 0x06, 0x09, 0x2B, 0x06, 0x01, 0x02, 0x01,
                                            0x02, 0x02, 0x01, 0x02, 0x05, 0x00};
    const auto datagram = Received();
    ASSERT_EQ(datagram.size(), 65u);
    EXPECT_EQ(std::vector<std::uint8_t>(datagram.begin() + 15, datagram.end()), tail);
    EXPECT_EQ(datagram[6], 0x01);  // SNMPv2c
    EXPECT_NE(form->Request().walkPending.load(), 0);
    EXPECT_EQ(PaneLines(*form)[1], "get bulk request 送信 request ID=1  SIZE=65");
}

}  // namespace
}  // namespace quillet
