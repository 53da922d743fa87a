#include "exchange/ReportReasons.h"

namespace quillet {
namespace {

// `words` ends before the counter's name: with "（" when it says no more
// than what happened, with "：" inside the parenthesis it opened to say why.
struct CounterWords {
    const char* name;
    const char* words;
};

constexpr CounterWords kWords[] = {
    {"usmStatsUnsupportedSecLevels", "エージェントがこのセキュリティレベルを受け付けません（"},
    {"usmStatsNotInTimeWindows", "エージェントの時刻と合いません（"},
    {"usmStatsUnknownUserNames", "エージェントがユーザー名を知りません（"},
    {"usmStatsUnknownEngineIDs", "エージェントのエンジンIDが違います（"},
    {"usmStatsWrongDigests", "認証に失敗しました（パスフレーズまたは鍵の誤り："},
    {"usmStatsDecryptionErrors", "復号に失敗しました（暗号化のパスフレーズまたは鍵の誤り："},
    {"snmpUnknownSecurityModels", "エージェントがセキュリティモデルを知りません（"},
    {"snmpInvalidMsgs", "エージェントがメッセージを不正としました（"},
    {"snmpUnknownPDUHandlers", "エージェントがPDUを処理できません（"},
    {"snmpUnavailableContexts", "エージェントがcontextを使えません（"},
    {"snmpUnknownContexts", "エージェントがcontextを知りません（"},
};

}  // namespace

std::string ReportCounterWords(std::string_view counterName) {
    if (counterName.empty()) return "エージェントがReportを返しました";
    for (const CounterWords& entry : kWords) {
        if (counterName != entry.name) continue;
        std::string text = entry.words;
        text.append(counterName);
        text += "）";
        return text;
    }
    std::string text = "エージェントがReportを返しました（";
    text.append(counterName);
    text += "）";
    return text;
}

}  // namespace quillet
